#include "EngineFixture.h"
#include "MessageFixture.h"
#include "core/engine/RegexOperator.h"
#include "core/engine/Validation.h"

#include <QElapsedTimer>

using namespace tav;

namespace {

struct NameCase {
    const char *rule;
    const char *file;
    const char *expected;
};

} // namespace

// The operator through the whole name computation, on real files.
TEST_F(EngineFixture, RegexOperatorMakesTheNameWhereItStands) {
    const NameCase cases[] = {
        {"$REGEX/(\\d+)-(\\d+)/\\2-\\1$", "12-34.txt", "34-12.txt"},
        {"$REGEX/img_/photo-/i$", "IMG_001.jpg", "photo-001.jpg"},
        {"$REGEX/a/b$_#", "banana.txt", "bbnbnb_1.txt"},
        // Tokens inside the fields are the expression's, not the rule's.
        {"$REGEX/.*/[\\0]$", "ab.txt", "[ab][].txt"},
        {"$REGEX/#(\\d)/n\\1$", "a#1.txt", "an1.txt"},
        // Escapes: a dollar sign in the pattern and the replacement, the end of the name.
        {"$REGEX/\\$/-$", "a$b.txt", "a-b.txt"},
        {"$REGEX/^/\\$$", "price.txt", "$price.txt"},
        {"$REGEX/\\d+\\z/N$", "x12y34.txt", "x12yN.txt"},
        // Unicode letters and case.
        {"$REGEX/\\w+/X$", "été-01.txt", "X-X.txt"},
        {"$REGEX/É/E/i$", "été.txt", "EtE.txt"},
        // Empty matches, a group that took no part, two operators and other tokens.
        {"$REGEX/x*/-$", "abc", "-a-b-c-"},
        {"$REGEX/(a)|b/[\\1]$", "ab.txt", "[a][].txt"},
        {"$REGEX/a/1$+$REGEX/b/2$", "ab.txt", "1b+a2.txt"},
        {"$P$ $REGEX/o/0$", "sub/foo.txt", "sub f00.txt"},
        {"$REGEX/z/y$", "abc.txt", "abc.txt"},
    };
    for (const NameCase &c : cases) {
        pattern(QString::fromUtf8(c.rule));
        EXPECT_EQ(nameOf(make(QString::fromUtf8(c.file))), QString::fromUtf8(c.expected)) << c.rule;
        EXPECT_TRUE(engine.model()->entry(0).nameProblem.isEmpty()) << c.rule;
    }
}

TEST_F(EngineFixture, RegexThatBacktracksWithoutEndStopsForThatFileOnly) {
    pattern("$REGEX/^(a+)+\\z/x$_#");
    const QString bad = make(QString(40, QLatin1Char('a')) + QStringLiteral("b.txt"));
    const QString good = make("aaa.txt");
    QStringList reported;
    QObject::connect(&engine, &RenameList::nameNotMade,
                     [&](const QString &path, const QString &reason) { reported << path + u'|' + reason; });
    QElapsedTimer timer;
    timer.start();
    add({bad, good});
    // Far below the years an unbounded match would take.
    EXPECT_LT(timer.elapsed(), 20000);
    ASSERT_EQ(engine.model()->count(), 2);
    EXPECT_EQ(engine.model()->entry(0).newName, QString());
    EXPECT_FALSE(engine.model()->entry(0).nameProblem.isEmpty());
    EXPECT_EQ(engine.model()->entry(1).newName, QStringLiteral("x_2.txt"));
    ASSERT_EQ(reported.size(), 1);
    EXPECT_TRUE(reported[0].startsWith(bad + u'|')) << reported[0].toStdString();
    EXPECT_TRUE(reported[0].contains(QStringLiteral("limit"))) << reported[0].toStdString();
}

using RegexCheck = MessageFixture;

TEST_F(RegexCheck, RefusedOperatorsSayWhy) {
    struct Refusal {
        const char *rule;
        const char *start; // the message's start
    };
    const Refusal refusals[] = {
        // The pattern does not compile: PCRE2's reason and where, counted in the rule.
        {"ab$REGEX/(\\d+/x$", "The regular expression is refused: missing closing parenthesis (at character 14 "},
        {"$REGEX/a{2,1}/x$", "The regular expression is refused: numbers out of order in {} quantifier (at "},
        // Not written as the operator.
        {"$REGEX/a$", "The $REGEX operator is written"},
        {"$REGEX//b$", "The $REGEX operator is written"},
        {"$REGEX/a/b/x$", "The $REGEX operator is written"},
        {"$REGEX/a/b/i/j$", "The $REGEX operator is written"},
        {"$REGEX/a/b", "The $REGEX operator is written"},
        // Beside the operators that rebuild the name or make folders.
        {"$MKDIR$$REGEX/a/b$", "$REGEX cannot be used together"},
        {"$REGEX/a/b$$REPC/a/b$", "$REGEX cannot be used together"},
        // What the replacement writes obeys the rule's character check.
        {"$REGEX/a/b:c$", "Forbidden: /:?\"<>|\\"},
        {"$REGEX/a/\\/$", "Forbidden: /"},
    };
    for (const Refusal &r : refusals) {
        ui.asked.clear();
        EXPECT_FALSE(validatePattern(QString::fromUtf8(r.rule))) << r.rule;
        ASSERT_EQ(ui.asked.size(), 1) << r.rule << ": " << ui.messages().join(u" | ").toStdString();
        EXPECT_TRUE(ui.asked[0].message.startsWith(QString::fromUtf8(r.start)))
            << r.rule << ": " << ui.asked[0].message.toStdString();
        EXPECT_EQ(ui.asked[0].title, QStringLiteral("Title two"));
    }
}

TEST_F(RegexCheck, WhatAPatternNeedsPassesSilently) {
    for (const char *rule : {"$REGEX/(\\d+)-(\\d+)/\\2-\\1$", "$REGEX/img_/photo-/i$", "$REGEX/a/b$_#",
                             "$REGEX/a|b?(?<x>c)*:\"<>/z$", "$REGEX/a\\/b\\$c/d\\$$", "$A$ $REGEX/\\s+/_$ #"}) {
        ui.asked.clear();
        EXPECT_TRUE(validatePattern(QString::fromUtf8(rule))) << rule;
        EXPECT_TRUE(ui.asked.isEmpty()) << rule << ": " << ui.messages().join(u" | ").toStdString();
    }
}

TEST(RegexBuilder, WritesFieldsWithTheirEscapesAndReadsThemBack) {
    struct BuilderCase {
        const char *pattern, *replacement;
        bool ignoreCase;
        const char *text;
    };
    const BuilderCase cases[] = {
        {"(\\d+)-(\\d+)", "\\2-\\1", false, "$REGEX/(\\d+)-(\\d+)/\\2-\\1$"},
        {"img_", "photo-", true, "$REGEX/img_/photo-/i$"},
        // "$" ends the name outside a class, is a dollar sign inside one and in the replacement.
        {"(\\d+)$", "x/y$", false, "$REGEX/(\\d+)\\z/x\\/y\\$$"},
        {"[$/]", "", false, "$REGEX/[\\$\\/]/$"},
        {"[]$]a/", "", false, "$REGEX/[]\\$]a\\//$"},
        {"[[:digit:]$]", "", false, "$REGEX/[[:digit:]\\$]/$"},
        {"\\$\\/", "\\$", false, "$REGEX/\\$\\//\\$$"},
    };
    for (const BuilderCase &c : cases) {
        const QString text =
            regexOperatorText(QString::fromUtf8(c.pattern), QString::fromUtf8(c.replacement), c.ignoreCase);
        EXPECT_EQ(text, QString::fromUtf8(c.text)) << c.pattern;
        const QList<RegexSpan> spans = findRegexOperators(text);
        ASSERT_EQ(spans.size(), 1) << c.text;
        EXPECT_TRUE(regexSpanWellFormed(spans[0])) << c.text;
        EXPECT_EQ(spans[0].end, text.size()) << c.text;
        const RegexFields back = regexFieldsOf(spans[0]);
        EXPECT_EQ(back.ignoreCase, c.ignoreCase);
        // Written again, the fields read back give the same operator.
        EXPECT_EQ(regexOperatorText(back.pattern, back.replacement, back.ignoreCase), text) << c.text;
    }

    const QString op = QStringLiteral("$REGEX/x/y$");
    EXPECT_EQ(ruleWithRegexOperator(QStringLiteral("*_#"), op), op);
    EXPECT_EQ(ruleWithRegexOperator(QStringLiteral("$A$ $REGEX/a/b/i$_# $REGEX/c/d$"), op),
              QStringLiteral("$A$ $REGEX/x/y$_# $REGEX/c/d$"));
}
