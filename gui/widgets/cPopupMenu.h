#pragma once
// A popup-menu builder: a list of items (cPopupItem of cMenuType) becomes a
// menu with sub-menus and separators, shown at the pointer; ShowMenu returns
// the command number chosen, 0 when the menu is dismissed.
//
//     cPopupItem items;
//     items.add("Ouvrir", 1);
//     items.add("-");                   // separator
//     items.add("Affichage", 2, true);  // opens a sub-menu
//     cPopupMenu menu;
//     menu.CreateMenuPere(items);
//     menu.AddssMenu(2, viewItems);     // sub-menu under the item of command 2
//     int command = menu.ShowMenu(ownerWidget);

#include <QList>
#include <QPoint>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class QMenu;
class QWidget;

// One menu item: its command number, its caption ("-" for a separator) and
// whether it opens a sub-menu.
struct cMenuType {
    int command = 0;
    QString caption;
    bool hasSubMenu = false;
    bool checked = false;
    bool isSeparator() const { return caption == QLatin1String("-"); }
};

// The items of one menu level, in order. A separator is kept under the key
// made of the item count followed by "Sep"; other items under their caption.
class cPopupItem {
public:
    void add(const QString &caption, int command = 0, bool hasSubMenu = false, bool checked = false);
    int NbItem() const { return int(m_items.size()); }
    // Item by position, from 0.
    const cMenuType &MenuItem(int index) const { return m_items.at(index); }
    QString keyOf(int index) const { return m_keys.at(index); }

private:
    QList<cMenuType> m_items;
    QStringList m_keys;
};

class cPopupMenu {
public:
    cPopupMenu();
    ~cPopupMenu();
    cPopupMenu(const cPopupMenu &) = delete;
    cPopupMenu &operator=(const cPopupMenu &) = delete;

    // Builds the parent menu from its items (replacing any earlier one).
    void CreateMenuPere(const cPopupItem &items);
    // Builds a sub-menu from items and attaches it to the parent's item whose
    // command is parentCommand. Returns false when there is no such item.
    bool AddssMenu(int parentCommand, const cPopupItem &items);
    // Shows the menu at pos (the pointer by default), waits for a choice and
    // returns its command number, 0 when dismissed; then releases the menu.
    int ShowMenu(QWidget *owner, const QPoint &pos = QPoint(-1, -1));
    // Destroys the parent menu and every sub-menu.
    void release();

    // The parent menu while it exists (tests, keyboard navigation).
    QMenu *menu() const { return m_parent.get(); }
    int subMenuCount() const { return int(m_subMenus.size()); }

private:
    static void fill(QMenu *menu, const cPopupItem &items);

    std::unique_ptr<QMenu> m_parent;
    std::vector<std::unique_ptr<QMenu>> m_subMenus;
};
