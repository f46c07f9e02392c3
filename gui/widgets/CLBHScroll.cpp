#include "gui/widgets/CLBHScroll.h"

#include <QFontMetrics>
#include <QListWidget>
#include <QScrollBar>

void CLBHScroll::attach(QListWidget *list) {
    m_list = list;
    m_widest = 0;
    if (!list)
        return;
    list->setViewMode(QListView::ListMode);
    list->setFlow(QListView::TopToBottom);
    list->setWrapping(false);
    list->setWordWrap(false);
    list->setTextElideMode(Qt::ElideNone);
    list->setUniformItemSizes(false);
    list->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
}

void CLBHScroll::add(const QString &text) {
    if (!m_list)
        return;
    auto *item = new QListWidgetItem(text);
    m_list->addItem(item);
    measure(text);
}

void CLBHScroll::measure(const QString &text) {
    if (!m_list)
        return;
    // The item's own padding (margins of the style) comes on top of the text.
    const QFontMetrics metrics(m_list->font());
    const int width = metrics.horizontalAdvance(text) + 2 * metrics.averageCharWidth();
    if (width > m_widest) {
        m_widest = width;
        applyExtent();
    } else if (m_list->count() > 0 && !m_list->item(m_list->count() - 1)->sizeHint().isValid()) {
        m_list->item(m_list->count() - 1)->setSizeHint(QSize(m_widest, lineHeight()));
    }
    m_list->horizontalScrollBar()->setValue(0);
}

void CLBHScroll::clear() {
    m_widest = 0;
    if (!m_list)
        return;
    m_list->clear();
    applyExtent();
}

void CLBHScroll::applyExtent() {
    // Every line gets the width of the widest one: the view then lays its
    // contents out that wide and the horizontal scroll bar covers it all.
    const int height = lineHeight();
    for (int i = 0; i < m_list->count(); ++i)
        m_list->item(i)->setSizeHint(QSize(m_widest, height));
}

int CLBHScroll::lineHeight() const {
    return QFontMetrics(m_list->font()).height() + 4;
}
