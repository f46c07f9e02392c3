// The platform move: never replaces, crosses file systems with times and
// permissions, and reports the system's reason.
#include "core/rename/RenameFileMove.h"

#include "QtPrinters.h"
#include "RenameTestUtil.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cerrno>
#include <sys/stat.h>
#include <sys/time.h>

using namespace tav;
using namespace tavtest;

namespace {

// A second file system for moves across devices: tmpfs when /tmp is not one.
QString otherFileSystemRoot(const QString &than) {
    struct stat a, b;
    if (::stat("/dev/shm", &b) != 0 || ::stat(QFile::encodeName(than).constData(), &a) != 0 || a.st_dev == b.st_dev)
        return QString();
    return QStringLiteral("/dev/shm");
}

} // namespace

TEST(RenameMove, NeverReplacesAndKeepsBothFiles) {
    QTemporaryDir dir;
    const QString a = dir.filePath("a.txt"), b = dir.filePath("b.txt");
    writeFile(a, "A");
    writeFile(b, "B");
    MoveResult r = moveFileNoReplace(a, b);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, EEXIST);
    EXPECT_FALSE(r.reason.isEmpty());
    EXPECT_EQ(readFile(a), "A");
    EXPECT_EQ(readFile(b), "B");

    // A dangling link is a name too.
    ASSERT_EQ(::symlink("nowhere", QFile::encodeName(dir.filePath("link")).constData()), 0);
    EXPECT_FALSE(moveFileNoReplace(a, dir.filePath("link")).ok);

    r = moveFileNoReplace(a, dir.filePath("c.txt"));
    EXPECT_TRUE(r.ok) << r.reason.toStdString();
    EXPECT_EQ(readFile(dir.filePath("c.txt")), "A");
    EXPECT_FALSE(QFile::exists(a));

    r = moveFileNoReplace(dir.filePath("missing"), dir.filePath("d.txt"));
    EXPECT_EQ(r.error, ENOENT);
    EXPECT_FALSE(QFile::exists(dir.filePath("d.txt")));
}

TEST(RenameMove, MovesIntoAnotherFolderAndFailsWithoutOne) {
    QTemporaryDir dir;
    writeFile(dir.filePath("a.txt"), "A");
    QDir(dir.path()).mkdir("sub");
    EXPECT_TRUE(moveFileNoReplace(dir.filePath("a.txt"), dir.filePath("sub/a2.txt")).ok);
    EXPECT_EQ(readFile(dir.filePath("sub/a2.txt")), "A");
    const MoveResult r = moveFileNoReplace(dir.filePath("sub/a2.txt"), dir.filePath("nofolder/a.txt"));
    EXPECT_EQ(r.error, ENOENT);
    EXPECT_EQ(readFile(dir.filePath("sub/a2.txt")), "A");
}

TEST(RenameMove, AcrossFileSystemsKeepsContentModeAndTimes) {
    QTemporaryDir src;
    const QString other = otherFileSystemRoot(src.path());
    if (other.isEmpty())
        GTEST_SKIP() << "no second file system";
    QTemporaryDir dst(other + "/tavmove-XXXXXX");
    ASSERT_TRUE(dst.isValid());

    const QString from = src.filePath("photo.jpg");
    QByteArray big(3 * 1024 * 1024 + 17, '\0');
    for (int i = 0; i < big.size(); ++i)
        big[i] = char(i * 31 % 251);
    writeFile(from, big);
    ASSERT_EQ(::chmod(QFile::encodeName(from).constData(), 0640), 0);
    const struct timeval times[2] = {{1000000000, 0}, {1200000000, 500000}};
    ASSERT_EQ(::utimes(QFile::encodeName(from).constData(), times), 0);

    const QString to = dst.filePath("moved.jpg");
    const MoveResult r = moveFileNoReplace(from, to);
    ASSERT_TRUE(r.ok) << r.reason.toStdString();
    EXPECT_FALSE(QFile::exists(from));
    EXPECT_EQ(readFile(to), big);
    struct stat st;
    ASSERT_EQ(::stat(QFile::encodeName(to).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(st.st_mtim.tv_sec, 1200000000);
    EXPECT_EQ(st.st_mtim.tv_nsec, 500000000);

    // Across file systems too, an existing destination is never replaced.
    writeFile(from, "second");
    const MoveResult again = moveFileNoReplace(from, to);
    EXPECT_EQ(again.error, EEXIST);
    EXPECT_EQ(readFile(from), "second");
    EXPECT_EQ(readFile(to), big);
}

TEST(RenameMove, AcrossFileSystemsFromReadOnlyFolderLeavesOneCopy) {
    QTemporaryDir src;
    const QString other = otherFileSystemRoot(src.path());
    if (other.isEmpty())
        GTEST_SKIP() << "no second file system";
    QTemporaryDir dst(other + "/tavmove-XXXXXX");
    QDir(src.path()).mkdir("ro");
    const QString from = src.filePath("ro/a.txt");
    writeFile(from, "only one");
    if (!setFolderReadOnly(src.filePath("ro"), true))
        GTEST_SKIP() << "cannot make a folder read-only here";
    const MoveResult r = moveFileNoReplace(from, dst.filePath("a.txt"));
    setFolderReadOnly(src.filePath("ro"), false);
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(r.reason.isEmpty());
    EXPECT_EQ(readFile(from), "only one");
    EXPECT_FALSE(QFile::exists(dst.filePath("a.txt")));
}

namespace {

// Looks at the disk at each step of a copy across file systems.
struct WatchingRecorder : CopyRecorder {
    QString from, to, partial;
    bool refuseName = false, refuseCreated = false;
    QStringList seen;

    QString partialPath(const QString &dest) override {
        if (refuseName)
            return QString();
        partial = QFileInfo(dest).path() + "/.tmp_Tvol_copy_test";
        return partial;
    }
    bool created(const QString &p, const FileIdentity &copy) override {
        seen << QStringLiteral("created %1 %2 %3")
                    .arg(p == partial)
                    .arg(copy.sameFile(fileIdentity(partial)))
                    .arg(QFile::exists(to));
        return !refuseCreated;
    }
    void placed(const QString &dest) override {
        seen << QStringLiteral("placed %1 %2 %3").arg(dest == to).arg(QFile::exists(from)).arg(QFile::exists(partial));
    }
};

} // namespace

TEST(RenameMove, AcrossFileSystemsTheNewNameAppearsOnlyWhenTheCopyIsComplete) {
    QTemporaryDir src;
    const QString other = otherFileSystemRoot(src.path());
    if (other.isEmpty())
        GTEST_SKIP() << "no second file system";
    QTemporaryDir dst(other + "/tavmove-XXXXXX");
    WatchingRecorder rec;
    rec.from = src.filePath("a.txt");
    rec.to = dst.filePath("b.txt");
    writeFile(rec.from, "content");

    // created: under the recorded name, with that identity, the new name still free.
    // placed: the new name taken, the source still there, the unfinished name gone.
    ASSERT_TRUE(moveFileNoReplace(rec.from, rec.to, &rec).ok);
    EXPECT_EQ(rec.seen, (QStringList{"created 1 1 0", "placed 1 1 0"}));
    EXPECT_EQ(readFile(rec.to), "content");
    EXPECT_FALSE(QFile::exists(rec.from));

    // A step that cannot be recorded: no copy is made, or the one made goes.
    for (bool refuseName : {true, false}) {
        writeFile(rec.from, "again");
        rec.to = dst.filePath(refuseName ? "c.txt" : "d.txt");
        rec.refuseName = refuseName;
        rec.refuseCreated = !refuseName;
        EXPECT_FALSE(moveFileNoReplace(rec.from, rec.to, &rec).ok);
        EXPECT_EQ(readFile(rec.from), "again");
        EXPECT_EQ(QDir(dst.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"b.txt"});
    }
}
