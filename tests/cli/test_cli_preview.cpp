// The command line run as a real process on files in a temporary folder.

#include "QtPrinters.h"
#include "TestGuard.h"
#include "core/engine/Validation.h"
#include "core/i18n/Language.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct CliResult {
    int status = -1;
    QString out, err;
};

class CliPreview : public ::testing::Test {
protected:
    QTemporaryDir home, files;
    tav::test::TestGuard guard;

    void SetUp() override {
        ASSERT_TRUE(home.isValid() && files.isValid());
        guard.language(QStringLiteral("Français"));
    }

    QString make(const QString &relative) {
        const QString path = files.filePath(relative);
        QDir().mkpath(QFileInfo(path).path());
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        return path;
    }

    CliResult run(const QStringList &args) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        // No settings file of the user running the tests may leak in.
        env.insert(QStringLiteral("HOME"), home.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(TAV_BUILD_BIN_DIR "/travoline-cli"), args);
        EXPECT_TRUE(p.waitForFinished(30000));
        CliResult r;
        r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.out = QString::fromUtf8(p.readAllStandardOutput());
        r.err = QString::fromUtf8(p.readAllStandardError());
        return r;
    }

    QString line(const QString &relative, const QString &newName) const {
        return files.filePath(relative) + QLatin1Char('\t') + newName;
    }
};

} // namespace

TEST_F(CliPreview, PrintsEveryFileInListOrderWithItsNewNameOrMarker) {
    make("b.jpg");
    make("a.jpg");
    make("c.txt");
    const QString z = make("sub/z.JPG");
    const CliResult r = run({"--rule", "photo_##", "--types", "JPG", z, files.path(), z});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.out.split('\n', Qt::SkipEmptyParts),
              (QStringList{line("sub/z.JPG", "photo_01.JPG"), line("a.jpg", "photo_02.jpg"),
                           line("b.jpg", "photo_03.jpg"), line("c.txt", tav::i18n::Message(97))}));
}

TEST_F(CliPreview, RuleOptionsReachTheEngine) {
    make("one.jpg");
    make("two.jpg");
    CliResult r = run({"--rule", "  nom #", "--start", "10", "--step", "5", "--case", "upper", "--trim", "1",
                       "--upper-words", "1", files.path()});
    EXPECT_EQ(r.out, line("one.jpg", "NOM 10.JPG") + "\n" + line("two.jpg", "NOM 15.JPG") + "\n");

    r = run({"--rule", "é", "--extension", "", "--forbidden", "0", "--number-identical", "0", files.path()});
    EXPECT_EQ(r.out, line("one.jpg", "é") + "\n" + line("two.jpg", "é") + "\n");

    r = run({"--rule=same", "--number-identical=1", files.path()});
    EXPECT_EQ(r.out, line("one.jpg", "same.jpg") + "\n" + line("two.jpg", "same_1.jpg") + "\n");

    make("IMG_041.jpg");
    r = run({"--rule", "IMG_###", "--start", "#", files.filePath("one.jpg")});
    EXPECT_EQ(r.out, line("one.jpg", "IMG_042.jpg") + "\n");
}

TEST_F(CliPreview, BadUsageExitsWithTwoAndOneLine) {
    make("a.jpg");
    const QString a = files.filePath("a.jpg");
    const QList<QStringList> bad = {
        {"--bogus", a},
        {"-x", a},
        {"--start", "abc", a},
        {"--start", "99999999999", a},
        {"--step", "40000", a},
        {"--case", "title", a},
        {"--trim", "2", a},
        {"--check=1"},
        {"--rule"},
        {files.filePath("missing.jpg")},
        {},
        {"--settings", files.filePath("none.ini"), a},
        {"--language", "Klingon", a},
    };
    for (const QStringList &args : bad) {
        const CliResult r = run(args);
        EXPECT_EQ(r.status, 2) << args.join(' ').toStdString();
        EXPECT_EQ(r.err.count('\n'), 1) << r.err.toStdString();
        EXPECT_TRUE(r.out.isEmpty());
    }
}

TEST_F(CliPreview, CheckPrintsWhatTheWindowWouldSay) {
    CliResult r = run({"--check", "--rule", "a:b"});
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.out.trimmed(), tav::i18n::Message(21, tav::forbiddenPatternChars()).replace("\r\n", "\n").trimmed());

    r = run({"--check", "--rule", "$REPC/a/b/c/d$"});
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.out.trimmed(), tav::i18n::Message(21, "/").replace("\r\n", "\n").trimmed());

    // An odd "$" count only informs.
    r = run({"--check", "--rule", "a$b"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.trimmed(), tav::i18n::Message(92).replace("\r\n", "\n").trimmed());

    r = run({"--check", "--rule", "$MKDIR$$A$\\*"});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.isEmpty());

    // The preview refuses the same patterns.
    make("a.jpg");
    r = run({"--rule", "a|b", files.filePath("a.jpg")});
    EXPECT_EQ(r.status, 3);
    EXPECT_TRUE(r.out.isEmpty());
}

TEST_F(CliPreview, SettingsFileGivesTheRuleAndLanguageAndIsNeverWritten) {
    make("a.jpg");
    make("Thumbs.db");
    const QString ini = home.filePath("mine.ini");
    {
        QFile f(ini);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[Langage]\nLangage_LangueUtilisee=English\n"
                "[RegleRenommage]\nRegleRenommage_Regle=saved_#\nRegleRenommage_DebutPas=7\n"
                "RegleRenommage_Extension=jpg\n");
    }
    const QByteArray before = [&] {
        QFile f(ini);
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }();
    const QDateTime mtime = QFileInfo(ini).lastModified();

    CliResult r = run({"--settings", ini, files.path()});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    tav::i18n::setLanguage(QStringLiteral("English"));
    // The built-in never-renamed list marks Thumbs.db, which follows a.jpg in
    // natural order (case ignored).
    EXPECT_EQ(r.out, line("a.jpg", "saved_7.jpg") + "\n" + line("Thumbs.db", tav::i18n::Message(91)) + "\n");

    r = run({"--settings", ini, "--rule", "x#", "--types", "*", "--language", "Français", files.filePath("a.jpg")});
    EXPECT_EQ(r.out, line("a.jpg", "x7.jpg") + "\n");

    QFile f(ini);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), before);
    EXPECT_EQ(QFileInfo(ini).lastModified(), mtime);
    EXPECT_FALSE(QFileInfo::exists(home.filePath("config/Travoline/Travoline.ini")));
}

TEST_F(CliPreview, AFolderIsNumberedInNaturalOrderUnlessTheSettingsSayPlain) {
    for (const char *name : {"file20", "file10", "File3", "file2", "file1"})
        make(QStringLiteral("folder/") + QLatin1String(name));
    const auto numbered = [&](const QStringList &extra) {
        QStringList names;
        const CliResult r = run(extra + QStringList{"--rule", "#_*", files.filePath("folder")});
        EXPECT_EQ(r.status, 0) << r.err.toStdString();
        for (const QString &l : r.out.split(u'\n', Qt::SkipEmptyParts))
            names << l.section(u'\t', 1);
        return names;
    };
    EXPECT_EQ(numbered({}), QStringList({"1_file1", "2_file2", "3_File3", "4_file10", "5_file20"}));

    // Switched off, or a settings file written before the option: plain order.
    const QStringList plain{"1_File3", "2_file1", "3_file10", "4_file2", "5_file20"};
    for (const QByteArray &ini :
         {QByteArray("[General]\nGeneral_VersionCourante=1.12.2\n[Option]\nOption_OrdreNaturel=0\n"),
          QByteArray("[General]\nGeneral_VersionCourante=1.12.2\n")}) {
        QFile f(home.filePath("old.ini"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(ini);
        f.close();
        EXPECT_EQ(numbered({"--settings", home.filePath("old.ini")}), plain) << ini.constData();
    }
}

TEST_F(CliPreview, RegexOperatorExamplesRefusalsAndLimits) {
    const struct {
        const char *rule, *file, *expected;
    } examples[] = {
        {"$REGEX/(\\d+)-(\\d+)/\\2-\\1$", "12-34.txt", "34-12.txt"},
        {"$REGEX/img_/photo-/i$", "IMG_001.jpg", "photo-001.jpg"},
        {"$REGEX/a/b$_#", "banana.txt", "bbnbnb_1.txt"},
    };
    for (const auto &e : examples) {
        const QString path = make(QString::fromUtf8(e.file));
        const CliResult r = run({"--rule", QString::fromUtf8(e.rule), path});
        EXPECT_EQ(r.status, 0) << e.rule << r.err.toStdString();
        EXPECT_EQ(r.out, line(QString::fromUtf8(e.file), QString::fromUtf8(e.expected)) + u'\n') << e.rule;
    }

    // A pattern that does not compile: its reason and where, and exit 3.
    CliResult r = run({"--check", "--language", "English", "--rule", "x$REGEX/[a-/b$"});
    EXPECT_EQ(r.status, 3);
    EXPECT_TRUE(r.out.startsWith("The regular expression is refused: missing terminating ] for character class "
                                 "(at character 12 of the renaming pattern)"))
        << r.out.toStdString();

    // One that backtracks without end: that file is told, the others named, exit 4.
    const QString bad = make(QString(40, u'a') + QStringLiteral("b.txt"));
    const QString good = make("aaa.txt");
    r = run({"--rule", "$REGEX/^(a+)+\\z/x$", bad, good});
    EXPECT_EQ(r.status, 4);
    EXPECT_TRUE(r.err.contains(bad + QStringLiteral(": "))) << r.err.toStdString();
    EXPECT_EQ(r.out, bad + QStringLiteral("\t\n") + good + QStringLiteral("\tx.txt\n"));
}

TEST_F(CliPreview, MonthNamesFollowTheInterfaceLanguage) {
    make("a.txt");
    const QString ini = home.filePath("months.ini");
    {
        QFile f(ini);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[Option]\nOption_FormatMois=3\n");
    }
    for (const auto &[language, locale] : {std::pair{"Français", "fr_FR"}, std::pair{"English", "en_GB"}}) {
        const CliResult r = run({"--settings", ini, "--rule", "$M$", "--forbidden", "0", "--language",
                                 QString::fromUtf8(language), files.filePath("a.txt")});
        EXPECT_EQ(r.status, 0) << r.err.toStdString();
        // This month, named in the language asked for.
        const QDate today = QDate::currentDate();
        const QString month = QLocale(QString::fromLatin1(locale)).toString(today, QStringLiteral("MMMM"));
        EXPECT_EQ(r.out, line("a.txt", month + QStringLiteral(".txt")) + "\n") << language;
    }
}
