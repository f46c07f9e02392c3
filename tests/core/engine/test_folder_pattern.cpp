#include "EngineFixture.h"

#include "core/engine/NewNamePath.h"
#include "core/engine/Validation.h"

using namespace tav;

namespace {
MetadataRecord shotOn(const QString &year, const QString &month)
{
    MetadataRecord r;
    r[MetadataRecord::Year] = year;
    r[MetadataRecord::Month] = month;
    return r;
}
} // namespace

TEST_F(EngineFixture, FolderPatternSortsFilesByShotYearAndMonth)
{
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

TEST_F(EngineFixture, FolderPatternAbsoluteRelativeAndValuesHoldingSeparators)
{
    const QString odd = make("a\\b.jpg"); // "\" is an ordinary character in a name here
    QString root = dir.path();
    root.replace('/', '\\');

    pattern("$MKDIR$" + root + "\\sorted\\*");
    EXPECT_EQ(nameOf(odd), root + "\\sorted\\a_b.jpg");
    EXPECT_EQ(destinationPath(engine.model()->entry(0)), dir.path() + "/sorted/a_b.jpg");

    // The forbidden table (which turns "\" into "_") does not break the levels,
    // and a "\" from a value never makes a level, also with the table off.
    engine.setForbiddenTable({});
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

TEST(NewNamePath, ProblemsOfEachLevel)
{
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
