#include "QtPrinters.h"
#include "TestGuard.h"
#include "core/filelist/RenameListModel.h"
#include "core/i18n/Language.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <gtest/gtest.h>

using namespace tav;

namespace {
QStringList oldNames(const RenameListModel &m) {
    QStringList l;
    for (const auto &e : m.entries())
        l << e.oldName;
    return l;
}

void fill(RenameListModel &m, int n) {
    for (int i = 1; i <= n; ++i)
        m.appendFile(QStringLiteral("/f%1").arg(i % 2), QString::number(i));
}
} // namespace

TEST(RenameListModel, ColumnsHeadersAndRolesUnderTheModelTester) {
    tav::test::TestGuard guard;
    guard.language(QStringLiteral("Français"));
    RenameListModel m;
    QAbstractItemModelTester tester(&m, QAbstractItemModelTester::FailureReportingMode::Fatal);
    fill(m, 6);
    m.setNewName(1, QStringLiteral(".."), QStringLiteral("bad"), false);
    EXPECT_EQ(m.columnCount(), 2);
    EXPECT_EQ(m.headerData(0, Qt::Horizontal).toString(), i18n::Message(14));
    EXPECT_EQ(m.headerData(1, Qt::Horizontal).toString(), i18n::Message(15));
    EXPECT_EQ(m.data(m.index(1, 0)).toString(), QStringLiteral("2"));
    EXPECT_EQ(m.data(m.index(1, 1)).toString(), QStringLiteral(".."));
    EXPECT_EQ(m.data(m.index(1, 1), Qt::ToolTipRole).toString(), QStringLiteral("bad"));
    EXPECT_EQ(m.data(m.index(1, 0), RenameListModel::FullPathRole).toString(), QStringLiteral("/f0/2"));

    m.moveRow(4, 1);
    m.swapRows(0, 5);
    m.removeRowList({3, 1, 3});
    m.beginBatch();
    m.clear();
    fill(m, 3);
    m.endBatch();
    EXPECT_EQ(m.rowCount(), 3);
}

TEST(RenameListModel, MovesKeepEveryRowAndItsFolder) {
    RenameListModel m;
    fill(m, 6);
    m.moveRow(4, 1); // dragging row 5 onto row 2
    EXPECT_EQ(oldNames(m), (QStringList{"1", "5", "2", "3", "4", "6"}));
    m.moveRow(1, 4);
    EXPECT_EQ(oldNames(m), (QStringList{"1", "2", "3", "4", "5", "6"}));
    m.swapRows(5, 1);
    EXPECT_EQ(oldNames(m), (QStringList{"1", "6", "3", "4", "5", "2"}));
    EXPECT_EQ(m.entry(1).folder, QStringLiteral("/f0"));
    m.removeRowList({0, 2, 3, 5});
    EXPECT_EQ(oldNames(m), (QStringList{"6", "5"}));
}

TEST(RenameListModel, PresenceFollowsAppendsAndRemovals) {
    RenameListModel m;
    m.appendFile(QStringLiteral("/a"), QStringLiteral("x.jpg"));
    m.appendFile(QStringLiteral("/b"), QStringLiteral("x.jpg"));
    EXPECT_TRUE(m.containsOldName(QStringLiteral("x.jpg")));
    EXPECT_TRUE(m.containsFile(QStringLiteral("/b"), QStringLiteral("x.jpg")));
    EXPECT_FALSE(m.containsFile(QStringLiteral("/c"), QStringLiteral("x.jpg")));
    // A file at the root is kept with an empty folder; "/" finds it.
    m.appendFile(QString(), QStringLiteral("r.jpg"));
    EXPECT_TRUE(m.containsFile(QStringLiteral("/"), QStringLiteral("r.jpg")));
    m.removeRows(2, 1);
    m.removeRows(0, 1);
    EXPECT_TRUE(m.containsOldName(QStringLiteral("x.jpg")));
    EXPECT_FALSE(m.containsFile(QStringLiteral("/a"), QStringLiteral("x.jpg")));
    m.moveRow(0, 0);
    m.clear();
    EXPECT_FALSE(m.containsOldName(QStringLiteral("x.jpg")));
}

// A large list's look-ups are let go of elsewhere when every row goes; the
// new names of the same rows keep them.
TEST(RenameListModel, PresenceOfALargeListAfterNewNamesAndAfterEveryRowWent) {
    RenameListModel m;
    fill(m, 6000);
    ASSERT_TRUE(m.containsFile(QStringLiteral("/f1"), QStringLiteral("17")));
    QList<FileEntry> named = m.entries();
    named[16].newName = QStringLiteral("n");
    m.takeNewNames(named);
    EXPECT_EQ(m.entry(16).newName, QStringLiteral("n"));
    EXPECT_TRUE(m.containsFile(QStringLiteral("/f1"), QStringLiteral("17")));
    for (auto drop :
         {+[](RenameListModel &l) { l.removeRows(0, l.count()); }, +[](RenameListModel &l) { l.clear(); }}) {
        drop(m);
        EXPECT_FALSE(m.containsOldName(QStringLiteral("17")));
        fill(m, 6000);
        EXPECT_TRUE(m.containsFile(QStringLiteral("/f1"), QStringLiteral("17")));
    }
}

TEST(RenameListModel, BatchSendsOneResetInsteadOfARowSignalEach) {
    RenameListModel m;
    QSignalSpy inserted(&m, &QAbstractItemModel::rowsInserted);
    QSignalSpy reset(&m, &QAbstractItemModel::modelReset);
    m.beginBatch();
    fill(m, 1000);
    m.setNewName(5, QStringLiteral("n"));
    m.endBatch();
    EXPECT_EQ(inserted.count(), 0);
    EXPECT_EQ(reset.count(), 1);
    EXPECT_EQ(m.rowCount(), 1000);
    m.appendFile(QStringLiteral("/z"), QStringLiteral("z"));
    EXPECT_EQ(inserted.count(), 1);
}
