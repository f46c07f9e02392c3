#include "QtPrinters.h"
#include "core/base/IniFile.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>

using namespace tav;

namespace {

QString writeBytes(const QTemporaryDir &dir, const QByteArray &bytes, const QString &name = QStringLiteral("t.ini")) {
    const QString path = dir.filePath(name);
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(bytes);
    return path;
}

QByteArray fileBytes(const QString &path) {
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

const QByteArray kSample = "; settings of the test\n"
                           "[General]\n"
                           "General_Filtre = *.jpg   \n"
                           "general_filtre=second\n"
                           "Empty=\n"
                           "; a comment = not a key\n"
                           "\n"
                           "[Option]\r\n"
                           "Option_A=1\r\n"
                           "\r\n"
                           "[GENERAL]\n"
                           "General_Filtre=third\n"
                           "Late=found\n";

} // namespace

TEST(IniFile, LooksUpLikeTheProfileOperations) {
    QTemporaryDir dir;
    IniFile ini(writeBytes(dir, kSample));
    // Case-insensitive section and key, trimmed value, first match wins even
    // over a later duplicate key or a duplicate section.
    EXPECT_EQ(ini.read("general", "GENERAL_FILTRE"), "*.jpg");
    EXPECT_EQ(ini.read(" General ", "General_Filtre"), "*.jpg");
    // A key only present in the duplicate section is still found.
    EXPECT_EQ(ini.read("General", "Late"), "found");
    EXPECT_EQ(ini.read("Option", "Option_A"), "1");
    // Present but empty is empty, not the default; absent gives the default.
    EXPECT_EQ(ini.read("General", "Empty", "def"), "");
    EXPECT_TRUE(ini.contains("General", "Empty"));
    EXPECT_EQ(ini.read("General", "Missing", "def"), "def");
    EXPECT_EQ(ini.read("Nowhere", "General_Filtre", "def"), "def");
    // Comments are not keys.
    EXPECT_FALSE(ini.contains("General", "; a comment"));
    EXPECT_EQ(ini.sections(), QStringList({"General", "Option"}));
    EXPECT_EQ(ini.keys("GENERAL"), QStringList({"General_Filtre", "Empty", "Late"}));
}

TEST(IniFile, CutsValuesToTheBufferSize) {
    QTemporaryDir dir;
    const QString long600 = QString(600, QChar(u'x'));
    IniFile ini(writeBytes(dir, "[S]\nk=" + long600.toUtf8() + "\nz=ab" + QByteArray(1, '\0') + "cd\n"));
    EXPECT_EQ(ini.read("S", "k").size(), 511);
    EXPECT_EQ(ini.read("S", "k", {}, 400).size(), 399);
    EXPECT_EQ(ini.read("S", "none", long600).size(), 511); // the default goes through the buffer too
    EXPECT_EQ(ini.read("S", "k", {}, 1), "");
    EXPECT_EQ(ini.read("S", "k", {}, 0), "");
    EXPECT_EQ(ini.read("S", "z"), "ab"); // a NUL ends the value
}

TEST(IniFile, WritingAndRemovingKeepEverythingElse) {
    QTemporaryDir dir;
    const QString path = writeBytes(dir, kSample);
    IniFile ini(path);
    ini.write("GENERAL", "general_FILTRE", "*.png");            // replaces the first copy, keeps its spelling
    ini.write("general", "New", "  padded  ");                  // after the section's last key
    ini.write("Option", "Multi", "a\r\nb\nc");                  // cannot span lines
    ini.write("Langage", "Langage_LangueUtilisee", "Français"); // new section at the end
    ini.remove("general", "late");
    ini.remove("General", "general_filtre"); // every copy, so no duplicate resurfaces
    ini.write("General", "General_Filtre", "back");
    ASSERT_TRUE(ini.save());

    EXPECT_EQ(fileBytes(path), QByteArray("; settings of the test\n"
                                          "[General]\n"
                                          "Empty=\n"
                                          "New=  padded  \n"
                                          "General_Filtre=back\n"
                                          "; a comment = not a key\n"
                                          "\n"
                                          "[Option]\n"
                                          "Option_A=1\n"
                                          "Multi=a b c\n"
                                          "\n"
                                          "[GENERAL]\n"
                                          "\n"
                                          "[Langage]\n"
                                          "Langage_LangueUtilisee=Français\n"));
    IniFile again(path);
    EXPECT_EQ(again.read("general", "new"), "padded");
    EXPECT_EQ(again.read("Langage", "Langage_LangueUtilisee"), QString::fromUtf8("Français"));
    EXPECT_FALSE(again.contains("General", "Late"));
}

TEST(IniFile, StartsFromNothingAndCreatesTheFolder) {
    QTemporaryDir dir;
    const QString path = dir.filePath("Travoline/Travoline.ini");
    IniFile ini;
    EXPECT_TRUE(ini.load(path)); // missing file: empty document, no error
    EXPECT_TRUE(ini.sections().isEmpty());
    ini.write("General", "a", "1");
    ini.write("Option", "b", "2");
    ASSERT_TRUE(ini.save());
    EXPECT_EQ(fileBytes(path), QByteArray("[General]\na=1\n\n[Option]\nb=2\n"));
}

TEST(IniFile, DecodesUtf8Windows1252AndByteOrderMarks) {
    QTemporaryDir dir;
    // Valid UTF-8 stays UTF-8.
    EXPECT_EQ(IniFile(writeBytes(dir, "[S]\nk=Fran\xC3\xA7"
                                      "ais\n"))
                  .read("S", "k"),
              QString::fromUtf8("Français"));
    // Bytes that are not UTF-8 are Windows-1252, including the 0x80..0x9F block.
    IniFile legacy(writeBytes(dir, "[S]\nk=Fran\xE7"
                                   "ais \x80 \x93x\x94\n"));
    EXPECT_EQ(legacy.read("S", "k"), QString::fromUtf8("Français € “x”"));
    // Saved back as UTF-8.
    legacy.write("S", "other", "1");
    ASSERT_TRUE(legacy.save());
    EXPECT_TRUE(fileBytes(legacy.path())
                    .contains("Fran\xC3\xA7"
                              "ais \xE2\x82\xAC"));
    // Byte-order marks.
    EXPECT_EQ(IniFile(writeBytes(dir, "\xEF\xBB\xBF[S]\nk=v\n")).read("S", "k"), "v");
    EXPECT_EQ(IniFile::decode(QByteArray("\xFF\xFE[\0S\0]\0", 8)), "[S]");
}

TEST(IniFile, SurvivesJunkLongLinesAndOddStructure) {
    QTemporaryDir dir;
    QByteArray junk;
    quint32 x = 12345;
    for (int i = 0; i < 200000; ++i) {
        x = x * 1103515245u + 12345u;
        junk.append(char(x >> 24));
    }
    IniFile j(writeBytes(dir, junk + "\n[S]\nk=v\n"));
    EXPECT_EQ(j.read("S", "k"), "v");

    const QByteArray longLine(5 * 1024 * 1024, 'a');
    IniFile l(writeBytes(dir, "[S]\nk=" + longLine + "\nn=1\n"));
    EXPECT_EQ(l.read("S", "k").size(), 511);
    EXPECT_EQ(l.read("S", "n"), "1");

    // Keys before any section belong to no section; an unclosed header still
    // names a section; "=" with no key is no key.
    IniFile odd(writeBytes(dir, "k=orphan\n[Open\nk=v\n=x\n[]\nk=empty\n"));
    EXPECT_EQ(odd.read("", "k", "def"), "empty");
    EXPECT_EQ(odd.read("Open", "k"), "v");
    EXPECT_EQ(odd.keys("Open"), QStringList({"k"}));
}

TEST(IniFile, ReportsUnreadableFiles) {
    QTemporaryDir dir;
    IniFile ini;
    EXPECT_FALSE(ini.load(dir.path())); // a folder is no file
    EXPECT_FALSE(ini.lastError().isEmpty());
}

TEST(IniFile, FailedSaveLeavesTheOldFileIntact) {
    QTemporaryDir dir;
    const QByteArray old = "[S]\nk=old\n";
    const QString path = writeBytes(dir, old);
    IniFile ini(path);
    ini.write("S", "k", "new");
    ini.write("S", "big", QString(100000, QChar(u'b')));

    // A file-size limit makes the write fail the way a full disk does.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 4096;
    setrlimit(RLIMIT_FSIZE, &small);
    QString error;
    const bool ok = ini.save(&error);
    setrlimit(RLIMIT_FSIZE, &saved);

    EXPECT_FALSE(ok);
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(fileBytes(path), old);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList({"t.ini"})); // no temporary left behind

    // A folder that cannot be created.
    writeBytes(dir, "x", "plainfile");
    EXPECT_FALSE(ini.saveAs(dir.filePath("plainfile/sub/t.ini"), &error));
    EXPECT_FALSE(error.isEmpty());
}
