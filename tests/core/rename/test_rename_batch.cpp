// The two-phase batch on real folders: swaps, conflicts, failures in either
// phase, the journal, and recovery. Every case checks that the set of file
// contents on disk is exactly what it was before.
#include "core/rename/RenameBatch.h"
#include "core/rename/RenameJournal.h"

#include "QtPrinters.h"
#include "RenameTestUtil.h"
#include "ScriptedFrontEnd.h"

#include <QFile>
#include <QTemporaryDir>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace tav;
using namespace tavtest;

namespace {

class RenameBatchTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QTemporaryDir journals;
    QMap<QByteArray, int> before;

    void SetUp() override { RenameJournal::setJournalFolder(journals.path()); }
    void TearDown() override { RenameJournal::setJournalFolder(QString()); }

    QString p(const QString &rel) const { return dir.filePath(rel); }

    // Files whose content is their own name, so that a test can tell where each went.
    void files(const QStringList &rels) {
        for (const QString &r : rels)
            writeFile(p(r), r.toUtf8());
        before = contents(dir.path());
    }

    RenameBatch batch(const QList<QPair<QString, QString>> &moves) {
        QList<RenameItem> items;
        for (const auto &m : moves)
            items.append({p(m.first), p(m.second), QString()});
        return RenameBatch(items);
    }

    void expectNothingLost() const {
        EXPECT_EQ(contents(dir.path()), before);
        EXPECT_TRUE(pendingJournals().isEmpty());
        for (const QString &n : names(dir.path()))
            EXPECT_FALSE(n.startsWith("tmp_Tvol")) << n.toStdString();
    }
};

QList<RenameStatus> statuses(const RenameBatch &b) {
    QList<RenameStatus> s;
    for (qsizetype i = 0; i < b.size(); ++i)
        s << b.outcome(i).status;
    return s;
}

const auto Renamed = RenameStatus::Renamed;
const auto Blocked = RenameStatus::Blocked;
const auto Failed = RenameStatus::Failed;

RenameBatch::Hooks onMove(std::function<void(int, qsizetype)> f) {
    RenameBatch::Hooks h;
    h.afterMove = std::move(f);
    return h;
}
RenameBatch::Hooks onRenamed(std::function<void(qsizetype)> f) {
    RenameBatch::Hooks h;
    h.renamed = std::move(f);
    return h;
}
RenameBatch::Hooks onProgress(std::function<void(int)> f) {
    RenameBatch::Hooks h;
    h.progress = std::move(f);
    return h;
}

} // namespace

TEST_F(RenameBatchTest, SwapsRotationsAndUnchangedNames) {
    files({"a.jpg", "b.jpg", "x", "y", "z", "same.txt"});
    RenameBatch b =
        batch({{"a.jpg", "b.jpg"}, {"b.jpg", "a.jpg"}, {"x", "y"}, {"y", "z"}, {"z", "x"}, {"same.txt", "same.txt"}});
    b.prepare();
    EXPECT_EQ(b.blockedCount(), 0);
    QList<qsizetype> renamedOrder;
    ASSERT_TRUE(b.run(onRenamed([&](qsizetype i) { renamedOrder << i; })));
    EXPECT_EQ(b.renamedCount(), 6);
    EXPECT_EQ(renamedOrder, (QList<qsizetype>{5, 4, 3, 2, 1, 0})); // phase 2 runs last to first
    EXPECT_EQ(readFile(p("a.jpg")), "b.jpg");
    EXPECT_EQ(readFile(p("b.jpg")), "a.jpg");
    EXPECT_EQ(readFile(p("y")), "x");
    EXPECT_EQ(readFile(p("z")), "y");
    EXPECT_EQ(readFile(p("x")), "z");
    EXPECT_EQ(readFile(p("same.txt")), "same.txt");
    expectNothingLost();
}

TEST_F(RenameBatchTest, ConflictsAreBlockedBeforeAnythingMoves) {
    files({"a", "b", "c", "d", "e", "outside", "f"});
    RenameBatch b = batch({{"a", "outside"}, // held by a file outside the batch
                           {"b", "dup"},     // two entries, same new path
                           {"c", "dup"},
                           {"d", "a"}, // a is blocked, so its name never frees
                           {"e", "d"}, // and d is blocked in turn
                           {"f", "g"}});
    b.prepare();
    EXPECT_EQ(statuses(b), (QList<RenameStatus>{Blocked, Blocked, Blocked, Blocked, Blocked, RenameStatus::Pending}));
    const QList<ReviewEntry> review = b.blockedEntries();
    ASSERT_EQ(review.size(), 5);
    EXPECT_EQ(review[0].oldPath, p("a"));
    for (const ReviewEntry &e : review)
        EXPECT_FALSE(e.reason.isEmpty());
    EXPECT_NE(review[0].reason, review[1].reason);

    ASSERT_TRUE(b.run({}));
    EXPECT_EQ(b.renamedCount(), 1);
    EXPECT_EQ(readFile(p("g")), "f");
    EXPECT_EQ(readFile(p("outside")), "outside");
    EXPECT_EQ(b.notRenamed().size(), 5);
    expectNothingLost();
}

// A listing offered by the caller stands for the folder only while the folder
// is unchanged: the offer below leaves out "c", which holds a's destination,
// so a batch that trusts it lets a through (its no-replace move would fail
// and put it back); once the folder has changed, the batch reads it again and
// blocks a. An offer is used once.
TEST_F(RenameBatchTest, AnOfferedListingStandsForTheFolderWhileItIsUnchanged) {
    files({"a", "b", "c"});
    auto offer = [&] {
        const int fd = ::open(QFile::encodeName(dir.path()).constData(), O_RDONLY | O_DIRECTORY);
        ASSERT_GE(fd, 0);
        offerFolderListing(folderStamp(fd), QByteArray("a\0b\0", 4));
        ::close(fd);
    };
    for (const bool changed : {false, true}) {
        SCOPED_TRACE(changed);
        offer();
        if (changed) {
            // A file comes and goes, and the folder's times move on as any change moves them.
            writeFile(p("x"), "x");
            QFile::remove(p("x"));
            const struct timespec later[2] = {{0, UTIME_OMIT}, {time(nullptr) + 5, 0}};
            ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(dir.path()).constData(), later, 0), 0);
        }
        RenameBatch b = batch({{"a", "c"}, {"b", "d"}});
        b.prepare();
        EXPECT_EQ(statuses(b), (QList<RenameStatus>{changed ? Blocked : RenameStatus::Pending, RenameStatus::Pending}));
        RenameBatch again = batch({{"a", "c"}, {"b", "d"}});
        again.prepare(); // the offer is gone: the folder is read
        EXPECT_EQ(statuses(again), (QList<RenameStatus>{Blocked, RenameStatus::Pending}));
    }
    expectNothingLost();
}

// Equal keys found however they were written: a path given twice, and new
// names the disk takes for one (other Unicode forms, the Kelvin sign whose
// NFC form is the ASCII "K"), beside a swap found through the same index.
TEST_F(RenameBatchTest, SameFileOrSameDestinationWrittenAnotherWay) {
    const QString nfc = QString::fromUtf8("\xc3\xa9"), nfd = QString::fromUtf8("e\xcc\x81");
    const QString kelvin = QString::fromUtf8("\xe2\x84\xaa");
    const struct {
        QList<QPair<QString, QString>> moves;
        QList<RenameStatus> expected;
    } cases[] = {
        {{{"a", "x"}, {"a", "y"}}, {RenameStatus::Pending, Blocked}},
        {{{"a", "K.txt"}, {"b", kelvin + ".txt"}}, {Blocked, Blocked}},
        {{{"a", kelvin + ".txt"}, {"b", "K.txt"}}, {Blocked, Blocked}},
        {{{"a", nfc}, {"b", nfd}}, {Blocked, Blocked}},
        {{{"a", "b"}, {"b", "a"}, {"c", "c2"}}, {RenameStatus::Pending, RenameStatus::Pending, RenameStatus::Pending}},
    };
    for (const auto &c : cases) {
        for (const QString &n : names(dir.path()))
            QFile::remove(p(n));
        files({"a", "b", "c"});
        RenameBatch b = batch(c.moves);
        b.prepare();
        EXPECT_EQ(statuses(b), c.expected) << c.moves.last().second.toStdString();
    }
}

TEST_F(RenameBatchTest, TemporaryNameCollisionsLengthenThePrefix) {
    files({"a.jpg", "b.jpg", "tmp_Tvol_2_b.jpg", "tmp_Tvol__2_b.jpg"});
    RenameBatch b = batch({{"a.jpg", "1.jpg"}, {"b.jpg", "2.jpg"}, {"tmp_Tvol_2_b.jpg", "3.jpg"}});
    b.prepare();
    EXPECT_EQ(b.tempPath(0), p("tmp_Tvol_1_a.jpg"));
    EXPECT_EQ(b.tempPath(1), p("tmp_Tvol___2_b.jpg"));
    EXPECT_EQ(b.tempPrefix(), "tmp_Tvol__");
    EXPECT_EQ(b.tempPath(2), p("tmp_Tvol___3_tmp_Tvol_2_b.jpg")); // the prefix stays long
    ASSERT_TRUE(b.run({}));
    EXPECT_EQ(b.renamedCount(), 3);
    EXPECT_EQ(names(dir.path()), (QStringList{"1.jpg", "2.jpg", "3.jpg", "tmp_Tvol__2_b.jpg"}));
    EXPECT_EQ(contents(dir.path()), before);
}

// A new name that looks like a temporary name of the batch: the temporary
// name moves aside, and both files reach their new names.
TEST_F(RenameBatchTest, ADestinationNamedLikeATemporaryName) {
    files({"a.jpg", "b.jpg"});
    RenameBatch b = batch({{"a.jpg", "c.jpg"}, {"b.jpg", "tmp_Tvol_1_a.jpg"}});
    b.prepare();
    EXPECT_EQ(b.blockedCount(), 0);
    EXPECT_EQ(b.tempPath(0), p("tmp_Tvol__1_a.jpg"));
    ASSERT_TRUE(b.run({}));
    EXPECT_EQ(statuses(b), (QList<RenameStatus>{Renamed, Renamed}));
    EXPECT_EQ(readFile(p("c.jpg")), "a.jpg");
    EXPECT_EQ(readFile(p("tmp_Tvol_1_a.jpg")), "b.jpg");
    EXPECT_EQ(contents(dir.path()), before);

    // The same in another case: on a file system that ignores case the two
    // names are one.
    files({"d.jpg", "e.jpg"});
    RenameBatch c = batch({{"d.jpg", "TMP_TVOL_2_E.JPG"}, {"e.jpg", "f.jpg"}});
    c.prepare();
    EXPECT_EQ(c.tempPath(1), p("tmp_Tvol__2_e.jpg"));
    ASSERT_TRUE(c.run({}));
    EXPECT_EQ(statuses(c), (QList<RenameStatus>{Renamed, Renamed}));
    EXPECT_EQ(readFile(p("TMP_TVOL_2_E.JPG")), "d.jpg");
}

TEST_F(RenameBatchTest, LongNamesGetAShortenedTemporaryName) {
    const QString longName = QString(240, QChar(u'é')) + ".jpg"; // 484 bytes would not fit; 240 + 4 chars do
    const QString fitting = QString(118, QChar(u'é')) + ".jpg";  // 240 bytes
    files({fitting});
    RenameBatch b = batch({{fitting, "short.jpg"}});
    b.prepare();
    const QString temp = QFileInfo(b.tempPath(0)).fileName();
    EXPECT_LE(QFile::encodeName(temp).size(), 255);
    EXPECT_TRUE(temp.startsWith("tmp_Tvol_1_"));
    EXPECT_TRUE(temp.endsWith(".jpg"));
    ASSERT_TRUE(b.run({}));
    EXPECT_EQ(b.renamedCount(), 1);
    expectNothingLost();
    EXPECT_LE(QFile::encodeName(QFileInfo(temporaryPath(p(longName), 12345, "tmp_Tvol")).fileName()).size(), 255);
}

TEST_F(RenameBatchTest, FileDeletedBeforeTheBatchOrDuringIt) {
    files({"a", "b", "c"});
    RenameBatch b = batch({{"a", "A"}, {"b", "B"}, {"c", "C"}});
    QFile::remove(p("a")); // gone between preview and rename
    b.prepare();
    EXPECT_EQ(b.outcome(0).status, Blocked);
    before = contents(dir.path());
    // c disappears while the batch runs, before its turn in phase 1.
    ASSERT_TRUE(b.run(onMove([&](int phase, qsizetype i) {
        if (phase == 1 && i == 1)
            QFile::remove(p("c"));
    })));
    before.remove("c");
    EXPECT_EQ(statuses(b), (QList<RenameStatus>{Blocked, Renamed, Failed}));
    EXPECT_FALSE(b.outcome(2).reason.isEmpty());
    expectNothingLost();
}

TEST_F(RenameBatchTest, FinalMoveFailureGoesBackToTheOldName) {
    files({"a", "b", "c"});
    // The destination folder of b is missing; c's destination is taken while the batch runs.
    RenameBatch b = batch({{"a", "A"}, {"b", "nofolder/B"}, {"c", "C"}});
    b.prepare();
    EXPECT_EQ(b.blockedCount(), 0);
    ASSERT_TRUE(b.run(onMove([&](int phase, qsizetype i) {
        if (phase == 1 && i == 2)
            writeFile(p("C"), "intruder");
    })));
    before["intruder"] = 1;
    EXPECT_EQ(statuses(b), (QList<RenameStatus>{Renamed, Failed, Failed}));
    EXPECT_EQ(readFile(p("b")), "b");
    EXPECT_EQ(readFile(p("c")), "c");
    EXPECT_EQ(readFile(p("C")), "intruder");
    EXPECT_EQ(b.currentPath(2), p("c"));
    EXPECT_TRUE(b.outcome(2).reason.contains(systemErrorText(EEXIST)));
    expectNothingLost();
}

TEST_F(RenameBatchTest, FileThatCannotGoBackIsNamedAndKeptInTheJournal) {
    files({"a"});
    RenameBatch b = batch({{"a", "A"}});
    b.prepare();
    ASSERT_TRUE(b.run(onMove([&](int phase, qsizetype) {
        if (phase == 1) { // both names taken behind the batch's back
            writeFile(p("A"), "x1");
            writeFile(p("a"), "x2");
        }
    })));
    EXPECT_EQ(b.outcome(0).status, Failed);
    EXPECT_EQ(b.currentPath(0), p("tmp_Tvol_1_a"));
    EXPECT_TRUE(b.outcome(0).reason.contains(p("tmp_Tvol_1_a")));
    EXPECT_EQ(readFile(p("tmp_Tvol_1_a")), "a");

    // The next start finds the journal; once the old name is free again the file goes back.
    const QStringList pending = pendingJournals();
    ASSERT_EQ(pending.size(), 1);
    RecoveryResult r = recoverJournal(pending[0]);
    EXPECT_EQ(r.problems.size(), 1);
    EXPECT_EQ(pendingJournals().size(), 1);
    QFile::remove(p("a"));
    r = recoverJournal(pending[0]);
    EXPECT_EQ(r.restored, 1);
    EXPECT_TRUE(r.problems.isEmpty());
    EXPECT_EQ(readFile(p("a")), "a");
    EXPECT_TRUE(pendingJournals().isEmpty());
}

TEST_F(RenameBatchTest, ReadOnlyFolderFailsCleanly) {
    files({"ro/a", "ro/b", "rw/c"});
    if (!setFolderReadOnly(p("ro"), true))
        GTEST_SKIP() << "cannot make a folder read-only here";
    RenameBatch b = batch({{"ro/a", "ro/A"}, {"ro/b", "rw/B"}, {"rw/c", "rw/C"}});
    b.prepare();
    const bool ran = b.run({});
    setFolderReadOnly(p("ro"), false);
    ASSERT_TRUE(ran);
    EXPECT_EQ(statuses(b), (QList<RenameStatus>{Failed, Failed, Renamed}));
    EXPECT_EQ(readFile(p("ro/a")), "ro/a");
    EXPECT_EQ(readFile(p("ro/b")), "ro/b");
    expectNothingLost();
}

TEST_F(RenameBatchTest, JournalIsOnDiskDuringTheBatchAndLockedAgainstRecovery) {
    files({"a", "b"});
    RenameBatch b = batch({{"a", "b"}, {"b", "a"}});
    b.prepare();
    int seen = 0;
    ASSERT_TRUE(b.run(onMove([&](int phase, qsizetype i) {
        if (phase != 1 || i != 0)
            return;
        const QStringList files = QDir(journals.path()).entryList(QDir::Files);
        ASSERT_EQ(files.size(), 1);
        QList<JournalRecord> records;
        ASSERT_TRUE(RenameJournal::read(journals.filePath(files[0]), records));
        ASSERT_EQ(records.size(), 2);
        EXPECT_EQ(records[1].oldPath, p("b"));
        EXPECT_EQ(records[1].tempPath, p("tmp_Tvol_2_b"));
        EXPECT_EQ(records[1].newPath, p("a"));
        EXPECT_TRUE(pendingJournals().isEmpty()); // a running batch is not a crashed one
        ++seen;
    })));
    EXPECT_EQ(seen, 1);
    EXPECT_TRUE(QDir(journals.path()).entryList(QDir::Files).isEmpty());
    expectNothingLost();
}

// A large batch's journal, whose lines are made on a second thread while
// the batch is checked, holds exactly the entries that move, as they move.
TEST_F(RenameBatchTest, ALargeBatchJournalsTheEntriesThatMove) {
    const int n = 5000;
    QStringList rels;
    for (int i = 0; i < n; ++i)
        rels << QStringLiteral("f%1 é").arg(i);
    rels << "g9"; // holds entry 9's destination, outside the batch
    files(rels);
    QList<QPair<QString, QString>> moves;
    for (int i = 0; i < n; ++i)
        moves.append({QStringLiteral("f%1 é").arg(i), QStringLiteral("g%1").arg(i)});
    moves[20].first = "missing";
    RenameBatch b = batch(moves);
    b.prepare();
    ASSERT_EQ(b.blockedCount(), 2);
    int seen = 0;
    ASSERT_TRUE(b.run(onMove([&](int phase, qsizetype i) {
        if (phase != 1 || seen++ > 0)
            return;
        const QStringList files = QDir(journals.path()).entryList(QDir::Files);
        ASSERT_EQ(files.size(), 1);
        QList<JournalRecord> records;
        ASSERT_TRUE(RenameJournal::read(journals.filePath(files[0]), records));
        ASSERT_EQ(records.size(), n - 2);
        qsizetype k = 0;
        for (qsizetype e = 0; e < n; ++e) {
            if (b.outcome(e).status == RenameStatus::Blocked)
                continue;
            EXPECT_EQ(records[k].oldPath, b.item(e).oldPath());
            EXPECT_EQ(records[k].tempPath, b.tempPath(e));
            EXPECT_EQ(records[k].newPath, b.item(e).newPath());
            EXPECT_TRUE(records[k].identity.sameFile(b.identity(e)) &&
                        records[k].identity.mtimeNs == b.identity(e).mtimeNs);
            ++k;
        }
        EXPECT_EQ(i, 0);
    })));
    EXPECT_EQ(b.renamedCount(), n - 2);
}

TEST_F(RenameBatchTest, NoJournalNoMove) {
    files({"a"});
    RenameJournal::setJournalFolder("/proc/no-journal-here");
    RenameBatch b = batch({{"a", "A"}});
    b.prepare();
    QString error;
    EXPECT_FALSE(b.run({}, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(names(dir.path()), QStringList{"a"});
}

TEST_F(RenameBatchTest, MoreThan32767Files) {
    QTemporaryDir fast(QDir("/dev/shm").exists() ? QStringLiteral("/dev/shm/tavbig-XXXXXX") : QString());
    const int n = 33000;
    QList<RenameItem> items;
    for (int i = 0; i < n; ++i) {
        const QString from = fast.filePath(QString::number(i));
        QFile f(from);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        items.append({from, fast.filePath(QStringLiteral("r%1").arg(n - 1 - i)), QString()});
    }
    // Each half of the identities (read on two threads) finds its files, and its missing one.
    const QString early = items[10].oldPath(), late = items[n - 10].oldPath();
    const FileIdentity lateId = fileIdentity(late);
    ASSERT_TRUE(QFile::remove(early) && QFile::remove(items[n - 5].oldPath()));
    RenameBatch b(items);
    b.prepare();
    EXPECT_TRUE(b.identity(n - 10).sameFile(lateId));
    EXPECT_EQ(b.outcome(10).status, Blocked);
    EXPECT_EQ(b.outcome(n - 5).status, Blocked);
    int last = 0;
    ASSERT_TRUE(b.run(onProgress([&](int s) { last = s; })));
    EXPECT_EQ(b.renamedCount(), n - 2);
    EXPECT_EQ(last, 2 * n);
    EXPECT_TRUE(QFile::exists(fast.filePath("r32999")));
    EXPECT_EQ(QDir(fast.path()).entryList(QDir::Files).size(), n - 2);
}

TEST_F(RenameBatchTest, RecoveryUndoesAHalfDoneSwapAndRotation) {
    files({"a", "b", "x", "y", "z", "done"});
    RenameBatch b = batch({{"a", "b"}, {"b", "a"}, {"x", "y"}, {"y", "z"}, {"z", "x"}, {"done", "DONE"}});
    b.prepare();
    // Stop the world after three final moves: some files are under new
    // names, some under temporary ones; the journal stays behind.
    QString journal;
    try {
        b.run(onMove([&](int phase, qsizetype i) {
            if (phase == 2 && i == 3) {
                journal = QDir(journals.path()).entryList(QDir::Files).value(0);
                throw 1;
            }
        }));
    } catch (int) {
    }
    ASSERT_FALSE(journal.isEmpty());
    EXPECT_TRUE(QFile::exists(p("DONE")));
    EXPECT_TRUE(QFile::exists(p("tmp_Tvol_1_a")));
    EXPECT_EQ(pendingJournals().size(), 1);
    const RecoveryResult r = recoverJournal(journals.filePath(journal));
    EXPECT_TRUE(r.problems.isEmpty()) << describeProblems(r.problems).toStdString();
    EXPECT_EQ(r.restored, 6);
    for (const char *n : {"a", "b", "x", "y", "z", "done"})
        EXPECT_EQ(readFile(p(n)), QByteArray(n));
    expectNothingLost();
}

TEST_F(RenameBatchTest, RecoveryWhenTheDeviceNumberChangedAfterARestart) {
    files({"a", "b", "c"});
    QList<JournalRecord> records;
    for (const char *n : {"a", "b", "c"}) {
        JournalRecord r{p(n), p(QString("tmp_Tvol_1_") + n), p(QString(n).toUpper()), fileIdentity(p(n)), {}};
        r.identity.device += 1; // a removable drive mounted again gets another number
        records << r;
    }
    ASSERT_TRUE(moveFileNoReplace(p("b"), p("tmp_Tvol_1_b")).ok);
    ASSERT_TRUE(moveFileNoReplace(p("c"), p("C")).ok);
    {
        RenameJournal journal;
        ASSERT_TRUE(journal.begin(records, nullptr));
    } // the process "dies": the journal stays, unlocked
    const QStringList pending = pendingJournals();
    ASSERT_EQ(pending.size(), 1);
    const RecoveryResult r = recoverJournal(pending[0]);
    EXPECT_TRUE(r.problems.isEmpty()) << describeProblems(r.problems).toStdString();
    EXPECT_EQ(r.alreadyInPlace, 1);
    EXPECT_EQ(r.restored, 2);
    expectNothingLost();
    EXPECT_EQ(names(dir.path()), (QStringList{"a", "b", "c"}));
}

TEST_F(RenameBatchTest, AFailingCallbackDoesNotStopTheBatchHalfWay) {
    files({"a", "b", "c"});
    RenameBatch b = batch({{"a", "A"}, {"b", "B"}, {"c", "C"}});
    b.prepare();
    RenameBatch::Hooks hooks;
    hooks.renamed = [](qsizetype i) {
        if (i == 2)
            throw std::runtime_error("list gone");
    };
    EXPECT_THROW(b.run(hooks), std::runtime_error);
    EXPECT_EQ(b.renamedCount(), 3);
    EXPECT_EQ(names(dir.path()), (QStringList{"A", "B", "C"}));
    expectNothingLost();
}

TEST_F(RenameBatchTest, ASecondNameOfTheSameFileIsAnOccupiedDestination) {
    // Where case is told apart, A.jpg is another name (hard link) of a.jpg,
    // not a.jpg found under another case: it stays, so it blocks.
    files({"a.jpg"});
    ASSERT_EQ(::link(QFile::encodeName(p("a.jpg")).constData(), QFile::encodeName(p("A.jpg")).constData()), 0);
    before = contents(dir.path());
    RenameBatch b = batch({{"a.jpg", "A.jpg"}});
    b.prepare();
    EXPECT_EQ(b.outcome(0).status, Blocked);
    ASSERT_TRUE(b.run({}));
    expectNothingLost();
}

TEST_F(RenameBatchTest, StopDuringTheFirstPhasePutsEveryFileBack) {
    files({"a", "b", "c", "d", "e", "f"});
    RenameBatch b = batch({{"a", "b"}, {"b", "a"}, {"c", "C"}, {"d", "D"}, {"e", "E"}, {"f", "F"}});
    b.prepare();
    int moved = 0, polled = 0;
    RenameBatch::Hooks hooks;
    hooks.afterMove = [&](int phase, qsizetype) {
        EXPECT_EQ(phase, 1);
        EXPECT_EQ(names(journals.path()).size(), 1); // the journal is there while files are away
        ++moved;
    };
    hooks.stop = [&] {
        ++polled;
        return moved == 4;
    };
    hooks.renamed = [](qsizetype) { ADD_FAILURE() << "a file got its new name"; };
    ASSERT_TRUE(b.run(hooks));
    EXPECT_TRUE(b.stopped());
    EXPECT_EQ(moved, 4);
    EXPECT_EQ(polled, 5); // between files, not during the second phase
    EXPECT_EQ(statuses(b), QList<RenameStatus>(6, RenameStatus::Stopped));
    EXPECT_EQ(b.renamedCount(), 0);
    EXPECT_EQ(b.notRenamed().size(), 6);
    for (const char *n : {"a", "b", "c", "d", "e", "f"}) {
        EXPECT_EQ(readFile(p(n)), QByteArray(n));
        EXPECT_EQ(b.currentPath(QByteArray("abcdef").indexOf(n[0])), p(n));
    }
    EXPECT_EQ(names(dir.path()), (QStringList{"a", "b", "c", "d", "e", "f"}));
    expectNothingLost();
    EXPECT_TRUE(names(journals.path()).isEmpty());
}

TEST_F(RenameBatchTest, StopComingOnceTheFilesTakeTheirNewNamesIsTooLate) {
    files({"a", "b", "c"});
    RenameBatch b = batch({{"a", "A"}, {"b", "B"}, {"c", "C"}});
    b.prepare();
    bool stop = false;
    RenameBatch::Hooks hooks;
    // Asked for once the last file is at its temporary name.
    hooks.afterMove = [&](int phase, qsizetype i) { stop = stop || (phase == 1 && i == 2); };
    hooks.stop = [&] { return stop; };
    ASSERT_TRUE(b.run(hooks));
    EXPECT_FALSE(b.stopped());
    EXPECT_EQ(b.renamedCount(), 3);
    EXPECT_EQ(names(dir.path()), (QStringList{"A", "B", "C"}));
}

TEST_F(RenameBatchTest, StopWithAFileThatCannotGoBack) {
    files({"a", "b", "c"});
    RenameBatch b = batch({{"a", "A"}, {"b", "B"}, {"c", "C"}});
    b.prepare();
    int moved = 0;
    RenameBatch::Hooks hooks;
    hooks.afterMove = [&](int, qsizetype i) {
        ++moved;
        if (i == 1)
            writeFile(p("b"), "newcomer"); // takes b's old name while b is away
    };
    hooks.stop = [&] { return moved == 2; };
    ASSERT_TRUE(b.run(hooks));
    EXPECT_TRUE(b.stopped());
    EXPECT_EQ(statuses(b), (QList<RenameStatus>{RenameStatus::Stopped, Failed, RenameStatus::Stopped}));
    EXPECT_EQ(b.currentPath(1), b.tempPath(1));
    EXPECT_TRUE(b.outcome(1).reason.contains(b.tempPath(1)));
    EXPECT_EQ(readFile(b.tempPath(1)), "b");
    EXPECT_EQ(readFile(p("a")), "a");
    // The file left under its temporary name is still in the journal.
    const QStringList pending = pendingJournals();
    ASSERT_EQ(pending.size(), 1);
    QList<JournalRecord> records;
    ASSERT_TRUE(RenameJournal::read(pending[0], records));
    ASSERT_EQ(records.size(), 1);
    EXPECT_EQ(records[0].oldPath, p("b"));
}

TEST_F(RenameBatchTest, JournalThatCannotBeWrittenGivesItsReasonToEveryEntry) {
    files({"a", "b", "c"});
    writeFile(journals.filePath("plain-file"), "not a folder");
    RenameJournal::setJournalFolder(journals.filePath("plain-file/journal"));
    RenameBatch b = batch({{"a", "A"}, {"b", "B"}, {"c", "c"}});
    writeFile(p("B"), "outsider");
    before = contents(dir.path());
    b.prepare();
    QString error;
    EXPECT_FALSE(b.run({}, &error));
    EXPECT_TRUE(error.contains(journals.filePath("plain-file/journal"))) << error.toStdString();
    EXPECT_TRUE(error.contains(systemErrorText(ENOTDIR))) << error.toStdString();
    EXPECT_EQ(statuses(b), (QList<RenameStatus>{Failed, Blocked, Failed}));
    EXPECT_EQ(b.outcome(0).reason, error);
    EXPECT_EQ(b.outcome(2).reason, error);
    EXPECT_NE(b.outcome(1).reason, error); // blocked for its own reason
    EXPECT_EQ(contents(dir.path()), before);
    EXPECT_EQ(names(dir.path()), (QStringList{"B", "a", "b", "c"}));
}

// A temporary name taken after the check (another program, or a name the
// file system knows under another spelling): the prefix grows, and the
// journal knows the new name before the file takes it.
TEST_F(RenameBatchTest, TemporaryNameTakenAfterTheCheckIsJournaledBeforeUse) {
    files({"a", "b"});
    RenameBatch b = batch({{"a", "A"}, {"b", "B"}});
    b.prepare();
    writeFile(p("tmp_Tvol_1_a"), "intruder");
    QList<JournalRecord> records;
    try {
        b.run(onMove([&](int phase, qsizetype i) {
            if (phase == 2 && i == 1) {
                RenameJournal::read(journals.filePath(QDir(journals.path()).entryList(QDir::Files).value(0)), records);
                throw 1;
            }
        }));
    } catch (int) {
    }
    ASSERT_EQ(records.size(), 2);
    EXPECT_EQ(records[0].tempPath, p("tmp_Tvol__1_a"));
    EXPECT_EQ(records[1].tempPath, p("tmp_Tvol__2_b")); // the prefix stays long
    EXPECT_EQ(readFile(p("tmp_Tvol__1_a")), "a");
    const RecoveryResult r = recoverJournal(pendingJournals().value(0));
    EXPECT_TRUE(r.problems.isEmpty()) << describeProblems(r.problems).toStdString();
    EXPECT_EQ(readFile(p("a")), "a");
    EXPECT_EQ(readFile(p("b")), "b");
    EXPECT_EQ(readFile(p("tmp_Tvol_1_a")), "intruder");
    EXPECT_TRUE(pendingJournals().isEmpty());
}

// Journals that need no move: one marked done (only its removal was cut
// short) must not undo the batch; one cut short while first written (before
// any move) only goes. A file on a card that is not there stays journaled,
// the card is named, and the file is put back once the card is there again.
TEST_F(RenameBatchTest, RecoveryOfEndedBatchesTornJournalsAndMissingMedia) {
    files({"a", "b", "card/DCIM/c"});
    {
        RenameJournal j;
        ASSERT_TRUE(j.begin({{p("a"), p("tmp_Tvol_1_a"), p("b2"), fileIdentity(p("a")), {}}}, nullptr));
        ASSERT_TRUE(moveFileNoReplace(p("a"), p("b2")).ok);
        ASSERT_TRUE(j.markPhase(JournalPhase::Done));
    } // the process ends before the journal is removed
    writeFile(journals.filePath("rename-1-2-3.journal"), "TRAVOLINE-REN");
    ASSERT_EQ(pendingJournals().size(), 2);
    ScriptedFrontEnd ui;
    EXPECT_EQ(offerJournalRecovery(), 0);
    EXPECT_TRUE(ui.asked.isEmpty()); // nothing to put back, nothing to ask
    EXPECT_TRUE(pendingJournals().isEmpty());
    EXPECT_EQ(readFile(p("b2")), "a");

    const QString c = p("card/DCIM/c"), temp = p("card/DCIM/tmp_Tvol_1_c");
    {
        RenameJournal j;
        ASSERT_TRUE(j.begin({{c, temp, p("card/DCIM/C"), fileIdentity(c), {}}}, nullptr));
        ASSERT_TRUE(moveFileNoReplace(c, temp).ok);
    }
    ASSERT_TRUE(QDir().rename(p("card"), p("card.away"))); // pulled out
    RecoveryResult r = recoverJournal(pendingJournals().value(0));
    ASSERT_EQ(r.problems.size(), 1);
    EXPECT_TRUE(r.problems[0].reason.contains(p("card"))) << r.problems[0].reason.toStdString();
    EXPECT_FALSE(r.problems[0].reason.contains("DCIM"));
    EXPECT_EQ(pendingJournals().size(), 1);
    ASSERT_TRUE(QDir().rename(p("card.away"), p("card"))); // back
    r = recoverJournal(pendingJournals().value(0));
    EXPECT_TRUE(r.problems.isEmpty()) << describeProblems(r.problems).toStdString();
    EXPECT_EQ(r.restored, 1);
    EXPECT_EQ(readFile(c), "card/DCIM/c");
    EXPECT_TRUE(pendingJournals().isEmpty());
}
