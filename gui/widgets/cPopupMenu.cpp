#include "gui/widgets/cPopupMenu.h"

#include <QAction>
#include <QCursor>
#include <QMenu>

void cPopupItem::add(const QString &caption, int command, bool hasSubMenu, bool checked) {
    cMenuType item;
    item.command = command;
    item.caption = caption;
    item.hasSubMenu = hasSubMenu;
    item.checked = checked;
    m_keys.append(item.isSeparator() ? QString::number(m_items.size() + 1) + QStringLiteral("Sep") : caption);
    m_items.append(item);
}

cPopupMenu::cPopupMenu() = default;

cPopupMenu::~cPopupMenu() {
    release();
}

void cPopupMenu::fill(QMenu *menu, const cPopupItem &items) {
    for (int i = 0; i < items.NbItem(); ++i) {
        const cMenuType &item = items.MenuItem(i);
        if (item.isSeparator()) {
            menu->addSeparator();
            continue;
        }
        QAction *action = menu->addAction(item.caption);
        action->setData(item.command);
        if (item.checked) {
            action->setCheckable(true);
            action->setChecked(true);
        }
    }
}

void cPopupMenu::CreateMenuPere(const cPopupItem &items) {
    release();
    m_parent = std::make_unique<QMenu>();
    fill(m_parent.get(), items);
}

bool cPopupMenu::AddssMenu(int parentCommand, const cPopupItem &items) {
    if (!m_parent)
        return false;
    for (QAction *action : m_parent->actions()) {
        if (action->isSeparator() || action->menu() || action->data().toInt() != parentCommand)
            continue;
        auto sub = std::make_unique<QMenu>(action->text());
        fill(sub.get(), items);
        action->setMenu(sub.get());
        m_subMenus.push_back(std::move(sub));
        return true;
    }
    return false;
}

int cPopupMenu::ShowMenu(QWidget *owner, const QPoint &pos) {
    if (!m_parent)
        return 0;
    if (owner)
        m_parent->setFont(owner->font());
    const QPoint where = pos == QPoint(-1, -1) ? QCursor::pos() : pos;
    QAction *chosen = m_parent->exec(where);
    // An item that only opens a sub-menu is no command.
    const int command = chosen && !chosen->menu() ? chosen->data().toInt() : 0;
    release();
    return command;
}

void cPopupMenu::release() {
    // Sub-menus first: the parent's actions still point at them.
    if (m_parent)
        for (QAction *action : m_parent->actions())
            action->setMenu(static_cast<QMenu *>(nullptr));
    m_subMenus.clear();
    m_parent.reset();
}
