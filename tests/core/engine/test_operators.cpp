#include "MessageFixture.h"
#include "QtPrinters.h"
#include "core/base/Trap.h"
#include "core/engine/Operators.h"

using namespace tav;

namespace {
QString repc(const QString &pattern, const QString &base) {
    return applyRepc(pattern, base);
}
QString repp(const QString &pattern, const QString &base) {
    const ReppResult r = applyRepp(pattern, base);
    EXPECT_FALSE(r.stop) << pattern.toStdString();
    return r.name;
}
} // namespace

TEST(FieldScan, RepcFieldsAndMode) {
    RepcFields f = scanRepcFields(QStringLiteral("$REPC/IMG/Photo$"));
    EXPECT_EQ(f.search, u"IMG");
    EXPECT_EQ(f.replacement, u"Photo");
    EXPECT_TRUE(f.mode.isEmpty());

    f = scanRepcFields(QStringLiteral("2015 $REPC/_/-/-1$"));
    EXPECT_EQ(f.search, u"_");
    EXPECT_EQ(f.replacement, u"-");
    EXPECT_EQ(f.mode, u"-1");
}

TEST(FieldScan, DoesNotStopAtTheFirstDollar) {
    // A later "$" with two "/" counted takes the replacement up to itself.
    RepcFields f = scanRepcFields(QStringLiteral("$REPC/a/b$x$"));
    EXPECT_EQ(f.search, u"a");
    EXPECT_EQ(f.replacement, u"b$x");

    // A later "/" opens one more field: the mode is read at the following "$".
    f = scanRepcFields(QStringLiteral("$REPC/a/b$c/-1$"));
    EXPECT_EQ(f.search, u"a");
    EXPECT_EQ(f.replacement, u"b$c");
    EXPECT_EQ(f.mode, u"-1");

    ReppFields p = scanReppFields(QStringLiteral("$REPP/2/5/1/X$Y$"));
    EXPECT_EQ(p.replacement, u"X$Y");
}

TEST(FieldScan, ReppDefaultsAndDirection) {
    ReppFields p = scanReppFields(QStringLiteral("$REPP"));
    EXPECT_EQ(p.a, u"1");
    EXPECT_EQ(p.b, u"1");
    EXPECT_FALSE(p.fromStart);
    EXPECT_TRUE(p.replacement.isEmpty());

    p = scanReppFields(QStringLiteral("$REPP/3//1/X$"));
    EXPECT_EQ(p.a, u"3");
    EXPECT_EQ(p.b, u"");
    EXPECT_TRUE(p.fromStart);
    // Only exactly "1" counts from the start.
    EXPECT_FALSE(scanReppFields(QStringLiteral("$REPP/3//01/X$")).fromStart);
    EXPECT_FALSE(scanReppFields(QStringLiteral("$REPP/3//-1/X$")).fromStart);
}

TEST(Repc, EveryMode) {
    const QString base = QStringLiteral("IMG_1234");
    EXPECT_EQ(repc(QStringLiteral("$REPC/IMG/Photo$"), base), u"Photo_1234");
    EXPECT_EQ(repc(QStringLiteral("$REPC/_/-/-1$"), base), u"-_1234");
    EXPECT_EQ(repc(QStringLiteral("$REPC/_/-/1$"), base), u"IMG_-");
    EXPECT_EQ(repc(QStringLiteral("$REPC/xyz/-/1$"), base), u"IMG_1234");
    // Every occurrence, case-sensitive.
    EXPECT_EQ(repc(QStringLiteral("$REPC/a/o$"), QStringLiteral("banana A")), u"bonono A");
    // The text around the operator is lost: the whole name is the result.
    EXPECT_EQ(repc(QStringLiteral("2026 $REPC/IMG/P$ ###"), base), u"P_1234");
    // A "#" in the replacement is left for the counter that follows.
    EXPECT_EQ(repc(QStringLiteral("$REPC/IMG/P##$"), base), u"P##_1234");
}

TEST(Repc, EmptySearchAndUnknownMode) {
    const QString base = QStringLiteral("abc");
    EXPECT_EQ(repc(QStringLiteral("$REPC//X$"), base), u"abc");
    EXPECT_EQ(repc(QStringLiteral("$REPC//X/-1$"), base), u"Xabc");
    EXPECT_EQ(repc(QStringLiteral("$REPC//X/1$"), base), u"X");
    // An unknown mode leaves the name as it was; so does a missing S in any mode.
    EXPECT_EQ(repc(QStringLiteral("$REPC/b/X/2$"), base), u"$REPC/b/X/2$");
    EXPECT_EQ(repc(QStringLiteral("$REPC/z/X/2$"), base), u"abc");
    // First occurrence decides for the modes.
    EXPECT_EQ(repc(QStringLiteral("$REPC/b/X/1$"), QStringLiteral("abcabc")), u"abX");
}

TEST(Repc, TextFoundWhereQtFindsIt) {
    // Short and long searched texts, at the start, at the end, overlapping
    // or cut off by the end of the name, from every position.
    const QStringList texts{
        "", "a", "aaa", "abcab", "xxabcabcabc", "$REPC/a/b$", "ab\U0001F600ab", "abcdefghijabcdefghij"};
    const QStringList searched{"a",     "ab",         "aa",         "abc",         "bca", "c",
                               "$REPC", "\U0001F600", "abcdefghij", "abcdefghijk", "z"};
    for (const QString &text : texts)
        for (const QString &what : searched)
            for (qsizetype from = -2; from <= text.size() + 1; ++from)
                EXPECT_EQ(findText(text, what, from), QStringView(text).indexOf(what, from))
                    << text.toStdString() << " / " << what.toStdString() << " from " << from;
}

TEST(Repp, BetweenBeforeAfterFromBothEnds) {
    const QString base = QStringLiteral("abcdefgh");
    EXPECT_EQ(repp(QStringLiteral("$REPP/2/5/1/X$"), base), u"abXefgh");
    EXPECT_EQ(repp(QStringLiteral("$REPP/2/5/-1/X$"), base), u"abcdXgh");
    EXPECT_EQ(repp(QStringLiteral("$REPP/5/2/1/X$"), base), u"abXefgh");
    EXPECT_EQ(repp(QStringLiteral("$REPP/5/2/-1/X$"), base), u"abcdXgh");
    EXPECT_EQ(repp(QStringLiteral("$REPP/3//1/X$"), base), u"Xcdefgh");
    EXPECT_EQ(repp(QStringLiteral("$REPP//3/1/X$"), base), u"abcX");
    EXPECT_EQ(repp(QStringLiteral("$REPP/3//-1/X$"), base), u"Xfgh");
    EXPECT_EQ(repp(QStringLiteral("$REPP//3/-1/X$"), base), u"abcdefX");
    // A non-number counts as absent; decimals round half to even.
    EXPECT_EQ(repp(QStringLiteral("$REPP/2.5/abc/1/X$"), base), u"Xbcdefgh");
    EXPECT_EQ(repp(QStringLiteral("$REPP/2.6/abc/1/X$"), base), u"Xcdefgh");
}

TEST(Repp, PositionsBeyondTheName) {
    const QString base = QStringLiteral("abc");
    // Between, from the end, with B beyond the length: R then the tail.
    EXPECT_EQ(repp(QStringLiteral("$REPP/1/9/-1/X$"), base), u"Xc");
    EXPECT_EQ(repp(QStringLiteral("$REPP/2/9/-1/X$"), base), u"Xbc");
    EXPECT_EQ(repp(QStringLiteral("$REPP/2/9/1/X$"), base), u"abX");
    EXPECT_EQ(repp(QStringLiteral("$REPP/9//-1/X$"), base), u"Xabc");
    EXPECT_EQ(repp(QStringLiteral("$REPP/9//1/X$"), base), u"X");
    EXPECT_EQ(repp(QStringLiteral("$REPP//9/-1/X$"), base), u"X");
    EXPECT_EQ(repp(QStringLiteral("$REPP//0/1/X$"), base), u"X");
    EXPECT_EQ(repp(QStringLiteral("$REPP/-3//1/X$"), base), u"Xabc");
    EXPECT_EQ(repp(QStringLiteral("$REPP/2/5/1/X$"), QString()), u"X");
}

TEST_F(MessageFixture, ReppWithoutUsablePositionAsksOnceAndStops) {
    const ReppResult r = applyRepp(QStringLiteral("$REPP/a/b/1/X$"), QStringLiteral("abcdef"));
    EXPECT_TRUE(r.stop);
    EXPECT_TRUE(r.name.isEmpty());
    expectOneBox(QStringLiteral("No position"), StyleExclamation, QStringLiteral("Title two"));

    ui.asked.clear();
    EXPECT_TRUE(applyRepp(QStringLiteral("$REPP///1/X$"), QStringLiteral("abc")).stop);
    EXPECT_EQ(ui.asked.size(), 1);
}

TEST_F(MessageFixture, PositionBeyond16BitsIsAnOverflowForTheCallersTrap) {
    try {
        applyRepp(QStringLiteral("$REPP/2/40000/1/X$"), QStringLiteral("abc"));
        FAIL() << "no error";
    } catch (const TavError &e) {
        EXPECT_EQ(e.number(), ErrOverflow);
    }
    EXPECT_THROW(readPosition(QStringLiteral("-32769")), TavError);
    EXPECT_THROW(readPosition(QStringLiteral("99999999999999999999999")), TavError);
    EXPECT_EQ(readPosition(QStringLiteral("32767")), std::optional<std::int16_t>(32767));
    EXPECT_EQ(readPosition(QStringLiteral("-32768")), std::optional<std::int16_t>(-32768));
    // 32767.5 rounds to the even 32768, which no longer fits.
    EXPECT_THROW(readPosition(QStringLiteral("32767.5")), TavError);
    EXPECT_TRUE(ui.asked.isEmpty());
}

TEST(Builders, RepPosText) {
    const QStringList fields{QStringLiteral("2"), QStringLiteral("5"), QStringLiteral("3"), QStringLiteral("4")};
    EXPECT_EQ(cmdRepPosText(0, fields, 0, QStringLiteral("X")), u"$REPP/2/5/1/X$");
    EXPECT_EQ(cmdRepPosText(1, fields, 1, QStringLiteral("X")), u"$REPP/3//-1/X$");
    EXPECT_EQ(cmdRepPosText(2, fields, 0, QString()), u"$REPP//4/1/$");
    // What the builder writes is what the operator reads back.
    EXPECT_EQ(repp(cmdRepPosText(1, fields, 0, QStringLiteral("X")), QStringLiteral("abcdefgh")), u"Xcdefgh");
    EXPECT_EQ(repp(cmdRepPosText(2, fields, 1, QStringLiteral("X")), QStringLiteral("abcdefgh")), u"abcdeX");
}

TEST_F(MessageFixture, RepStrTextAndEmptySearch) {
    EXPECT_EQ(cmdRepStrText(QStringLiteral("IMG"), QStringLiteral("Photo"), 0), QStringLiteral("$REPC/IMG/Photo$"));
    EXPECT_EQ(cmdRepStrText(QStringLiteral("_"), QString(), 1), QStringLiteral("$REPC/_//-1$"));
    EXPECT_EQ(cmdRepStrText(QStringLiteral("_"), QStringLiteral("-"), 2), QStringLiteral("$REPC/_/-/1$"));
    EXPECT_TRUE(ui.asked.isEmpty());

    EXPECT_FALSE(cmdRepStrText(QString(), QStringLiteral("x"), 0).has_value());
    expectOneBox(QStringLiteral("Search text missing"), StyleInformation, QStringLiteral("Message"));
}

TEST(Builders, PositionFieldOnLeaving) {
    EXPECT_EQ(txtRepPosLeaveText(QStringLiteral("2.6")), u"3");
    EXPECT_EQ(txtRepPosLeaveText(QStringLiteral("2.5")), u"2");
    EXPECT_EQ(txtRepPosLeaveText(QStringLiteral("3.5")), u"4");
    EXPECT_EQ(txtRepPosLeaveText(QStringLiteral(" 007 ")), u"7");
    EXPECT_EQ(txtRepPosLeaveText(QStringLiteral("-4")), u"1");
    EXPECT_EQ(txtRepPosLeaveText(QStringLiteral("0.4")), u"1");
    EXPECT_EQ(txtRepPosLeaveText(QStringLiteral("abc")), u"1");
    EXPECT_EQ(txtRepPosLeaveText(QString()), u"1");
    EXPECT_EQ(txtRepPosLeaveText(QStringLiteral("32767")), u"32767");
    EXPECT_EQ(txtRepPosLeaveText(QStringLiteral("40000")), u"32767");
    EXPECT_EQ(txtRepPosLeaveText(QStringLiteral("123456789012345678901234.5")), u"32767");
    // The largest position acts as any position beyond the name would.
    EXPECT_EQ(repp(QStringLiteral("$REPP//32767/-1/X$"), QStringLiteral("abc")), u"X");
    EXPECT_EQ(repp(QStringLiteral("$REPP/2/32767/1/X$"), QStringLiteral("abc")), u"abX");
}
