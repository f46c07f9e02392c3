#include "gui/main/BrowserPane.h"
#include "gui/shellbrowser/FolderListModel.h"
#include "gui/shellbrowser/FolderTreeModel.h"
#include "gui/shellbrowser/LVExplorer.h"
#include "gui/shellbrowser/TVExplorer.h"
#include "gui/widgets/ModSubClassing.h"

#include "QtPrinters.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <gtest/gtest.h>

#include <sys/time.h>

using namespace tav::shell;

namespace {

void makeFile(const QString &path, qint64 size, qint64 mtimeSeconds = 0) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    ASSERT_TRUE(f.resize(size));
    f.close();
    if (mtimeSeconds > 0) {
        struct timeval times[2] = {{mtimeSeconds, 0}, {mtimeSeconds, 0}};
        ASSERT_EQ(utimes(QFile::encodeName(path).constData(), times), 0);
    }
}

// A tree and a list attached and linked, as the main window sets them up.
class Explorers : public ::testing::Test {
protected:
    void SetUp() override {
        registry::clear();
        ASSERT_TRUE(dir.isValid());
        root = QDir::cleanPath(dir.path());
        list.setOpenFilesWithDefaultProgram(false);
        ASSERT_TRUE(list.attach(3, QString(), QStringLiteral("*.*"), false, false, true));
        ASSERT_TRUE(tree.attach(0, QString(), false));
        link = std::make_unique<tav::ExplorerLink>(&tree, &list);
        list.resize(800, 400);
    }
    void TearDown() override { registry::clear(); }

    QTemporaryDir dir;
    QString root;
    LVExplorer list;
    TVExplorer tree;
    std::unique_ptr<tav::ExplorerLink> link;
};

TEST_F(Explorers, AttachingTwiceIsIgnoredUntilTheRegistryIsCleared) {
    const QVariant oldProc = tree.property("OldProc");
    ASSERT_TRUE(oldProc.isValid());
    const int registered = registry::count();
    EXPECT_FALSE(tree.attach(0, root, true));
    EXPECT_FALSE(list.attach(0, root, QStringLiteral("*.jpg")));
    EXPECT_EQ(registry::count(), registered);
    // The second attach changed nothing.
    EXPECT_EQ(tree.UseContextMenu(), false);
    EXPECT_EQ(list.Pattern(), "*.*");
    EXPECT_EQ(list.ViewMode(), 3);
    EXPECT_EQ(tree.property("OldProc"), oldProc);

    // After clearing (the refresh command), attaching works again but the
    // events are not taken over a second time.
    registry::clear();
    EXPECT_TRUE(tree.attach(0, root, false));
    EXPECT_EQ(tree.property("OldProc"), oldProc);
    EXPECT_FALSE(ModSubClassing::subclass(&tree, &list));
    EXPECT_EQ(tree.TVPath(), root);
}

TEST_F(Explorers, TVPathExpandsADeepPathAndFallsBackToWhatExists) {
    const QString deep = root + "/a/b b/c.d/é/e";
    ASSERT_TRUE(QDir().mkpath(deep));
    ASSERT_TRUE(QDir().mkpath(root + "/a/other"));

    EXPECT_TRUE(tree.setTVPath(deep));
    EXPECT_EQ(tree.TVPath(), deep);
    EXPECT_EQ(tree.property("CurrentPath").toString(), deep);
    FolderTreeModel *model = tree.folderModel();
    const QModelIndex current = tree.currentIndex();
    EXPECT_EQ(model->pathOf(current), deep);
    for (QModelIndex up = current.parent(); up.isValid(); up = up.parent())
        EXPECT_TRUE(tree.isExpanded(up)) << model->pathOf(up).toStdString();

    // Expanding a folder twice lists its sub-folders once.
    const QModelIndex a = model->indexForPath(root + "/a");
    EXPECT_EQ(model->rowCount(a), 2);
    tree.collapse(a);
    tree.expand(a);
    EXPECT_EQ(model->rowCount(a), 2);

    // A path that no longer exists selects the deepest folder that does.
    EXPECT_FALSE(tree.setTVPath(root + "/a/other/gone/deeper"));
    EXPECT_EQ(tree.TVPath(), root + "/a/other");
    // Trailing separators and "." parts do not matter.
    EXPECT_TRUE(tree.setTVPath(root + "/a/./b b/"));
    EXPECT_EQ(tree.TVPath(), root + "/a/b b");
    // A folder made after its parent was read is found too, as is a dot-folder.
    ASSERT_TRUE(QDir().mkpath(root + "/a/.late/x"));
    EXPECT_TRUE(tree.setTVPath(root + "/a/.late/x"));
    EXPECT_EQ(tree.TVPath(), root + "/a/.late/x");
    tree.refresh();
    EXPECT_EQ(tree.TVPath(), root + "/a/.late/x");
}

TEST_F(Explorers, TreeAndListFollowEachOther) {
    ASSERT_TRUE(QDir().mkpath(root + "/sub/inner"));
    makeFile(root + "/top.txt", 10);
    makeFile(root + "/sub/one.jpg", 10);
    makeFile(root + "/sub/two.jpg", 10);
    QSignalSpy listFolders(&list, &LVExplorer::folderChanged);
    QSignalSpy counts(&list, &LVExplorer::itemCountChanged);

    // Tree to list.
    tree.setTVPath(root);
    EXPECT_EQ(list.LVPath(), root);
    EXPECT_EQ(list.itemTexts(), QStringList({"top.txt"}));
    tree.setTVPath(root + "/sub");
    EXPECT_EQ(list.LVPath(), root + "/sub");
    EXPECT_EQ(list.itemTexts(), QStringList({"one.jpg", "two.jpg"}));
    EXPECT_EQ(listFolders.count(), 2);
    ASSERT_FALSE(counts.isEmpty());
    EXPECT_EQ(counts.last().at(0).toInt(), 2);

    // List to tree.
    list.setLVPath(root + "/sub/inner");
    EXPECT_EQ(tree.TVPath(), root + "/sub/inner");
    EXPECT_EQ(list.itemCount(), 0);

    // Opening a folder item shows it and selects it in the tree.
    list.setIncludeDirectories(true);
    list.setLVPath(root);
    EXPECT_EQ(list.itemTexts(), QStringList({"sub", "top.txt"}));
    list.openItem(0);
    EXPECT_EQ(list.LVPath(), root + "/sub");
    EXPECT_EQ(tree.TVPath(), root + "/sub");

    // Linking another list instead: the old one no longer follows.
    LVExplorer other;
    link = std::make_unique<tav::ExplorerLink>(&tree, &other);
    tree.setTVPath(root);
    EXPECT_EQ(list.LVPath(), root + "/sub");
    EXPECT_EQ(other.LVPath(), root);
    // A link outlives a list that is gone.
    {
        LVExplorer shortLived;
        link = std::make_unique<tav::ExplorerLink>(&tree, &shortLived);
    }
    tree.setTVPath(root + "/sub");
    EXPECT_EQ(tree.TVPath(), root + "/sub");

    // A path naming a file: its folder in the tree, the file selected in the list.
    link = std::make_unique<tav::ExplorerLink>(&tree, &list);
    tree.setTVPath(root + "/sub/two.jpg");
    EXPECT_EQ(tree.TVPath(), root + "/sub");
    EXPECT_EQ(list.selectedItemTexts(), QStringList({"two.jpg"}));
}

TEST_F(Explorers, ListShowsPatternFilteredFilesWithTheirTexts) {
    ASSERT_TRUE(QDir().mkpath(root + "/folder.jpg"));
    makeFile(root + "/a.jpg", 1025, 1700000000);
    makeFile(root + "/b.JPG", 2048, 1700000000);
    makeFile(root + "/c.png", 0, 1700000000);
    makeFile(root + "/README", 5, 1700000000);
    list.setLVPath(root);
    EXPECT_EQ(list.itemTexts(), QStringList({"a.jpg", "b.JPG", "c.png", "README"}));

    FolderListModel *model = list.folderModel();
    QAbstractItemModelTester tester(model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    const int sizeColumn = model->sectionOf(Column::Size);
    const int dateColumn = model->sectionOf(Column::Modified);
    EXPECT_EQ(model->index(0, sizeColumn).data().toString(), "2 Ko");
    EXPECT_EQ(model->index(1, sizeColumn).data().toString(), "2 Ko");
    EXPECT_EQ(model->index(2, sizeColumn).data().toString(), "0 Ko");
    EXPECT_EQ(model->index(0, dateColumn).data().toString(), dateText(Q_INT64_C(1700000000) * 1000));
    EXPECT_FALSE(model->headerData(0, Qt::Horizontal).toString().isEmpty());

    list.setPattern(QStringLiteral("*.jpg *.png"));
    EXPECT_EQ(list.property("Pattern").toString(), "*.jpg *.png");
    EXPECT_EQ(list.itemTexts(), QStringList({"a.jpg", "b.JPG", "c.png"}));
    list.setPattern(QStringLiteral("?.jp#"));
    EXPECT_EQ(list.itemCount(), 0);

    // Optional columns come after the four standard ones.
    list.setPattern(QStringLiteral("*.*"));
    list.setOptionalColumns(false, false, true);
    EXPECT_EQ(list.property("ColAttributes").toInt(), 1);
    EXPECT_EQ(list.property("ColCreated").toInt(), 0);
    EXPECT_EQ(model->columnCount(), 5);
    EXPECT_EQ(model->columnAt(4), Column::Attributes);
}

TEST_F(Explorers, ColumnsFitWhatTheyShowTheNameAtMostHalfTheList) {
    list.show();
    const QString longName = QString(60, QLatin1Char('n')) + QStringLiteral(".jpg");
    makeFile(root + "/" + longName, 123456789, 1700000000);
    makeFile(root + "/a.jpg", 1, 1700000000);
    list.setLVPath(root);
    list.waitForListing();
    const QFontMetrics metrics(list.font());
    // The name would need more than half the list: it takes half.
    EXPECT_GE(list.columnWidth(0), list.viewport()->width() / 2 - 2);
    EXPECT_LE(list.columnWidth(0), list.viewport()->width() / 2 + 2);
    // Size and type take what their longest text needs, not a fixed guess.
    FolderListModel *model = list.folderModel();
    for (Column c : {Column::Size, Column::Type}) {
        const int section = model->sectionOf(c);
        ASSERT_GE(section, 0);
        int widest = 0;
        for (int r = 0; r < model->rowCount(); ++r)
            widest = std::max(widest, metrics.horizontalAdvance(model->index(r, section).data().toString()));
        EXPECT_GE(list.columnWidth(section), widest) << section;
        EXPECT_LE(list.columnWidth(section), widest + 80) << section;
    }
}

// Only the rows in view are measured: a long name further down does not
// widen the column until it is scrolled into view.
TEST_F(Explorers, ColumnsFitTheRowsInViewOnly) {
    list.show();
    for (int i = 0; i < 300; ++i)
        makeFile(root + QStringLiteral("/a%1.jpg").arg(i, 3, 10, QLatin1Char('0')), 1);
    makeFile(root + "/z" + QString(60, QLatin1Char('n')) + ".jpg", 1);
    list.setLVPath(root);
    list.waitForListing();
    ASSERT_EQ(list.itemCount(), 301);
    const int shortName = QFontMetrics(list.font()).horizontalAdvance(QStringLiteral("a000.jpg"));
    EXPECT_GE(list.columnWidth(0), shortName);
    EXPECT_LT(list.columnWidth(0), list.viewport()->width() / 2 - 20);
    list.scrollToBottom();
    list.resize(list.width() + 10, list.height());
    EXPECT_GE(list.columnWidth(0), list.viewport()->width() / 2 - 2);
}

TEST_F(Explorers, HeaderClicksSortEachColumnBothWaysWithTheArrow) {
    makeFile(root + "/b.txt", 10 * 1024, 1700000300);
    makeFile(root + "/a.jpg", 2 * 1024, 1700000100);
    makeFile(root + "/c.bin", 999 * 1024, 1700000200);
    list.setLVPath(root);
    list.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&list));
    QHeaderView *header = list.header();
    FolderListModel *model = list.folderModel();
    auto click = [&](Column column) {
        const int section = model->sectionOf(column);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(section) + 4, header->height() / 2));
        return section;
    };

    struct Case {
        Column column;
        const char *key;
        QStringList ascending;
    };
    const QList<Case> cases = {
        {Column::Size, "Size", {"a.jpg", "b.txt", "c.bin"}},
        {Column::Modified, "Modified", {"a.jpg", "c.bin", "b.txt"}},
        {Column::Name, "Name", {"a.jpg", "b.txt", "c.bin"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.key);
        const int section = click(c.column);
        EXPECT_EQ(list.itemTexts(), c.ascending);
        EXPECT_EQ(list.property("SortBy").toString(), c.key);
        EXPECT_EQ(list.property("SortState").toInt(), 1);
        EXPECT_TRUE(header->isSortIndicatorShown());
        EXPECT_EQ(header->sortIndicatorSection(), section);
        EXPECT_EQ(header->sortIndicatorOrder(), Qt::AscendingOrder);
        click(c.column);
        QStringList reversed(c.ascending.rbegin(), c.ascending.rend());
        EXPECT_EQ(list.itemTexts(), reversed);
        EXPECT_EQ(list.property("SortState").toInt(), 2);
        EXPECT_EQ(header->sortIndicatorOrder(), Qt::DescendingOrder);
    }

    // The sort holds when the folder is read again, and the selection
    // follows its items through a re-sort.
    list.selectItemsByText({"c.bin"});
    click(Column::Size);
    EXPECT_EQ(list.selectedItemTexts(), QStringList({"c.bin"}));
    EXPECT_EQ(list.currentIndex().row(), 2);
    makeFile(root + "/d.txt", 500 * 1024);
    list.refresh();
    EXPECT_EQ(list.itemTexts(), QStringList({"a.jpg", "b.txt", "d.txt", "c.bin"}));

    // With column sorting off, a click changes nothing.
    list.setUseColumnClickSorting(false);
    click(Column::Name);
    EXPECT_EQ(list.property("SortBy").toString(), "Size");
}

TEST_F(Explorers, KeysBackspaceToTheParentEnterToOpen) {
    ASSERT_TRUE(QDir().mkpath(root + "/x/y"));
    makeFile(root + "/x/y/f1.txt", 1);
    makeFile(root + "/x/y/f2.txt", 1);
    tree.setTVPath(root + "/x/y");
    list.show();
    list.setFocus();

    QSignalSpy activated(&list, &LVExplorer::filesActivated);
    list.selectItemsByText({"f1.txt", "f2.txt"});
    QTest::keyClick(&list, Qt::Key_Return);
    ASSERT_EQ(activated.count(), 1);
    EXPECT_EQ(activated.at(0).at(0).toStringList(), QStringList({root + "/x/y/f1.txt", root + "/x/y/f2.txt"}));

    QTest::keyClick(&list, Qt::Key_Backspace);
    EXPECT_EQ(list.LVPath(), root + "/x");
    EXPECT_EQ(tree.TVPath(), root + "/x");
    QTest::keyClick(&list, Qt::Key_Backspace);
    EXPECT_EQ(tree.TVPath(), root);

    // Unlinked, the list goes up by itself.
    link.reset();
    list.setLVPath(root + "/x/y");
    QTest::keyClick(&list, Qt::Key_Backspace);
    EXPECT_EQ(list.LVPath(), root + "/x");
}

TEST_F(Explorers, VanishedAndUnreadableFoldersLeaveAUsableEmptyList) {
    ASSERT_TRUE(QDir().mkpath(root + "/gone/deeper"));
    makeFile(root + "/gone/f.txt", 1);
    tree.setTVPath(root + "/gone/deeper");
    list.setLVPath(root + "/gone");
    EXPECT_EQ(list.itemCount(), 1);

    ASSERT_TRUE(QDir(root + "/gone").removeRecursively());
    list.refresh();
    EXPECT_EQ(list.itemCount(), 0);
    EXPECT_EQ(list.LVPath(), root + "/gone");
    list.openItem(0); // nothing there: nothing happens
    tree.refresh();
    EXPECT_EQ(tree.TVPath(), root);

    // Expanding a folder that vanished after it was shown.
    ASSERT_TRUE(QDir().mkpath(root + "/brief"));
    tree.setTVPath(root);
    const QModelIndex brief = tree.folderModel()->indexForPath(root + "/brief");
    ASSERT_TRUE(QDir(root + "/brief").removeRecursively());
    tree.expand(brief);
    EXPECT_EQ(tree.folderModel()->rowCount(brief), 0);

    list.setLVPath(QString());
    EXPECT_EQ(list.itemCount(), 0);
    EXPECT_FALSE(list.isListing());
}

} // namespace

TEST_F(Explorers, TreeSubFoldersFollowTheNaturalOrderSwitchKeepingTheSelection) {
    for (const char *name : {"d10", "D3", "d2", "d1/x"})
        ASSERT_TRUE(QDir().mkpath(root + "/" + name));
    FolderTreeModel *model = tree.folderModel();
    auto children = [&] {
        const QModelIndex parent = model->indexForPath(root);
        QStringList names;
        for (int i = 0; i < model->rowCount(parent); ++i)
            names << model->index(i, 0, parent).data().toString();
        return names;
    };
    ASSERT_TRUE(tree.setTVPath(root + "/d1/x"));
    EXPECT_EQ(children(), (QStringList{"d1", "d10", "d2", "D3"}));
    // Folders already read take the new order at once; the selection stays.
    model->setNaturalOrder(true);
    EXPECT_EQ(children(), (QStringList{"d1", "d2", "D3", "d10"}));
    EXPECT_EQ(tree.TVPath(), root + "/d1/x");
    // A folder made later goes into its natural place.
    ASSERT_TRUE(QDir().mkpath(root + "/d9"));
    EXPECT_TRUE(tree.setTVPath(root + "/d9"));
    EXPECT_EQ(children(), (QStringList{"d1", "d2", "D3", "d9", "d10"}));
    model->setNaturalOrder(false);
    EXPECT_EQ(children(), (QStringList{"d1", "d10", "d2", "D3", "d9"}));
    EXPECT_EQ(tree.TVPath(), root + "/d9");

    // The order chosen before a tree has its folders holds once it has them.
    TVExplorer late;
    late.setNaturalOrder(true);
    ASSERT_TRUE(late.attach(1, root + "/d1", false));
    const QModelIndex top = late.folderModel()->indexForPath(root);
    EXPECT_EQ(late.folderModel()->index(4, 0, top).data().toString(), u"d10");
}

TEST_F(Explorers, ARefreshOfALargeFolderKeepsItsRowsUntilTheNewListingArrives) {
    for (int i = 0; i < 5000; ++i)
        makeFile(root + QStringLiteral("/f%1").arg(i), 0);
    list.setLVPath(root);
    list.waitForListing();
    ASSERT_EQ(list.itemCount(), 5000);
    for (int i = 0; i < 10; ++i)
        ASSERT_TRUE(QFile::remove(root + QStringLiteral("/f%1").arg(i)));
    // The window does not wait for the folder: the old rows stay meanwhile.
    // The listing comes sorted from its thread; a sort chosen meanwhile holds.
    makeFile(root + "/f4000", 5);
    makeFile(root + "/f100", 2);
    list.refresh();
    EXPECT_EQ(list.itemCount(), 5000);
    list.sortBy(QStringLiteral("Size"), true);
    list.waitForListing();
    EXPECT_EQ(list.itemCount(), 4990);
    EXPECT_EQ(list.itemTexts().mid(0, 3), QStringList({"f4000", "f100", "f4999"}));
    list.sortBy(QString(), false);
    EXPECT_EQ(list.itemTexts().mid(0, 3), QStringList({"f10", "f11", "f12"}));
    // A small folder is read at once, as before.
    for (int i = 10; i < 5000; ++i)
        ASSERT_TRUE(QFile::remove(root + QStringLiteral("/f%1").arg(i)));
    list.refresh();
    list.waitForListing();
    makeFile(root + "/g", 0);
    list.refresh();
    EXPECT_EQ(list.itemCount(), 1);
}
