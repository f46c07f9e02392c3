// The regular-expression builder: its fields from the rule, its live example
// on a name, and the rule it writes.
#include "QtPrinters.h"
#include "TestGuard.h"
#include "core/settings/modIniFile.h"
#include "gui/dialogs/frmRegex.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

using namespace tav;

namespace {

struct Builder {
    frmRegex form;
    Builder(const QString &rule, const QString &example) : form(rule, example) {}
    QLineEdit *field(const char *name) { return form.findChild<QLineEdit *>(QLatin1String(name)); }
    QString result() { return form.findChild<QLabel *>(QStringLiteral("lblResultat"))->text(); }
    bool canWrite() { return form.findChild<QPushButton *>(QStringLiteral("cmdEcrire"))->isEnabled(); }
    void type(const char *name, const QString &text) {
        field(name)->clear();
        QTest::keyClicks(field(name), text);
    }
};

} // namespace

TEST(RegexBuilderWindow, StartsFromTheRuleShowsTheExampleAndWritesInPlace) {
    tav::test::TestGuard guard;
    guard.language(QStringLiteral("English"));
    Builder b(QStringLiteral("$A$ $REGEX/a/b$_#"), QStringLiteral("banana.txt"));
    EXPECT_EQ(b.field("txtMotif")->text(), u"a");
    EXPECT_EQ(b.field("txtRemplacement")->text(), u"b");
    EXPECT_EQ(b.result(), u"bbnbnb.txt");

    // Typed as a regular expression: "$" ends the name, "/" is a character.
    b.type("txtMotif", QStringLiteral("(\\d+)-(\\d+)$"));
    b.type("txtRemplacement", QStringLiteral("\\2/\\1"));
    b.type("txtExemple", QStringLiteral("12-34.txt"));
    EXPECT_EQ(b.result(), u"34/12.txt");
    EXPECT_EQ(b.form.ruleText(), QStringLiteral("$A$ $REGEX/(\\d+)-(\\d+)\\z/\\2\\/\\1$_#"));

    QTest::keyClick(b.form.findChild<QCheckBox *>(QStringLiteral("chkCasse")), Qt::Key_Space);
    b.type("txtMotif", QStringLiteral("img_"));
    b.type("txtRemplacement", QStringLiteral("photo-"));
    b.type("txtExemple", QStringLiteral("IMG_001.jpg"));
    EXPECT_EQ(b.result(), u"photo-001.jpg");
    EXPECT_TRUE(b.canWrite());

    // A pattern that does not compile says why and where, and is not written.
    b.type("txtMotif", QStringLiteral("(a"));
    EXPECT_TRUE(b.result().contains(QStringLiteral("missing closing parenthesis"))) << b.result().toStdString();
    EXPECT_FALSE(b.canWrite());
    b.type("txtMotif", QString());
    EXPECT_FALSE(b.canWrite());
}

TEST(RegexBuilderWindow, ARuleWithoutTheOperatorIsReplacedWholeAndTheFieldsAreKeptForNextTime) {
    tav::test::TestGuard guard;
    modIniFile::userStore().remove(QStringLiteral("frmRegex"));
    {
        Builder b(QStringLiteral("### - *"), QString());
        EXPECT_TRUE(b.field("txtMotif")->text().isEmpty());
        b.type("txtMotif", QStringLiteral("x"));
        EXPECT_EQ(b.form.ruleText(), QStringLiteral("$REGEX/x/$"));
        b.type("txtRemplacement", QStringLiteral("y/z"));
        b.form.reject(); // what was typed is not lost with a cancel
    }
    Builder again(QStringLiteral("### - *"), QString());
    EXPECT_EQ(again.field("txtMotif")->text(), u"x");
    EXPECT_EQ(again.field("txtRemplacement")->text(), u"y/z");
    // A rule's own operator comes first.
    Builder fromRule(QStringLiteral("$REGEX/a/b$"), QString());
    EXPECT_EQ(fromRule.field("txtMotif")->text(), u"a");
}
