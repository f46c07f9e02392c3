#include "gui/widgets/cPopupMenu.h"

#include "QtPrinters.h"

#include <QApplication>
#include <QMenu>
#include <QTimer>
#include <QtTest>
#include <gtest/gtest.h>

namespace {

// Acts on the menu once it is on screen (exec() runs its own event loop).
void whenMenuShows(std::function<void(QMenu *)> act) {
    QTimer::singleShot(0, [act] {
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        ASSERT_TRUE(menu);
        act(menu);
    });
}

cPopupItem parentItems() {
    cPopupItem items;
    items.add("Affichage", 1, true);
    items.add("-");
    items.add("Sélectionner tout", 3);
    items.add("-");
    items.add("Actualiser", 4);
    return items;
}

TEST(PopupMenu, ItemsKeepSeparatorsUnderCountedKeys) {
    const cPopupItem items = parentItems();
    EXPECT_EQ(items.NbItem(), 5);
    EXPECT_EQ(items.keyOf(1), "2Sep");
    EXPECT_EQ(items.keyOf(3), "4Sep");
    EXPECT_TRUE(items.MenuItem(1).isSeparator());
    EXPECT_EQ(items.MenuItem(2).command, 3);
}

TEST(PopupMenu, EscapeReturnsZeroAndReleasesEverything) {
    QWidget owner;
    cPopupMenu menu;
    menu.CreateMenuPere(parentItems());
    cPopupItem views;
    views.add("Liste", 102);
    ASSERT_TRUE(menu.AddssMenu(1, views));
    EXPECT_FALSE(menu.AddssMenu(99, views));
    EXPECT_EQ(menu.subMenuCount(), 1);
    whenMenuShows([](QMenu *shown) { QTest::keyClick(shown, Qt::Key_Escape); });
    EXPECT_EQ(menu.ShowMenu(&owner, QPoint(10, 10)), 0);
    EXPECT_EQ(menu.menu(), nullptr);
    EXPECT_EQ(menu.subMenuCount(), 0);
}

TEST(PopupMenu, ChoosingAnItemReturnsItsCommand) {
    QWidget owner;
    cPopupMenu menu;
    menu.CreateMenuPere(parentItems());
    whenMenuShows([](QMenu *shown) {
        for (QAction *action : shown->actions())
            if (action->text() == "Actualiser") {
                shown->setActiveAction(action);
                QTest::keyClick(shown, Qt::Key_Return);
            }
    });
    EXPECT_EQ(menu.ShowMenu(&owner, QPoint(10, 10)), 4);
    EXPECT_EQ(menu.menu(), nullptr);
}

} // namespace
