#include "MessageFixture.h"
#include "QtPrinters.h"
#include "core/base/Trap.h"
#include "core/engine/Normalise.h"

#include <QRandomGenerator>

using namespace tav;

namespace {
// The initial forbidden-character table of the settings.
QList<ForbiddenRow> initialTable() {
    return {
        {QStringLiteral("éèêë"), QStringLiteral("e")},       {QStringLiteral("àâ"), QStringLiteral("a")},
        {QStringLiteral("ç"), QStringLiteral("c")},          {QStringLiteral("ïì"), QStringLiteral("i")},
        {QStringLiteral("ùû"), QStringLiteral("u")},         {QStringLiteral("ô"), QStringLiteral("o")},
        {QStringLiteral("/:?\"<>|\\"), QStringLiteral("_")},
    };
}
} // namespace

TEST(WholeNumber, ReadsDecimalsAndRoundsHalfToEven) {
    struct Case {
        const char *text;
        std::int64_t value;
    } cases[] = {{"12", 12},
                 {"-4", -4},
                 {"+7", 7},
                 {"2.6", 3},
                 {"2.5", 2},
                 {"3.5", 4},
                 {"-2.5", -2},
                 {"-2.51", -3},
                 {".5", 0},
                 {"1.5", 2},
                 {"0.50001", 1},
                 {"7.", 7},
                 {" 42 ", 42},
                 {"-0.4", 0},
                 {"2.4999999999999999999", 2},
                 {"9223372036854775807", std::numeric_limits<std::int64_t>::max()},
                 {"-9223372036854775808", std::numeric_limits<std::int64_t>::min()}};
    for (const Case &c : cases) {
        const WholeNumber n = readWholeNumber(QString::fromUtf8(c.text));
        EXPECT_TRUE(n.isNumber) << c.text;
        EXPECT_TRUE(n.fits64) << c.text;
        EXPECT_EQ(n.value, c.value) << c.text;
    }
    for (const char *text : {"", " ", "abc", "1a", "1.2.3", "--1", "+", ".", "1e3", "1,5", "#", "- 1", "٣"})
        EXPECT_FALSE(readWholeNumber(QString::fromUtf8(text)).isNumber) << text;

    const WholeNumber huge = readWholeNumber(QStringLiteral("99999999999999999999.5"));
    EXPECT_TRUE(huge.isNumber);
    EXPECT_FALSE(huge.fits64);
    EXPECT_EQ(huge.digits, u"100000000000000000000");
}

TEST(Normalise, TrimAndFirstCharacters) {
    EXPECT_EQ(upperFirstChar(trimSpaces(QStringLiteral("  photo 1"))), u"Photo 1");
    EXPECT_EQ(trimSpaces(QStringLiteral("\t a b \n")), u"\t a b \n");
    EXPECT_EQ(trimSpaces(QStringLiteral("   ")), u"");
    EXPECT_EQ(upperFirstChar(QString()), u"");
    EXPECT_EQ(upperFirstChar(QStringLiteral("éTÉ")), u"ÉTÉ");
    EXPECT_EQ(upperFirstChar(QStringLiteral("aBC")), u"ABC");
    // A letter outside the basic plane is upper-cased whole, never cut in half.
    EXPECT_EQ(upperFirstChar(QStringLiteral("𐐨x")), u"𐐀x");

    EXPECT_EQ(upperFirstCharOfEachWord(QStringLiteral("mon  beau voyage ")), u"Mon  Beau Voyage ");
    EXPECT_EQ(upperFirstCharOfEachWord(QStringLiteral(" été")), u" Été");
    EXPECT_EQ(upperFirstCharOfEachWord(QStringLiteral("l'été-là x.JPG")), u"L'été-là X.JPG");
}

TEST(Normalise, ExtensionAndCase) {
    EXPECT_EQ(applyExtensionAndCase(QStringLiteral("IMG_001"), QStringLiteral("jpg"), CaseOption::Upper),
              u"IMG_001.JPG");
    EXPECT_EQ(applyExtensionAndCase(QStringLiteral("IMG_001"), QString(), CaseOption::Upper), u"IMG_001");
    EXPECT_EQ(applyExtensionAndCase(QStringLiteral("Été À"), QStringLiteral("JPG"), CaseOption::Lower), u"été à.jpg");
    EXPECT_EQ(applyExtensionAndCase(QStringLiteral("Été"), QStringLiteral("Jpg"), CaseOption::Preserve), u"Été.Jpg");
}

TEST(Normalise, ForbiddenCharactersAreExactAndOrdered) {
    EXPECT_EQ(replaceForbiddenChars(QStringLiteral("Été à la plage.jpg"), initialTable()), u"Éte a la plage.jpg");
    EXPECT_EQ(replaceForbiddenChars(QStringLiteral("07/03/2015 09:05:00"), initialTable()), u"07_03_2015 09_05_00");

    // Later rows act on what earlier rows put in; empty and long replacements.
    const QList<ForbiddenRow> chain{{QStringLiteral("a"), QStringLiteral("bb")},
                                    {QStringLiteral("b"), QStringLiteral("c")},
                                    {QStringLiteral("x"), QString()}};
    EXPECT_EQ(replaceForbiddenChars(QStringLiteral("axb"), chain), u"ccc");
    EXPECT_EQ(replaceForbiddenChars(QStringLiteral("zzz"), chain), u"zzz");

    // A character outside the basic plane is replaced whole; its halves never match.
    const QList<ForbiddenRow> emoji{{QStringLiteral("😀"), QStringLiteral("_")}};
    EXPECT_EQ(replaceForbiddenChars(QStringLiteral("a😀b😁"), emoji), u"a_b😁");

    // The prepared form gives the same results name after name.
    const ForbiddenCharReplacer prepared(initialTable());
    EXPECT_EQ(prepared.apply(QStringLiteral("ça?")), u"ca_");
    EXPECT_EQ(prepared.apply(QStringLiteral("plain")), u"plain");
    EXPECT_EQ(ForbiddenCharReplacer().apply(QStringLiteral("a:b")), u"a:b");
}

TEST(Normalise, ForbiddenCharactersInOnePassAsRowAfterRow) {
    // The table applied as written: each character of each row, in order,
    // replaced wherever it stands in the name as it is by then.
    const auto stepByStep = [](QString name, const QList<ForbiddenRow> &table) {
        for (const ForbiddenRow &row : table)
            for (QChar c : row.chars)
                name.replace(c, row.replacement);
        return name;
    };
    const QList<QList<ForbiddenRow>> tables{
        initialTable(),
        {{QStringLiteral("ab"), QStringLiteral("ba")},
         {QStringLiteral("b"), QStringLiteral("xa")},
         {QStringLiteral("a"), QString()},
         {QStringLiteral("é"), QStringLiteral("e\u0301")},
         {QStringLiteral("\u0301"), QStringLiteral("?")},
         {QStringLiteral("?"), QStringLiteral("😀")}},
    };
    const QString alphabet = QStringLiteral("abxé?e\u0301😀 É/:");
    QRandomGenerator rng(7);
    for (const QList<ForbiddenRow> &table : tables) {
        const ForbiddenCharReplacer prepared(table);
        for (int i = 0; i < 500; ++i) {
            QString name;
            for (int k = rng.bounded(8); k > 0; --k)
                name += alphabet[rng.bounded(int(alphabet.size()))];
            ASSERT_EQ(prepared.apply(name), stepByStep(name, table)) << name.toStdString();
        }
    }
}

TEST(IdenticalNamesTable, NumbersRepeatsIgnoringCase) {
    IdenticalNames t;
    EXPECT_EQ(t.number(QStringLiteral("holiday.jpg")), u"holiday.jpg");
    EXPECT_EQ(t.number(QStringLiteral("holiday.jpg")), u"holiday_1.jpg");
    EXPECT_EQ(t.number(QStringLiteral("holiday.jpg")), u"holiday_2.jpg");
    EXPECT_EQ(t.number(QStringLiteral("HOLIDAY.JPG")), u"HOLIDAY_3.JPG");
    EXPECT_EQ(t.number(QStringLiteral("readme")), u"readme");
    EXPECT_EQ(t.number(QStringLiteral("readme")), u"readme_1");
    EXPECT_EQ(t.number(QStringLiteral("archive.tar.gz")), u"archive.tar.gz");
    EXPECT_EQ(t.number(QStringLiteral("archive.tar.gz")), u"archive.tar_1.gz");
    // The numbered name itself is not remembered.
    EXPECT_EQ(t.number(QStringLiteral("holiday_1.jpg")), u"holiday_1.jpg");
    // An empty name is numbered from its first occurrence.
    EXPECT_EQ(t.number(QString()), u"_1");
    // Folder levels: only the last level is numbered.
    EXPECT_EQ(t.number(QStringLiteral("2015.05\\holiday")), u"2015.05\\holiday");
    EXPECT_EQ(t.number(QStringLiteral("2015.05\\holiday")), u"2015.05\\holiday_1");

    t.reset();
    EXPECT_EQ(t.size(), 1);
    EXPECT_EQ(t.number(QStringLiteral("holiday.jpg")), u"holiday.jpg");
    EXPECT_EQ(t.number(QString()), u"_1");
}

TEST(IdenticalNamesTable, AccentsComposedOrNotAreOneName) {
    const QString nfc = QString::fromUtf8("caf\xc3\xa9.jpg"), nfd = QString::fromUtf8("cafe\xcc\x81.jpg");
    EXPECT_EQ(composeNfc(nfd), nfc);
    EXPECT_EQ(composeNfc(QStringLiteral("IMG_0001.JPG")), u"IMG_0001.JPG");
    IdenticalNames t;
    EXPECT_EQ(t.number(nfc), nfc);
    EXPECT_EQ(t.number(nfd), QString::fromUtf8("cafe\xcc\x81_1.jpg"));
}

TEST(IdenticalNamesTable, SameResultsAsTheLinearTable) {
    // The ordered list with a linear scan, as a reference.
    struct Entry {
        QString name;
        int count;
    };
    QList<Entry> linear{{QString(), 0}};
    const auto reference = [&](const QString &name) {
        const QString upper = name.normalized(QString::NormalizationForm_C).toUpper();
        for (Entry &e : linear) {
            if (e.name == upper) {
                ++e.count;
                const qsizetype dot = name.lastIndexOf(u'.');
                return (dot < 0 ? name : name.left(dot)) + u'_' + QString::number(e.count) +
                       (dot < 0 || dot == name.size() - 1 ? QString() : u'.' + name.mid(dot + 1));
            }
        }
        linear.append({upper, 0});
        return name;
    };

    IdenticalNames t;
    QRandomGenerator rng(12345);
    // Latin-1 letters are upper-cased one by one, others through the full
    // mapping: "ß", "ÿ", "µ", "ſ" and the Kelvin sign have capitals elsewhere.
    const QStringList stems{QStringLiteral("a"), QStringLiteral("A"),       QStringLiteral("é"),
                            QStringLiteral("É"), QStringLiteral("b.c"),     QString(),
                            QStringLiteral("ß"), QStringLiteral("SS"),      QStringLiteral("ÿ"),
                            QStringLiteral("Ÿ"), QStringLiteral("µ"),       QStringLiteral("Μ"),
                            QStringLiteral("ſ"), QStringLiteral("s"),       QStringLiteral("\u212a"),
                            QStringLiteral("k"), QStringLiteral("e\u0301"), QStringLiteral("÷×ªº")};
    const QStringList exts{QStringLiteral(".jpg"), QStringLiteral(".JPG"), QString(), QStringLiteral(".")};
    for (int i = 0; i < 2000; ++i) {
        const QString name = stems[rng.bounded(int(stems.size()))] + stems[rng.bounded(int(stems.size()))] +
                             exts[rng.bounded(int(exts.size()))];
        // What peek foresees is what number gives.
        const QString foreseen = t.peek(name), numbered = t.number(name);
        ASSERT_EQ(numbered, reference(name)) << i << ' ' << name.toStdString();
        ASSERT_EQ(foreseen, numbered) << i << ' ' << name.toStdString();
    }
    // Every character up to the combining marks, alone: the same name as
    // another exactly when their capitals are the same.
    for (char16_t c = 0x20; c < 0x300; ++c) {
        const QString name(QChar{c});
        ASSERT_EQ(t.number(name), reference(name)) << int(c);
    }
    EXPECT_EQ(t.size(), linear.size());
}

TEST_F(MessageFixture, StartFieldOnLeaving) {
    CounterFieldCheck c = txtDebutLeave(QStringLiteral(" # "), 1);
    EXPECT_EQ(c.text, u" # ");
    EXPECT_TRUE(c.store);
    EXPECT_EQ(c.value, ContinueModeStart);
    EXPECT_TRUE(c.recompute);

    c = txtDebutLeave(QStringLiteral("12.5"), 1);
    EXPECT_TRUE(c.store);
    EXPECT_EQ(c.value, 12);
    EXPECT_TRUE(c.recompute);

    // An unchanged value does nothing.
    c = txtDebutLeave(QStringLiteral("12"), 12);
    EXPECT_FALSE(c.store);
    EXPECT_FALSE(c.recompute);
    EXPECT_TRUE(ui.asked.isEmpty());

    c = txtDebutLeave(QStringLiteral("abc"), 5);
    EXPECT_EQ(c.text, u"1");
    EXPECT_TRUE(c.store);
    EXPECT_EQ(c.value, 1);
    EXPECT_FALSE(c.recompute);
    expectOneBox(QStringLiteral("Not a number\r\n"), StyleExclamation, QStringLiteral("Title two"));
}

TEST_F(MessageFixture, CounterFieldLimits) {
    EXPECT_EQ(txtDebutLeave(QStringLiteral("-2147483648"), 1).value, std::numeric_limits<std::int32_t>::min());
    try {
        txtDebutLeave(QStringLiteral("2147483648"), 1);
        FAIL() << "no error";
    } catch (const TavError &e) {
        EXPECT_EQ(e.number(), ErrOverflow);
    }
    EXPECT_EQ(txtPasLeave(QStringLiteral("-32768"), 1).value, -32768);
    EXPECT_THROW(txtPasLeave(QStringLiteral("32768"), 1), TavError);
    EXPECT_THROW(txtPasLeave(QStringLiteral("99999999999999999999999"), 1), TavError);
    EXPECT_TRUE(ui.asked.isEmpty());
}

TEST_F(MessageFixture, StepAndPassFieldsOnLeaving) {
    // "#" is no step.
    CounterFieldCheck c = txtPasLeave(QStringLiteral("#"), 3);
    EXPECT_EQ(c.text, u"1");
    EXPECT_EQ(c.value, 1);
    EXPECT_FALSE(c.recompute);
    EXPECT_EQ(ui.asked.size(), 1);

    c = txtPasLeave(QStringLiteral("-5"), 3);
    EXPECT_TRUE(c.recompute);
    EXPECT_EQ(c.value, -5);

    c = txtNbPasseLeave(QStringLiteral("3"));
    EXPECT_EQ(c.text, u"3");
    EXPECT_EQ(c.value, 3);
    EXPECT_FALSE(c.recompute);
    EXPECT_EQ(ui.asked.size(), 1);

    for (const char *bad : {"two", "99999999999"}) {
        c = txtNbPasseLeave(QString::fromUtf8(bad));
        EXPECT_EQ(c.text, u"0") << bad;
        EXPECT_EQ(c.value, 0);
    }
    EXPECT_EQ(ui.asked.size(), 3);
    EXPECT_EQ(ui.asked.last().message, u"Not a number\r\n");
}
