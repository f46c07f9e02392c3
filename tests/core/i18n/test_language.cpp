#include "QtPrinters.h"
#include "TestGuard.h"
#include "core/base/Trap.h"
#include "core/i18n/Language.h"

#include <QDir>
#include <QFile>
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
