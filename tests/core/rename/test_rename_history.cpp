// The rename history and undo on real folders: every case compares the whole
// tree (names and contents) before the batch, after it, after the undo and
// after the redo.
#include "core/i18n/Language.h"
#include "core/rename/RenameHistory.h"
#include "core/rename/RenameJournal.h"
#include "core/rename/StateFolder.h"

#include "QtPrinters.h"
#include "RenameTestUtil.h"
#include "ScriptedFrontEnd.h"
#include "TestGuard.h"
#include "TestPaths.h"

#include <QDirIterator>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <sys/stat.h>
#include <utime.h>

using namespace tav;
using namespace tavtest;

namespace {

// relative path -> content for files, "<dir>" for folders, under root.
QMap<QString, QByteArray> tree(const QString &root) {
    QMap<QString, QByteArray> t;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        t.insert(QDir(root).relativeFilePath(path), it.fileInfo().isDir() ? QByteArray("<dir>") : readFile(path));
    }
    return t;
}

class HistoryTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    ScriptedFrontEnd ui;
    tav::test::TestGuard guard;

    void SetUp() override {
        guard.language(QStringLiteral("English"));
        // Each test starts with an empty history in the process's own state folder.
        QDir(history::folder()).removeRecursively();
        QDir(RenameJournal::journalFolder()).removeRecursively();
    }

    QString p(const QString &rel) const { return dir.filePath(rel); }

    // Runs and records one batch of absolute moves.
    qint64 renameAndRecord(const QList<QPair<QString, QString>> &moves, const QStringList &created = {},
                           int keep = 50) {
        QList<RenameItem> items;
        for (const auto &m : moves)
            items.append({m.first, m.second, QString()});
        RenameBatch batch(items);
        batch.prepare();
        EXPECT_EQ(batch.blockedCount(), 0);
        EXPECT_TRUE(batch.run({}));
        return history::record(batch, created, keep);
    }

    UndoReport undo(qint64 id = 0) {
        UndoOptions o;
        o.id = id;
        return undoBatch(o);
    }
};

} // namespace

TEST_F(HistoryTest, UndoRestoresSwapsRotationsNewFoldersAndOtherDisksAndUndoingItRedoes) {
    for (const char *n : {"a", "b", "x", "y", "z", "m", "keep"})
        writeFile(p(n), n);
    // A second file system for a move across devices, when there is one.
    std::unique_ptr<QTemporaryDir> other;
    struct stat disk, shm;
    if (::stat("/dev/shm", &shm) == 0 && ::stat(QFile::encodeName(dir.path()).constData(), &disk) == 0 &&
        disk.st_dev != shm.st_dev)
        other = std::make_unique<QTemporaryDir>(QStringLiteral("/dev/shm/tavundo-XXXXXX"));
    writeFile(p("far"), QByteArray(3 * 1024 * 1024 + 5, 'f'));
    const QString farTarget = other ? other->filePath("far2") : p("far2");

    const auto before = tree(dir.path());
    // A folder sort: sorted/2007 is made for the batch, sorted/2007/../.. stays.
    const QStringList created = history::missingFolders(p("sorted/2007"));
    ASSERT_EQ(created, (QStringList{p("sorted"), p("sorted/2007")}));
    for (const QString &f : created)
        ASSERT_TRUE(QDir().mkdir(f));
    const qint64 id = renameAndRecord({{p("a"), p("b")},
                                       {p("b"), p("a")},
                                       {p("x"), p("y")},
                                       {p("y"), p("z")},
                                       {p("z"), p("x")},
                                       {p("m"), p("sorted/2007/m2")},
                                       {p("keep"), p("keep")}, // same name: nothing to undo
                                       {p("far"), farTarget}},
                                      created);
    ASSERT_EQ(id, 1);
    const auto renamedTree = tree(dir.path());
    EXPECT_EQ(readFile(p("a")), "b");
    EXPECT_EQ(readFile(p("sorted/2007/m2")), "m");

    const QList<HistoryBatch> listed = history::list();
    ASSERT_EQ(listed.size(), 1);
    EXPECT_EQ(listed[0].fileCount, 7);
    EXPECT_EQ(listed[0].firstFolder, dir.path());
    EXPECT_EQ(listed[0].undoes, 0);

    // A dry run moves nothing and says every file would go back.
    UndoOptions dry;
    dry.dryRun = true;
    const UndoReport plan = undoBatch(dry);
    EXPECT_EQ(plan.lines.size(), 7);
    for (const UndoLine &l : plan.lines)
        EXPECT_EQ(l.status, RenameStatus::Pending) << l.fromPath.toStdString() << l.reason.toStdString();
    EXPECT_EQ(tree(dir.path()), renamedTree);

    const UndoReport undone = undo();
    ASSERT_TRUE(undone.found);
    EXPECT_EQ(undone.undoneId, 1);
    EXPECT_EQ(undone.renamed, 7);
    EXPECT_EQ(tree(dir.path()), before); // the made folders are gone too
    EXPECT_EQ(undone.removedFolders, (QStringList{p("sorted/2007"), p("sorted")}));
    if (other) {
        EXPECT_TRUE(QDir(other->path()).isEmpty());
    }
    EXPECT_TRUE(pendingJournals().isEmpty());

    // The undo is the last batch now: undoing it renames the files again,
    // making the folders again.
    ASSERT_EQ(history::list().size(), 2);
    EXPECT_EQ(history::list().last().undoes, 1);
    const UndoReport redone = undo();
    EXPECT_EQ(redone.undoneId, undone.recordedId);
    EXPECT_EQ(redone.renamed, 7);
    EXPECT_EQ(tree(dir.path()), renamedTree);
    if (other) {
        EXPECT_EQ(readFile(farTarget).size(), 3 * 1024 * 1024 + 5);
    }

    // And the redo is undone in turn, its folders with it.
    EXPECT_EQ(undo().renamed, 7);
    EXPECT_EQ(tree(dir.path()), before);
}

TEST_F(HistoryTest, FilesChangedSinceTheBatchAreBlockedAndTheOthersGoBack) {
    for (const char *n : {"a", "b", "c", "d", "e", "f"})
        writeFile(p(n), n);
    ASSERT_EQ(renameAndRecord({{p("a"), p("A")},
                               {p("b"), p("B")},
                               {p("c"), p("C")},
                               {p("d"), p("D")},
                               {p("e"), p("E")},
                               {p("f"), p("F")}}),
              1);
    // B edited (same size, its time moves), C renamed away, D replaced by a
    // new file, a new file under e's old name; A and F untouched.
    {
        QFile f(p("B"));
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        f.write("X");
    }
    struct utimbuf later {
        1000000000, 1000000000
    };
    ASSERT_EQ(::utime(QFile::encodeName(p("B")).constData(), &later), 0);
    ASSERT_TRUE(QFile::rename(p("C"), p("C2")));
    writeFile(p("D.new"), "new d"); // made first, so that it cannot reuse D's inode
    ASSERT_EQ(::rename(QFile::encodeName(p("D.new")).constData(), QFile::encodeName(p("D")).constData()), 0);
    writeFile(p("e"), "new e");

    // Cancelled in the review: nothing moves.
    const auto changed = tree(dir.path());
    ui.reviewAnswer = false;
    UndoReport r = undo();
    EXPECT_TRUE(r.cancelled);
    EXPECT_EQ(tree(dir.path()), changed);
    ASSERT_EQ(ui.reviews.size(), 1);
    EXPECT_EQ(ui.reviewSuffixes[0], " (4 / 6)");

    ui.reviewAnswer = true;
    r = undo();
    ASSERT_EQ(ui.reviews.size(), 2);
    QMap<QString, QString> reasons;
    for (const ReviewEntry &e : ui.reviews[1])
        reasons.insert(QFileInfo(e.oldPath).fileName(), e.reason);
    EXPECT_EQ(reasons.keys(), (QStringList{"B", "C", "D", "E"}));
    EXPECT_TRUE(reasons["B"].contains("changed")) << reasons["B"].toStdString();
    EXPECT_TRUE(reasons["C"].contains("No file has this name")) << reasons["C"].toStdString();
    EXPECT_TRUE(reasons["D"].contains("Another file")) << reasons["D"].toStdString();
    EXPECT_TRUE(reasons["E"].contains(p("e"))) << reasons["E"].toStdString();
    EXPECT_EQ(r.renamed, 2);
    EXPECT_EQ(readFile(p("a")), "a");
    EXPECT_EQ(readFile(p("f")), "f");
    EXPECT_EQ(readFile(p("B")), "X");
    EXPECT_EQ(readFile(p("C2")), "c");
    EXPECT_EQ(readFile(p("D")), "new d");
    EXPECT_EQ(readFile(p("E")), "e");
    EXPECT_EQ(readFile(p("e")), "new e");
    // The undo records the two files it moved back.
    EXPECT_EQ(history::list().last().fileCount, 2);
}

TEST_F(HistoryTest, KeepsTheLastBatchesOnly) {
    writeFile(p("f0"), "f");
    for (int i = 0; i < 53; ++i)
        ASSERT_EQ(renameAndRecord({{p(QStringLiteral("f%1").arg(i)), p(QStringLiteral("f%1").arg(i + 1))}}), i + 1);
    QList<HistoryBatch> batches = history::list();
    ASSERT_EQ(batches.size(), 50);
    EXPECT_EQ(batches.first().id, 4);
    EXPECT_EQ(batches.last().id, 53);
    EXPECT_FALSE(history::load(3));
    ASSERT_TRUE(history::load(4));
    EXPECT_EQ(history::load(4)->files.value(0).newPath, p("f4"));

    // A smaller setting drops the oldest at the next batch; 0 records nothing.
    EXPECT_EQ(renameAndRecord({{p("f53"), p("g")}}, {}, 3), 54);
    batches = history::list();
    ASSERT_EQ(batches.size(), 3);
    EXPECT_EQ(batches.first().id, 52);
    EXPECT_EQ(renameAndRecord({{p("g"), p("h")}}, {}, 0), 0);
    EXPECT_EQ(history::list().size(), 3);

    // A batch file cut short (a crash while it was written), or whose file
    // count is damaged, is no batch to undo; the others still are.
    for (const char *count : {"2", "2000000000", "-5"}) {
        QFile cut(history::folder() + "/0000000055.batch");
        ASSERT_TRUE(cut.open(QIODevice::WriteOnly | QIODevice::Truncate));
        cut.write(QByteArray("TRAVOLINE-RENAME-HISTORY 1\nB\t0\t") + count +
                  "\t0\t%2Ftmp\nF\t%2Fa\t%2Fb\t1\t2\t3\t4\n");
        cut.close();
        EXPECT_FALSE(history::load(55)) << count;
        EXPECT_EQ(history::load()->id, 54) << count;
    }
}

TEST_F(HistoryTest, JournalLivesInTheStateFolderAndOneInTheOldPlaceIsStillFound) {
    EXPECT_EQ(stateFolder(), QFile::decodeName(qgetenv("XDG_STATE_HOME")) + "/Travoline");
    EXPECT_EQ(RenameJournal::journalFolder(), stateFolder() + "/journal");
    EXPECT_EQ(history::folder(), stateFolder() + "/history");
    const QString old = RenameJournal::legacyJournalFolder();
    ASSERT_TRUE(old.endsWith("/Travoline/journal"));
    EXPECT_NE(old, RenameJournal::journalFolder());

    // A batch killed by an earlier version, its journal in the old place.
    for (const char *n : {"a", "b"})
        writeFile(p(n), n);
    QProcess child;
    child.start(QStringLiteral(TAV_BUILD_BIN_DIR "/rename_crash_child"),
                {old, "2", "1", p("a"), p("b"), p("b"), p("a")});
    ASSERT_TRUE(child.waitForFinished(30000));
    ASSERT_EQ(child.exitCode(), 0);
    ASSERT_EQ(pendingJournals().size(), 1);
    EXPECT_TRUE(pendingJournals()[0].startsWith(old));
    ui.answers = {AnswerYes};
    EXPECT_EQ(offerJournalRecovery(), 1);
    EXPECT_EQ(readFile(p("a")), "a");
    EXPECT_EQ(readFile(p("b")), "b");
    EXPECT_TRUE(pendingJournals().isEmpty());
}

TEST_F(HistoryTest, KilledDuringAnUndoEveryFileKeepsOneOfItsNamesAfterRecovery) {
    const QStringList names{"a", "b", "c", "d", "e"};
    for (const QString &n : names)
        writeFile(p(n), n.toUtf8());
    // A rotation, so that the undo needs the temporary names.
    ASSERT_EQ(
        renameAndRecord({{p("a"), p("b")}, {p("b"), p("c")}, {p("c"), p("a")}, {p("d"), p("D")}, {p("e"), p("E")}}), 1);
    const auto renamed = tree(dir.path());

    for (const auto &[phase, moves] : QList<QPair<int, int>>{{1, 2}, {2, 1}, {2, 4}}) {
        SCOPED_TRACE(testing::Message() << "phase " << phase << " after " << moves << " moves");
        QProcess child; // the state folder comes with the environment
        child.start(QStringLiteral(TAV_BUILD_BIN_DIR "/undo_crash_child"),
                    {QString::number(phase), QString::number(moves)});
        ASSERT_TRUE(child.waitForFinished(30000));
        EXPECT_EQ(child.exitStatus(), QProcess::CrashExit);
        // Nothing lost on the way, and the next start offers the recovery.
        QMap<QByteArray, int> expected;
        for (const QString &n : names)
            ++expected[n.toUtf8()];
        EXPECT_EQ(contents(dir.path()), expected);
        ASSERT_EQ(pendingJournals().size(), 1);
        ui.answers = {AnswerYes};
        const int asked = int(ui.asked.size());
        EXPECT_EQ(offerJournalRecovery(), 1);
        ASSERT_GT(ui.asked.size(), asked);
        EXPECT_TRUE(ui.asked[asked].message.contains("5"));
        EXPECT_EQ(tree(dir.path()), renamed); // every file under the name it had before the undo
        EXPECT_EQ(history::list().size(), 1); // the killed undo recorded nothing
    }
    EXPECT_EQ(undo().renamed, 5);
    for (const QString &n : names)
        EXPECT_EQ(readFile(p(n)), n.toUtf8());
}

// The lines a large batch's history has made ahead, on a second thread, are
// the very lines it writes after the batch; a batch that did not end as
// foreseen (here a file gone before it ran) writes its own. Lines made for
// the first files only (a cap) are followed by the others'.
TEST_F(HistoryTest, LinesMadeAheadAreTheLinesOfTheBatchAsItEnded) {
    const int n = 5000;
    for (auto [gone, most] : {std::pair{-1, 1 << 24}, {-1, 100000}, {7, 1 << 24}, {n - 3, 100000}}) {
        QTemporaryDir d;
        QList<RenameItem> items;
        for (int i = 0; i < n; ++i) {
            const QString from = d.filePath(QStringLiteral("f%1 é").arg(i));
            writeFile(from, QByteArray::number(i));
            // One file keeps its name: it is in no history.
            items.append({from, i == 11 ? from : d.filePath(QStringLiteral("g%1").arg(i)), QString()});
        }
        RenameBatch batch(items);
        batch.prepare();
        history::LinesAhead made(batch, most);
        if (gone >= 0)
            QFile::remove(items[gone].oldPath());
        ASSERT_TRUE(batch.run({}));
        qsizetype until = 0;
        const bool used = made.linesFor(batch, until) != nullptr;
        EXPECT_EQ(until < n, most < (1 << 24));
        EXPECT_EQ(used, gone < 0 || gone >= until);
        std::optional<HistoryBatch> written[2];
        for (bool ahead : {false, true}) {
            const qint64 id = history::record(batch, {}, 50, 0, nullptr, ahead ? &made : nullptr);
            ASSERT_GT(id, 0);
            written[ahead] = history::load(id);
            ASSERT_TRUE(written[ahead]);
        }
        EXPECT_EQ(written[1]->fileCount, n - 1 - (gone >= 0));
        ASSERT_EQ(written[0]->files.size(), written[1]->files.size());
        for (qsizetype k = 0; k < written[0]->files.size(); ++k) {
            const HistoryFile &a = written[0]->files[k], &b = written[1]->files[k];
            EXPECT_EQ(a.oldPath, b.oldPath);
            EXPECT_EQ(a.newPath, b.newPath);
            EXPECT_TRUE(a.identity.sameFile(b.identity) && a.identity.size == b.identity.size &&
                        a.identity.mtimeNs == b.identity.mtimeNs);
        }
    }
}
