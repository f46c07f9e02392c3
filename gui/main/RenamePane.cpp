#include "gui/main/RenamePane.h"

#include "gui/main/PaneParts.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMimeData>
#include <QMouseEvent>
#include <QPushButton>
#include <QTableView>
#include <QUrl>
#include <QVBoxLayout>

namespace tav {

using pane::named;

RenamePane::RenamePane(QWidget *parent) : QWidget(parent) {
    auto *v = new QVBoxLayout(this);
    v->setContentsMargins(0, 0, 0, 0);
    lstrename = named(new QTableView, "lstrename");
    lstrename->setSelectionBehavior(QAbstractItemView::SelectRows);
    lstrename->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lstrename->verticalHeader()->setVisible(false);
    lstrename->verticalHeader()->setDefaultSectionSize(lstrename->fontMetrics().height() + 4);
    lstrename->horizontalHeader()->setStretchLastSection(true);
    lstrename->setShowGrid(false);
    lstrename->setAlternatingRowColors(true);
    lstrename->setWordWrap(false);
    // Rows are dragged to another place by the pane itself (one row, the
    // target highlighted), not by the view's drag and drop.
    lstrename->setDragDropMode(QAbstractItemView::NoDragDrop);
    v->addWidget(lstrename, 1);

    auto *row = new QHBoxLayout;
    cmdDel = pane::button("cmdDel", QStringLiteral("Retirer"), QStringLiteral("Retirer les lignes sélectionnées"));
    cmdClear = pane::button("cmdClear", QStringLiteral("Tout retirer"), QStringLiteral("Vider la liste"));
    cmdUp = pane::button("cmdUp", QStringLiteral("Monter"), QStringLiteral("Monter les lignes sélectionnées"));
    cmdDown =
        pane::button("cmdDown", QStringLiteral("Descendre"), QStringLiteral("Descendre les lignes sélectionnées"));
    Label4 = named(new QLabel, "Label4");
    row->addWidget(cmdDel);
    row->addWidget(cmdClear);
    row->addWidget(cmdUp);
    row->addWidget(cmdDown);
    row->addStretch(1);
    row->addWidget(Label4);
    v->addLayout(row);

    connect(cmdDel, &QPushButton::clicked, this, [this] { emit removeRequested(selectedRows()); });
    connect(lstrename, &QTableView::doubleClicked, this, [this] { emit removeRequested(selectedRows()); });
    connect(cmdClear, &QPushButton::clicked, this, &RenamePane::clearRequested);
    connect(cmdUp, &QPushButton::clicked, this, [this] { emit upRequested(selectedRows()); });
    connect(cmdDown, &QPushButton::clicked, this, [this] { emit downRequested(selectedRows()); });
    lstrename->viewport()->installEventFilter(this);
    lstrename->installEventFilter(this);
    // Files dropped from another program onto the list join it, as on the
    // drop button.
    lstrename->viewport()->setAcceptDrops(true);
}

void RenamePane::setModel(QAbstractItemModel *model) {
    lstrename->setModel(model);
}

QList<int> RenamePane::selectedRows() const {
    QList<int> rows;
    for (const QModelIndex &i : lstrename->selectionModel()->selectedRows())
        rows << i.row();
    std::sort(rows.begin(), rows.end());
    return rows;
}

void RenamePane::selectRows(const QList<int> &rows) {
    auto *sel = lstrename->selectionModel();
    sel->clearSelection();
    for (int r : rows)
        sel->select(lstrename->model()->index(r, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

void RenamePane::setCountText(const QString &text) {
    Label4->setText(text);
}

void RenamePane::setActionRunning(bool running) {
    m_actionRunning = running;
    lstrename->setUpdatesEnabled(!running);
}

void RenamePane::fitColumns() {
    const int half = std::max(lstrename->viewport()->width() / 2 - 30, 80);
    lstrename->setColumnWidth(0, half);
    lstrename->setColumnWidth(1, half);
}

QList<QVariant> RenamePane::columnWidths() const {
    QList<QVariant> widths;
    for (int c = 0; c < lstrename->model()->columnCount(); ++c)
        widths << lstrename->columnWidth(c);
    return widths;
}

void RenamePane::setColumnWidths(const QList<QVariant> &widths) {
    for (int c = 0; c < widths.size() && c < lstrename->model()->columnCount(); ++c)
        if (widths.at(c).toInt() > 0)
            lstrename->setColumnWidth(c, widths.at(c).toInt());
}

void RenamePane::switchCommands(bool on) {
    pane::switchCommands(this, on, {lstrename, Label4});
}

namespace {

QStringList droppedPaths(const QMimeData *data) {
    QStringList paths;
    if (data)
        for (const QUrl &url : data->urls())
            if (url.isLocalFile())
                paths << url.toLocalFile();
    return paths;
}

} // namespace

bool RenamePane::eventFilter(QObject *watched, QEvent *event) {
    if (watched == lstrename->viewport() &&
        (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseMove ||
         event->type() == QEvent::MouseButtonRelease))
        return listMouse(event);
    if (watched == lstrename->viewport() && (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove)) {
        auto *drag = static_cast<QDragMoveEvent *>(event);
        if (!m_actionRunning && lstrename->isEnabled() && !droppedPaths(drag->mimeData()).isEmpty())
            drag->acceptProposedAction();
        else
            drag->ignore();
        return true;
    }
    if (watched == lstrename->viewport() && event->type() == QEvent::Drop) {
        auto *drop = static_cast<QDropEvent *>(event);
        const QStringList paths = droppedPaths(drop->mimeData());
        if (paths.isEmpty() || m_actionRunning)
            return true;
        drop->acceptProposedAction();
        emit pathsDropped(paths);
        return true;
    }
    // Delete removes the selected rows, as the remove button does.
    if (watched == lstrename && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent *>(event)->key() == Qt::Key_Delete && cmdDel->isEnabled()) {
        emit removeRequested(selectedRows());
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

// Dragging one row of the list to another place.
bool RenamePane::listMouse(QEvent *event) {
    const auto *mouse = static_cast<QMouseEvent *>(event);
    const int rows = lstrename->model()->rowCount();
    const int row = lstrename->rowAt(int(mouse->position().y()));
    switch (event->type()) {
    case QEvent::MouseButtonPress:
        if (row >= 0 && row < rows)
            emit rowPressed(row);
        if (mouse->button() == Qt::LeftButton && !m_actionRunning &&
            !(mouse->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier))) {
            m_dragFrom = row;
            m_dragging = false;
            m_dragStart = mouse->position().toPoint();
        }
        return false;
    case QEvent::MouseMove:
        if (m_dragFrom < 0)
            return false;
        // The view never sees the moves of a press on a row: it would start
        // a range selection from the pressed row.
        if (!m_dragging) {
            if ((mouse->position().toPoint() - m_dragStart).manhattanLength() < QApplication::startDragDistance())
                return true;
            m_dragging = true;
            lstrename->viewport()->setCursor(Qt::DragMoveCursor);
        }
        // The row under the pointer, alone, shows where the dragged row will go.
        if (row >= 0)
            lstrename->selectionModel()->select(lstrename->model()->index(row, 0),
                                                QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        return true;
    case QEvent::MouseButtonRelease: {
        const int from = m_dragFrom;
        const bool dropped = m_dragging;
        m_dragFrom = -1;
        m_dragging = false;
        if (!dropped)
            return false;
        lstrename->viewport()->unsetCursor();
        const int to = row >= 0 ? row : rows - 1;
        if (to != from)
            emit rowDragged(from, to);
        else
            lstrename->selectionModel()->select(lstrename->model()->index(from, 0),
                                                QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        return true;
    }
    default:
        return false;
    }
}

} // namespace tav
