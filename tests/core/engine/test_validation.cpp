#include "MessageFixture.h"
#include "QtPrinters.h"
#include "core/engine/Validation.h"

using namespace tav;

namespace {
const QString ForbiddenList = QStringLiteral("/:?\"<>|\\");
const QString RefusedChars = QStringLiteral("Forbidden: ") + ForbiddenList;
const QString RefusedSlash = QStringLiteral("Forbidden: /");
} // namespace

using Validation = MessageFixture;

TEST_F(Validation, PassingPatternsShowNothing) {
    for (const char *pattern : {"IMG_### *", "$A$-$M$-$J$ $N$", "$REPC/IMG/Photo$", "$REPC/_/-/-1$", "$REPP/2/5/1/X$",
                                "$REPP//3/-1/$", "$MKDIR", "$MKDIR/a\\b/c", "photo\\$MKDIR", "", "$REPC/a/b/c"}) {
        ui.asked.clear();
        EXPECT_TRUE(checkPatternCharacters(QString::fromUtf8(pattern))) << pattern;
        EXPECT_TRUE(ui.asked.isEmpty()) << pattern << ": " << ui.messages().join(u" | ").toStdString();
    }
    EXPECT_EQ(forbiddenPatternChars(), ForbiddenList);
}

TEST_F(Validation, ForbiddenCharacterNamesTheWholeList) {
    for (const char *pattern : {"a:b", "why?", "say \"hi\"", "<b>", "a>b", "a|b", "back\\slash", "$REPC/a\\b/c$"}) {
        ui.asked.clear();
        EXPECT_FALSE(validatePattern(QString::fromUtf8(pattern))) << pattern;
        expectOneBox(RefusedChars, StyleInformation, QStringLiteral("Title two"));
    }
}

TEST_F(Validation, SlashesOnlyInsideTheOperatorsFields) {
    for (const char *pattern : {
             "a/b",                       // no operator
             "$REPC/IMG/Photo/1/x$",      // a fourth field
             "$REPC/IMG",                 // fewer than two "/": none is allowed
             "a/$REPP/1/2/1/x$",          // before the operator
             "$REPP/1/2/1/x$/y",          // a fifth "/"
             "$MKDIR/a/b/c",              // a third "/" after $MKDIR
             "$REPP/1/2/1/x$ $REPC/a/b$", // $REPC decides, and the $REPP slashes stand before it
         }) {
        ui.asked.clear();
        EXPECT_FALSE(checkPatternCharacters(QString::fromUtf8(pattern))) << pattern;
        expectOneBox(RefusedSlash, StyleInformation, QStringLiteral("Title two"));
    }
}

TEST_F(Validation, BackslashOnlyWithMkdirAlone) {
    EXPECT_TRUE(checkSlashes(QStringLiteral("$MKDIR")).allowsBackslash);
    EXPECT_FALSE(checkSlashes(QStringLiteral("$MKDIR $REPC/a/b$")).allowsBackslash);
    EXPECT_FALSE(checkSlashes(QStringLiteral("$REPP/1/2/1/x$ $MKDIR")).allowsBackslash);

    EXPECT_TRUE(checkPatternCharacters(QStringLiteral("$MKDIR$A$\\$M$\\*")));
    EXPECT_FALSE(checkPatternCharacters(QStringLiteral("$MKDIR $REPC/a/b$ x\\y")));
    expectOneBox(RefusedChars, StyleInformation, QStringLiteral("Title two"));
}

TEST_F(Validation, OnlyTheFirstFailingCheckSpeaks) {
    // Slash is checked first, then the other characters in list order.
    EXPECT_FALSE(validatePattern(QStringLiteral("a:b/c\\d")));
    expectOneBox(RefusedSlash, StyleInformation, QStringLiteral("Title two"));
}

TEST_F(Validation, OddDollarsInformButNeverBlock) {
    EXPECT_TRUE(validatePattern(QStringLiteral("$A$ $")));
    expectOneBox(QStringLiteral("Odd dollars"), StyleInformation, QStringLiteral("Title one"));

    // With a refused pattern both messages come, the information first.
    ui.asked.clear();
    EXPECT_FALSE(validatePattern(QStringLiteral("$ a:b")));
    ASSERT_EQ(ui.asked.size(), 2);
    EXPECT_EQ(ui.asked[0].message, u"Odd dollars");
    EXPECT_EQ(ui.asked[1].message, RefusedChars);

    // The character checks alone never mention the dollars.
    ui.asked.clear();
    EXPECT_TRUE(checkPatternCharacters(QStringLiteral("$")));
    EXPECT_TRUE(ui.asked.isEmpty());
}
