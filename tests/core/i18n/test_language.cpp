#include "QtPrinters.h"
#include "TestGuard.h"
#include "core/app/MainController.h"
#include "core/base/IniFile.h"
#include "core/base/Trap.h"
#include "core/i18n/Language.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tav;

namespace {

class LanguageTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    tav::test::TestGuard guard;

    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        QDir(dir.path()).mkpath(QStringLiteral("langages"));
        guard.programFolder(dir.path());
    }

    void writeFile(const QString &fileName, const QByteArray &bytes) {
        QFile f(dir.filePath(QStringLiteral("langages/") + fileName));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }
    void useLanguage(const QByteArray &bytes) {
        writeFile(QStringLiteral("test.lng"), bytes);
        guard.language(QStringLiteral("Test"));
    }
};

} // namespace

TEST_F(LanguageTest, ValueConventionsApplyToStoredValuesAndDefaults) {
    useLanguage("[S]\n"
                "two=first|second\n"
                "lead=_indented\n"
                "trail=colon:_\n"
                "both=_x_\n"
                "one=_\n");
    EXPECT_EQ(i18n::getText("S", "two"), QStringLiteral("first\r\nsecond"));
    EXPECT_EQ(i18n::getText("S", "lead"), QStringLiteral(" indented"));
    EXPECT_EQ(i18n::getText("S", "trail"), QStringLiteral("colon: "));
    EXPECT_EQ(i18n::getText("S", "both"), QStringLiteral(" x "));
    EXPECT_EQ(i18n::getText("S", "one"), QStringLiteral(" "));
    // Look-up is case-insensitive; a missing key gives the default, converted too.
    EXPECT_EQ(i18n::getText("s", "TWO"), QStringLiteral("first\r\nsecond"));
    EXPECT_EQ(i18n::getText("S", "absent", "_a|b %s", "p"), QStringLiteral(" a\r\nb p"));
}

TEST_F(LanguageTest, PlaceholdersAreFilledInOrder) {
    EXPECT_EQ(i18n::applyValueConventions("%s files in %s folders", "12", "3"), "12 files in 3 folders");
    EXPECT_EQ(i18n::applyValueConventions("only %s", "a", "b"), "only a");
    EXPECT_EQ(i18n::applyValueConventions("none", "a", "b"), "none");
    EXPECT_EQ(i18n::applyValueConventions("%s%s%s", "a", "b"), "ab%s");
    EXPECT_EQ(i18n::applyValueConventions("missing %s and %s"), "missing  and ");
    // A parameter holding "%s" (a rule, a file name) is shown as it is, and the
    // second parameter still goes to the text's own second placeholder.
    EXPECT_EQ(i18n::applyValueConventions("forget %s? (%s)", "IMG_%s", "x"), "forget IMG_%s? (x)");
    EXPECT_EQ(i18n::applyValueConventions("%s", "|_%s_|", "x"), "|_%s_|");
}

TEST_F(LanguageTest, MessagesWithoutPlaceholderAreReadOncePerLanguage) {
    useLanguage("[MSG]\nm1=Message\nm19=%s file(s)\n");
    EXPECT_EQ(i18n::Message(1), "Message");
    EXPECT_EQ(i18n::Message(19, "4"), "4 file(s)");

    // The file changes under the running program.
    writeFile(QStringLiteral("test.lng"), "[MSG]\nm1=Changed message\nm19=%s files in the list\n");
    EXPECT_EQ(i18n::Message(1), "Message") << "a text without %s comes from the cache";
    EXPECT_EQ(i18n::Message(19, "5"), "5 files in the list") << "a text with %s is read at every call";

    i18n::discardMessageCache();
    EXPECT_EQ(i18n::Message(1), "Changed message");
}

TEST_F(LanguageTest, ChangingLanguageUsesTheOtherFileAndEmptiesTheCache) {
    writeFile(QStringLiteral("francais.lng"), "[LANGUAGE]\nlanguage=Français\n[MSG]\nm2=Attention\n");
    writeFile(QStringLiteral("eire.lng"), "[LANGUAGE]\nlanguage=Éire\n[MSG]\nm2=Aire\n");
    i18n::setLanguage(QStringLiteral("Français"));
    EXPECT_EQ(i18n::languageFileName(), "francais");
    EXPECT_EQ(i18n::Message(2), "Attention");
    i18n::setLanguage(QStringLiteral("Éire"));
    EXPECT_EQ(i18n::languageFileName(), "eire");
    EXPECT_EQ(i18n::languageName(), QStringLiteral("Éire"));
    EXPECT_EQ(i18n::Message(2), QStringLiteral("Aire"));
    EXPECT_EQ(i18n::availableLanguages(), QStringList({QStringLiteral("Éire"), QStringLiteral("Français")}));
}

TEST_F(LanguageTest, FileNamesAreTheDisplayNamesWithoutAnyAccent) {
    const QList<std::pair<QString, QString>> cases = {
        {QStringLiteral("Français"), QStringLiteral("francais")},
        {QStringLiteral("Español"), QStringLiteral("espanol")},
        {QStringLiteral("Deutsch"), QStringLiteral("deutsch")},
        {QStringLiteral("Português"), QStringLiteral("portugues")},
        {QStringLiteral("Čeština"), QStringLiteral("cestina")},
        {QStringLiteral("Ελληνικά"), QStringLiteral("ελληνικα")},
    };
    for (const auto &[name, file] : cases)
        EXPECT_EQ(i18n::fileNameForLanguage(name), file) << qPrintable(name);
}

TEST_F(LanguageTest, MissingFileOrKeyGivesDefaultsAndEmptyMessages) {
    i18n::setLanguage(QStringLiteral("Nowhere"));
    EXPECT_EQ(i18n::Message(5, "1.2.3", "host"), QString());
    EXPECT_EQ(i18n::getText("frmMain", "cmdAdd.Caption", "Ajouter"), "Ajouter");
    EXPECT_EQ(i18n::Message(100), QString());
    EXPECT_EQ(i18n::Message(0), QString());

    // Numbers outside the 101 slots are errors for the caller's trap.
    try {
        i18n::Message(101);
        FAIL() << "message 101 must throw";
    } catch (const TavError &e) {
        EXPECT_EQ(e.number(), ErrSubscript);
    }
    EXPECT_THROW(i18n::Message(-1), TavError);
}

TEST_F(LanguageTest, LongValuesAreCutAndJunkFilesNeverFail) {
    useLanguage("[MSG]\nm3=" + QByteArray(450, 'x') + "\n");
    EXPECT_EQ(i18n::Message(3).size(), 399);

    // Windows-1252 bytes (not valid UTF-8) are still read.
    useLanguage("[MSG]\nm4=Fran\xe7"
                "ais d\xe9j\xe0\n");
    EXPECT_EQ(i18n::Message(4), QStringLiteral("Français déjà"));

    QByteArray junk;
    for (int i = 0; i < 5000; ++i)
        junk.append(char((i * 37) % 256));
    useLanguage(junk + "\nm1=no section\n" + QByteArray(100000, '=') + "\n");
    EXPECT_EQ(i18n::Message(1), QString());
    EXPECT_EQ(i18n::getText("MSG", "m1", "def"), "def");
}

// The delivered language files hold every message the program asks for, with
// the placeholders its callers pass.
TEST(LanguageFiles, FrenchAndEnglishHoldEveryMessageWithItsPlaceholders) {
    tav::test::TestGuard guard;
    guard.sourceProgramFolder();
    const QList<int> used = {1,  2,  3,  4,  5,  6,  7,  12, 13, 14, 15, 16, 18, 19, 20, 21, 22, 24, 25, 26, 27, 28,
                             29, 30, 31, 32, 33, 34, 37, 38, 39, 40, 41, 42, 43, 44, 45, 46, 47, 48, 50, 51, 52, 53,
                             54, 55, 56, 57, 59, 60, 61, 62, 63, 64, 65, 66, 67, 68, 69, 70, 71, 72, 73, 74, 75, 76,
                             77, 78, 79, 80, 81, 82, 83, 84, 85, 88, 89, 90, 91, 92, 93, 95, 96, 97, 99};
    const QMap<int, int> placeholders = {{5, 2},  {18, 1}, {19, 1}, {21, 1}, {31, 1}, {32, 2},
                                         {33, 2}, {52, 1}, {59, 2}, {77, 1}, {88, 1}, {96, 1}};
    const QRegularExpression size(QStringLiteral("\\((\\d+)x(\\d+)\\)"));
    for (const QString &language : {QStringLiteral("Français"), QStringLiteral("English")}) {
        i18n::setLanguage(language);
        ASSERT_TRUE(QFile::exists(i18n::languageFilePath())) << qPrintable(language);
        EXPECT_EQ(i18n::getText("LANGUAGE", "language"), language);
        for (int n : used) {
            const QString raw = i18n::getText("MSG", QStringLiteral("m%1").arg(n), QString(), "%s", "%s");
            EXPECT_FALSE(raw.trimmed().isEmpty()) << qPrintable(language) << " message " << n;
            EXPECT_EQ(raw.count(QStringLiteral("%s")), placeholders.value(n, 0))
                << qPrintable(language) << " message " << n;
        }
        for (int n : {46, 47, 48})
            EXPECT_TRUE(size.match(i18n::Message(n)).hasMatch()) << qPrintable(language) << " thumbnail size " << n;
    }
}

namespace {

// What a translation must keep of the English text: its placeholders, its
// line breaks, its "_" ends, and the token a token label inserts (the caption
// up to " :").
QString shapeOf(const QString &section, const QString &key, const QString &value) {
    QString shape = QStringLiteral("%1 %s, %2 |").arg(value.count(QStringLiteral("%s"))).arg(value.count(u'|'));
    if (value.startsWith(u'_'))
        shape += QStringLiteral(", _ first");
    if (value.endsWith(u'_'))
        shape += QStringLiteral(", _ last");
    if (section == QLatin1String("frmMain") && key.startsWith(QLatin1String("Label8(")) &&
        key.endsWith(QLatin1String(".Caption")) && value.contains(QLatin1String(" :")))
        shape += QStringLiteral(", token ") + MainController::tokenOfCaption(value);
    return shape;
}

} // namespace

// Every language file has exactly the sections and keys of english.lng, each
// text shaped like the English one and short enough to be read whole. The
// files are found, not listed: a key added to english.lng alone fails here,
// and the message lists what each language lacks.
TEST(LanguageFiles, EveryLanguageHasEveryEnglishKeyShapedLikeTheEnglishText) {
    const QDir dir(QStringLiteral(TAV_SOURCE_DIR "/langages"));
    const IniFile english(dir.filePath(QStringLiteral("english.lng")));
    ASSERT_FALSE(english.sections().isEmpty());
    const QStringList files = dir.entryList({QStringLiteral("*.lng")}, QDir::Files, QDir::Name);
    EXPECT_GE(files.size(), 5) << files.join(' ').toStdString();
    for (const QString &file : files) {
        const IniFile other(dir.filePath(file));
        QStringList missing, stray, misshapen, tooLong;
        for (const QString &section : english.sections())
            for (const QString &key : english.keys(section)) {
                const QString where = QStringLiteral("[%1] %2").arg(section, key);
                const QString text = english.read(section, key);
                if (!other.contains(section, key) || (other.read(section, key).isEmpty() && !text.isEmpty())) {
                    missing << where + QStringLiteral("=") + text;
                    continue;
                }
                const QString value = other.read(section, key, QString(), 100000);
                if (value.size() >= 400)
                    tooLong << where;
                const QString want = shapeOf(section, key, text), got = shapeOf(section, key, value);
                if (got != want)
                    misshapen << QStringLiteral("%1: %2 instead of %3").arg(where, got, want);
            }
        for (const QString &section : other.sections())
            for (const QString &key : other.keys(section))
                if (!english.contains(section, key))
                    stray << QStringLiteral("[%1] %2").arg(section, key);
        const std::string name = file.toStdString();
        EXPECT_TRUE(missing.isEmpty()) << name << " lacks " << missing.size() << " text(s) of english.lng:\n  "
                                       << missing.join(QStringLiteral("\n  ")).toStdString();
        EXPECT_TRUE(stray.isEmpty()) << name << " has keys english.lng has not:\n  "
                                     << stray.join(QStringLiteral("\n  ")).toStdString();
        EXPECT_TRUE(misshapen.isEmpty()) << name << " texts shaped unlike English:\n  "
                                         << misshapen.join(QStringLiteral("\n  ")).toStdString();
        EXPECT_TRUE(tooLong.isEmpty()) << name << " texts cut at 399 characters:\n  "
                                       << tooLong.join(QStringLiteral("\n  ")).toStdString();
    }
}

// Each file is listed by its display name, and that name leads back to the
// file: the options dialog offers and picks every language. Each has its
// no-image picture.
TEST(LanguageFiles, EveryDisplayNameLeadsBackToItsFile) {
    tav::test::TestGuard guard;
    guard.sourceProgramFolder();
    const QDir dir(QStringLiteral(TAV_SOURCE_DIR "/langages"));
    QStringList names;
    for (const QString &file : dir.entryList({QStringLiteral("*.lng")}, QDir::Files, QDir::Name)) {
        const QString name = IniFile(dir.filePath(file)).read(QStringLiteral("LANGUAGE"), QStringLiteral("language"));
        names << name;
        i18n::setLanguage(name);
        EXPECT_EQ(i18n::languageFilePath(), dir.filePath(file)) << qPrintable(name);
        EXPECT_EQ(i18n::getText(QStringLiteral("LANGUAGE"), QStringLiteral("language")), name);
        // The preview's picture for a file it cannot show, in that language.
        EXPECT_TRUE(QFileInfo::exists(dir.filePath(QFileInfo(file).completeBaseName() + "/non_image.gif")))
            << qPrintable(file);
    }
    EXPECT_EQ(i18n::availableLanguages(), names);
    for (const char *name : {"Deutsch", "English", "Español", "Français", "Italiano"})
        EXPECT_TRUE(names.contains(QString::fromUtf8(name))) << name;
}
