#include "core/browse/FolderListing.h"

#include "QtPrinters.h"
#include "TestGuard.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace tav::shell;

namespace {

void writeFile(const QString &path, qint64 size) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    if (size > 0) {
        ASSERT_TRUE(f.resize(size));
    }
}

QStringList names(const FolderListing &listing, const std::vector<int> &order) {
    QStringList out;
    for (int i : order)
        out << listing.items[size_t(i)].name;
    return out;
}

const FolderItem *find(const FolderListing &listing, const QString &name) {
    for (const FolderItem &item : listing.items)
        if (item.name == name)
            return &item;
    return nullptr;
}

TEST(FolderTexts, SizeInKoRoundedUpWithLocaleGrouping) {
    const QLocale c(QLocale::English, QLocale::UnitedStates);
    EXPECT_EQ(sizeText(0, c), "0 Ko");
    EXPECT_EQ(sizeText(1, c), "1 Ko");
    EXPECT_EQ(sizeText(1024, c), "1 Ko");
    EXPECT_EQ(sizeText(1025, c), "2 Ko");
    EXPECT_EQ(sizeText(2048, c), "2 Ko");
    EXPECT_EQ(sizeText(Q_INT64_C(4294967296), c), "4,194,304 Ko");
    // Past 32 bits and past 2^53 the arithmetic stays exact.
    EXPECT_EQ(sizeText(Q_INT64_C(4294967297), c), "4,194,305 Ko");
    EXPECT_EQ(sizeText(Q_INT64_C(9007199254740993), c), "8,796,093,022,209 Ko");

    const QLocale fr(QLocale::French, QLocale::France);
    QString text = sizeText(Q_INT64_C(4294967296), fr);
    text.replace(fr.groupSeparator(), QStringLiteral(" "));
    EXPECT_EQ(text, "4 194 304 Ko");

    // The unit is the interface language's.
    tav::test::TestGuard guard;
    guard.sourceProgramFolder().language(QStringLiteral("English"));
    EXPECT_EQ(sizeText(2048, c), "2 KB");
}

TEST(FolderTexts, DateIsShortLocaleFormatWithoutSeconds) {
    const QDateTime when(QDate(2024, 3, 7), QTime(14, 5, 59));
    const QLocale fr(QLocale::French, QLocale::France);
    EXPECT_EQ(dateText(when.toMSecsSinceEpoch(), fr), "07/03/2024 14:05");
    const QLocale de(QLocale::German, QLocale::Germany);
    EXPECT_EQ(dateText(when.toMSecsSinceEpoch(), de), "07.03.24 14:05");
    const QLocale us(QLocale::English, QLocale::UnitedStates);
    const QString usText = dateText(when.toMSecsSinceEpoch(), us);
    EXPECT_TRUE(usText.startsWith("3/7/24 2:05")) << usText.toStdString();
    EXPECT_FALSE(usText.contains(":59"));
    EXPECT_EQ(dateText(0, fr), "");
}

TEST(FolderPattern, WildcardRules) {
    EXPECT_TRUE(wildcardMatch("PHOTO.JPG", "*.JPG"));
    EXPECT_FALSE(wildcardMatch("PHOTO.JPEG", "*.JPG"));
    EXPECT_TRUE(wildcardMatch("A1.TXT", "A?.TXT"));
    EXPECT_FALSE(wildcardMatch("A.TXT", "A?.TXT"));
    EXPECT_TRUE(wildcardMatch("IMG_0042", "IMG_####"));
    EXPECT_FALSE(wildcardMatch("IMG_004X", "IMG_####"));
    EXPECT_TRUE(wildcardMatch("B.TXT", "[ABC].TXT"));
    EXPECT_FALSE(wildcardMatch("D.TXT", "[ABC].TXT"));
    EXPECT_TRUE(wildcardMatch("D.TXT", "[!ABC].TXT"));
    EXPECT_FALSE(wildcardMatch("A.TXT", "[!ABC].TXT"));
    EXPECT_TRUE(wildcardMatch("K.TXT", "[A-M].TXT"));
    EXPECT_FALSE(wildcardMatch("X.TXT", "[A-M].TXT"));
    // An unclosed bracket is an ordinary character.
    EXPECT_TRUE(wildcardMatch("[A", "[A"));
    // Several stars, with backtracking over a partial match.
    EXPECT_TRUE(wildcardMatch("ABCABCABD", "*AB*ABD"));
    EXPECT_FALSE(wildcardMatch("ABCABCABE", "*AB*ABD"));
    // A long run of stars against a long name finishes at once.
    EXPECT_FALSE(wildcardMatch(QString(5000, u'A'), QString(50, u'*') + "B"));
}

TEST(FolderPattern, SeveralPatternsCaseInsensitiveAndEverything) {
    EXPECT_TRUE(matchesPattern("photo.JPG", "*.jpg"));
    EXPECT_TRUE(matchesPattern("clip.mov", "*.jpg *.mov"));
    EXPECT_FALSE(matchesPattern("notes.txt", "*.jpg *.mov"));
    EXPECT_TRUE(matchesPattern("été.txt", "ÉTÉ.*"));
    // "*.*" is every file, also one without a dot; so is an empty pattern.
    EXPECT_TRUE(matchesPattern("README", "*.*"));
    EXPECT_TRUE(matchesPattern("README", ""));
    EXPECT_FALSE(matchesPattern("README", "*.?*"));
}

TEST(FolderListingTest, ListsFilesWithDetailsAndLeavesFoldersOut) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    writeFile(dir.filePath("a.jpg"), 1025);
    writeFile(dir.filePath("b.txt"), 0);
    writeFile(dir.filePath(".hidden"), 3);
    writeFile(dir.filePath("noext"), 1);
    ASSERT_TRUE(QDir(dir.path()).mkdir("sub.jpg"));
    ASSERT_EQ(chmod(QFile::encodeName(dir.filePath("b.txt")).constData(), 0444), 0);

    FolderListing listing = listFolder(dir.path(), "*.*", false);
    EXPECT_TRUE(listing.exists);
    EXPECT_EQ(names(listing, naturalOrder(listing)), QStringList({".hidden", "a.jpg", "b.txt", "noext"}));

    const FolderItem *a = find(listing, "a.jpg");
    ASSERT_TRUE(a);
    EXPECT_EQ(a->size, 1025);
    EXPECT_EQ(a->path, dir.path() + "/a.jpg");
    EXPECT_GT(a->modified, 0);
    EXPECT_FALSE(listing.types[size_t(a->typeIndex)].name.isEmpty());
    EXPECT_EQ(attributeText(*a), "");
    if (geteuid() != 0) {
        EXPECT_EQ(attributeText(*find(listing, "b.txt")), "R");
    }
    EXPECT_EQ(attributeText(*find(listing, ".hidden")), "H");

    // Folders never appear when they are not asked for, whatever the pattern.
    listing = listFolder(dir.path(), "*.jpg", false);
    EXPECT_EQ(names(listing, naturalOrder(listing)), QStringList({"a.jpg"}));
    // Asked for, they come first and the pattern does not filter them.
    listing = listFolder(dir.path(), "*.txt", true);
    EXPECT_EQ(names(listing, naturalOrder(listing)), QStringList({"sub.jpg", "b.txt"}));
    EXPECT_TRUE(find(listing, "sub.jpg")->isDir);
}

TEST(FolderListingTest, BadInputIsShownOrSkippedNeverFatal) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QByteArray base = QFile::encodeName(dir.path());
    // A name that is not valid UTF-8 is skipped and counted.
    {
        ASSERT_TRUE(QFile(dir.filePath("ok.txt")).open(QIODevice::WriteOnly));
        const QByteArray badName = base + "/bad\xff\xfe.txt";
        FILE *f = fopen(badName.constData(), "w");
        ASSERT_TRUE(f);
        fclose(f);
    }
    // Links: a looping one, a dangling one, one to a folder.
    ASSERT_EQ(symlink("loop", (base + "/loop").constData()), 0);
    ASSERT_EQ(symlink("nowhere", (base + "/dangling").constData()), 0);
    ASSERT_TRUE(QDir(dir.path()).mkdir("real"));
    ASSERT_EQ(symlink("real", (base + "/tofolder").constData()), 0);
    // A sparse file above 4 GiB.
    writeFile(dir.filePath("big.bin"), Q_INT64_C(5) * 1024 * 1024 * 1024);

    FolderListing listing = listFolder(dir.path(), "*", false);
    EXPECT_EQ(listing.skipped, 1);
    EXPECT_EQ(listing.undecodable, 1);
    EXPECT_EQ(names(listing, naturalOrder(listing)), QStringList({"big.bin", "dangling", "loop", "ok.txt"}));
    EXPECT_EQ(find(listing, "big.bin")->size, Q_INT64_C(5) * 1024 * 1024 * 1024);
    EXPECT_TRUE(find(listing, "loop")->isLink);
    EXPECT_EQ(find(listing, "dangling")->size, 0);

    EXPECT_EQ(listSubfolders(dir.path()), QStringList({"real", "tofolder"}));

    // A folder that does not exist or cannot be read gives an empty listing.
    listing = listFolder(dir.filePath("gone"), "*", false);
    EXPECT_FALSE(listing.exists);
    EXPECT_NE(listing.errorCode, 0);
    EXPECT_TRUE(listing.items.empty());
    bool ok = true;
    EXPECT_TRUE(listSubfolders(dir.filePath("gone"), &ok).isEmpty());
    EXPECT_FALSE(ok);
}

TEST(FolderSort, EachColumnComparesItsOwnWayBothDirections) {
    FolderListing listing;
    auto add = [&](const QString &name, qint64 size, qint64 modified) {
        FolderItem item;
        item.name = name;
        item.size = size;
        item.modified = modified;
        item.created = -modified;
        listing.items.push_back(item);
    };
    add("b", 10 * 1024, 3000);
    add("A", 2 * 1024, 1000);
    add("c", 2 * 1024, 200000);
    add("a", 999 * 1024, 2000);

    // Numbers, not texts: 2 Ko before 10 Ko before 999 Ko; ties by name.
    EXPECT_EQ(names(listing, sortedOrder(listing, Column::Size, false)), QStringList({"A", "c", "b", "a"}));
    EXPECT_EQ(names(listing, sortedOrder(listing, Column::Size, true)), QStringList({"a", "b", "c", "A"}));
    // Dates as date-times (200000 is later than 3000 though shorter as text).
    EXPECT_EQ(names(listing, sortedOrder(listing, Column::Modified, false)), QStringList({"A", "a", "b", "c"}));
    EXPECT_EQ(names(listing, sortedOrder(listing, Column::Modified, true)), QStringList({"c", "b", "a", "A"}));
    EXPECT_EQ(names(listing, sortedOrder(listing, Column::Created, false)), QStringList({"c", "b", "a", "A"}));
    // Names without regard to case, then exactly.
    EXPECT_EQ(names(listing, sortedOrder(listing, Column::Name, false)), QStringList({"A", "a", "b", "c"}));
    EXPECT_EQ(names(listing, sortedOrder(listing, Column::Name, true)), QStringList({"c", "b", "a", "A"}));

    EXPECT_EQ(columnFromKey(columnKey(Column::Modified)), int(Column::Modified));
    EXPECT_EQ(columnFromKey("nonsense"), -1);
}

} // namespace
