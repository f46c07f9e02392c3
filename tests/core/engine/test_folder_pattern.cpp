#include "EngineFixture.h"

#include "TestGuard.h"
#include "core/base/IniFile.h"
#include "core/engine/NewNamePath.h"
#include "core/engine/Validation.h"

using namespace tav;

namespace {
MetadataRecord shotOn(const QString &year, const QString &month) {
    MetadataRecord r;
    r[MetadataRecord::Year] = year;
    r[MetadataRecord::Month] = month;
    return r;
}
} // namespace

TEST_F(EngineFixture, FolderPatternSortsFilesByShotYearAndMonth) {
    FakeMetadata meta;
    engine.setMetadataSource(&meta);
    const QString a = make("a.jpg"), b = make("b.jpg"), c = make("c.jpg");
    meta.records[a] = shotOn("2015", "7");
    meta.records[b] = shotOn("2016", "12");

    pattern("$MKDIR$$dA$\\$dM$\\IMG_##");
    EXPECT_TRUE(validatePattern(engine.rule().Regle));
    EXPECT_TRUE(ui.asked.isEmpty()); // an even "$" count: no notice

    add({a, b, c});
    // c has no shot date: its empty levels are dropped, it stays in its folder.
    EXPECT_EQ(newNames(), (QStringList{"2015\\07\\IMG_01.jpg", "2016\\12\\IMG_02.jpg", "IMG_03.jpg"}));
    const FileEntry &first = engine.model()->entry(0);
    EXPECT_TRUE(first.makesFolders);
    EXPECT_TRUE(first.nameProblem.isEmpty());
    EXPECT_EQ(destinationPath(first), dir.path() + "/2015/07/IMG_01.jpg");
    EXPECT_EQ(destinationFolder(first.folder, first.newName, true), dir.path() + "/2015/07");
    EXPECT_FALSE(engine.model()->entry(2).makesFolders);
    EXPECT_EQ(destinationPath(engine.model()->entry(2)), dir.path() + "/IMG_03.jpg");

    // The short form of the marker reads the same.
    pattern("$MKDIR$dA$\\*");
    EXPECT_EQ(nameOf(a), QStringLiteral("2015\\a.jpg"));
}

TEST_F(EngineFixture, FolderPatternAbsoluteRelativeAndValuesHoldingSeparators) {
    const QString odd = make("a\\b.jpg"); // "\" is an ordinary character in a name here
    QString root = dir.path();
    root.replace('/', '\\');

    pattern("$MKDIR$" + root + "\\sorted\\*");
    EXPECT_EQ(nameOf(odd), root + "\\sorted\\a_b.jpg");
    EXPECT_EQ(destinationPath(engine.model()->entry(0)), dir.path() + "/sorted/a_b.jpg");

    // The forbidden table (which turns "\" into "_") does not break the levels,
    // and a "\" from a value never makes a level, also with the table off.
    engine.options().forbidden.clear();
    pattern("$MKDIR$..\\up\\*");
    EXPECT_EQ(nameOf(odd), QStringLiteral("..\\up\\a_b.jpg"));
    EXPECT_EQ(destinationPath(engine.model()->entry(0)), QFileInfo(dir.path()).path() + "/up/a_b.jpg");

    // Identical names are numbered in their last level only.
    pattern("$MKDIR$v1.2\\same");
    engine.update_names();
    add({make("x.jpg")});
    EXPECT_EQ(newNames(), (QStringList{"v1.2\\same.jpg", "v1.2\\same_1.jpg"}));

    // Without the marker a value's "\" is an ordinary character.
    pattern("*");
    EXPECT_EQ(nameOf(odd), QStringLiteral("a\\b.jpg"));
    EXPECT_FALSE(engine.model()->entry(0).makesFolders);
    EXPECT_EQ(destinationPath(engine.model()->entry(0)), dir.path() + "/a\\b.jpg");
}

TEST(NewNamePath, ProblemsOfEachLevel) {
    EXPECT_TRUE(newNameProblem("photo.jpg", false).isEmpty());
    EXPECT_TRUE(newNameProblem("a\\b", false).isEmpty());
    for (const QString &bad : {QString(), QStringLiteral("."), QStringLiteral(".."), QStringLiteral("a/b"),
                               QStringLiteral("a") + QChar(0) + QStringLiteral("b"), QString(256, 'x')})
        EXPECT_FALSE(newNameProblem(bad, false).isEmpty()) << bad.toStdString();
    EXPECT_TRUE(newNameProblem(QString(255, 'x'), false).isEmpty());

    EXPECT_TRUE(newNameProblem("..\\2015\\a.jpg", true).isEmpty());
    EXPECT_TRUE(newNameProblem("\\abs\\a.jpg", true).isEmpty());
    EXPECT_FALSE(newNameProblem("2015\\..", true).isEmpty());
    EXPECT_FALSE(newNameProblem("2015\\", true).isEmpty());
    EXPECT_FALSE(newNameProblem(QString(256, 'y') + "\\a.jpg", true).isEmpty());
    EXPECT_FALSE(newNameProblem("a/b\\c.jpg", true).isEmpty());
}

TEST_F(EngineFixture, FolderLevelsFromValuesNeverClimb) {
    FakeMetadata meta;
    engine.setMetadataSource(&meta);
    const QString a = make("a.jpg");
    MetadataRecord r;
    r[MetadataRecord::Comment] = "..";
    r[MetadataRecord::CameraModel] = "..";
    meta.records[a] = r;

    // A comment or a camera model of ".." is a name, not a climb: one level, then two.
    pattern("$MKDIR$$C$\\*");
    EXPECT_EQ(nameOf(a), QStringLiteral("_\\a.jpg"));
    EXPECT_EQ(destinationPath(engine.model()->entry(0)), dir.path() + "/_/a.jpg");
    pattern("$MKDIR$$C$\\$K$\\*");
    EXPECT_EQ(nameOf(a), QStringLiteral("_\\_\\a.jpg"));
    EXPECT_EQ(destinationPath(engine.model()->entry(0)), dir.path() + "/_/_/a.jpg");

    // A value that completes the pattern's text into ".." or makes "." is renamed too.
    meta.records[a][MetadataRecord::Comment] = ".";
    pattern("$MKDIR$.$C$\\x\\$C$\\*");
    EXPECT_EQ(nameOf(a), QStringLiteral("_\\x\\_\\a.jpg"));

    // The old name "...jpg" gives the base name "..".
    const QString dots = make("...jpg");
    pattern("$MKDIR$*\\*");
    EXPECT_EQ(nameOf(dots), QStringLiteral("_\\...jpg"));
    EXPECT_EQ(destinationFolder(dir.path(), engine.model()->entry(0).newName, true), dir.path() + "/_");

    // The last level too: an extensionless file named by a ".." value.
    const QString bare = make("bare");
    meta.records[bare][MetadataRecord::Comment] = "..";
    pattern("$MKDIR$x\\$C$");
    EXPECT_EQ(nameOf(bare), QStringLiteral("x\\_"));

    // The pattern's own dot levels still climb or stay, next to a value's.
    meta.records[a][MetadataRecord::Comment] = "..";
    pattern("$MKDIR$..\\.\\$C$\\*");
    EXPECT_EQ(nameOf(a), QStringLiteral("..\\.\\_\\a.jpg"));
    EXPECT_EQ(destinationPath(engine.model()->entry(0)), QFileInfo(dir.path()).path() + "/_/a.jpg");
}

TEST_F(EngineFixture, ContinueModeOfAFolderPatternReadsTheDestinationFolder) {
    make("sub/IMG_005.jpg");
    make("sub/IMG_002.jpg");
    make("IMG_009.jpg"); // the file's own folder is not where it goes
    const QString a = make("a.jpg");
    engine.setTxtDebut(QStringLiteral("#"));

    pattern("$MKDIR$sub\\IMG_###");
    EXPECT_EQ(nameOf(a), QStringLiteral("sub\\IMG_006.jpg"));

    // The same folder written absolutely, and through the pattern's own "..".
    QString root = dir.path();
    root.replace('/', '\\');
    pattern("$MKDIR$" + root + "\\sub\\IMG_###");
    EXPECT_EQ(nameOf(a), root + "\\sub\\IMG_006.jpg");
    const QString deeper = make("deep/b.jpg");
    pattern("$MKDIR$..\\sub\\IMG_###");
    EXPECT_EQ(nameOf(deeper), QStringLiteral("..\\sub\\IMG_006.jpg"));

    // A folder that does not exist yet starts at the step; "\" of a value
    // stays an ordinary character of the compared name.
    pattern("$MKDIR$new\\IMG_###");
    EXPECT_EQ(nameOf(a), QStringLiteral("new\\IMG_001.jpg"));
    make("sub/a_b-004.jpg");
    const QString odd = make("a\\b.jpg");
    engine.options().forbidden.clear();
    pattern("$MKDIR$sub\\*-###");
    EXPECT_EQ(nameOf(odd), QStringLiteral("sub\\a_b-005.jpg"));
}

TEST(NewNamePath, LengthsInBytesAndTheFirstProblemFound) {
    const QString slash = newNameProblem("a/b", false), nul = newNameProblem(QStringLiteral("a") + QChar(0), false),
                  tooLong = newNameProblem(QString(256, 'x'), false);
    const QString e = QStringLiteral("é"), euro = QStringLiteral("€"), smile = QStringLiteral("\U0001F600");
    struct Case {
        QString name;
        const QString &problem;
    } cases[] = {
        {e.repeated(127) + "x", QString()}, // 255 bytes in UTF-8
        {e.repeated(128), tooLong},
        {euro.repeated(85), QString()},
        {euro.repeated(86), tooLong},
        {smile.repeated(63) + "abc", QString()},
        {smile.repeated(64), tooLong},
        {e + "/x", slash},
        {QString(300, 'x') + "/", slash}, // the "/" before the length
        {e + QChar(0), nul},
        {"abc/defg", slash}, // within the first four characters
        {QStringLiteral("abcdefg") + QChar(0) + "h", nul},
        {QStringLiteral("0123") + QChar(0x7F) + "5678", QString()},
        {".x", QString()},
        {"x.", QString()},
    };
    for (const Case &c : cases)
        EXPECT_EQ(newNameProblem(c.name, false), c.problem) << c.name.toStdString();
}

TEST(NewNamePath, EveryReasonIsInBothLanguageFiles) {
    tav::test::TestGuard guard;
    guard.sourceProgramFolder();
    const QStringList bad = {QString(), QStringLiteral(".."), QStringLiteral("a/b"), QStringLiteral("a") + QChar(0),
                             QString(256, 'x')};
    for (const char *file : {"francais", "english"}) {
        const IniFile ini(QStringLiteral(TAV_SOURCE_DIR "/langages/%1.lng").arg(QLatin1String(file)));
        QStringList fromFile;
        for (const QString &key : nameProblemKeys()) {
            EXPECT_FALSE(ini.read(nameProblemSection(), key).isEmpty()) << file << " lacks " << key.toStdString();
            fromFile << ini.read(nameProblemSection(), key);
        }
        // Every reason the code gives comes from one of those keys, not from its built-in text.
        guard.language(QString::fromLatin1(file));
        QStringList given;
        for (const QString &name : bad)
            given << newNameProblem(name, false);
        given << newNameProblem(QStringList(20, QString(250, 'z')).join(QLatin1Char('\\')), true);
        for (const QString &reason : given)
            EXPECT_TRUE(fromFile.contains(reason)) << file << ": " << reason.toStdString();
        EXPECT_EQ(QSet<QString>(given.begin(), given.end()).size(), given.size());
    }
}
