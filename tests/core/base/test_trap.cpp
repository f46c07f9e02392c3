#include "QtPrinters.h"
#include "core/base/FrontEnd.h"
#include "core/base/Trap.h"

#include <gtest/gtest.h>

using namespace tav;

namespace {
struct Recorder : FrontEnd {
    QStringList texts, titles;
    QList<int> styles;
    int msgBox(const QString &m, int style, const QString &title, int, const QString &) override {
        texts << m;
        titles << title;
        styles << style;
        return AnswerOk;
    }
};

struct TrapTest : ::testing::Test {
    Recorder rec;
    void SetUp() override { setFrontEnd(&rec); }
    void TearDown() override { setFrontEnd(nullptr); }
};
} // namespace

TEST_F(TrapTest, ReportsTavErrorWithProcedureAndStopsTheBody) {
    bool after = false;
    const bool ok = trap(QStringLiteral("cmdRenommer_Click (Feuille frmMain)"), [&] {
        throw TavError(ErrOverflow, QStringLiteral("Overflow"));
        after = true;
    });
    EXPECT_FALSE(ok);
    EXPECT_FALSE(after);
    ASSERT_EQ(rec.texts.size(), 1);
    EXPECT_EQ(rec.texts[0],
              QStringLiteral("Error 6 (Overflow)\r\ndans la procédure cmdRenommer_Click (Feuille frmMain)"));
    EXPECT_EQ(rec.titles[0], QStringLiteral("Erreur rencontrée"));
    EXPECT_EQ(rec.styles[0], 64);
}

TEST_F(TrapTest, StandardExceptionsGetANumberAndSuccessReportsNothing) {
    EXPECT_FALSE(trap(QStringLiteral("p"), [] { throw std::out_of_range("index"); }));
    EXPECT_TRUE(rec.texts.value(0).startsWith(QStringLiteral("Error 9 (index)")));
    EXPECT_TRUE(trap(QStringLiteral("p"), [] {}));
    EXPECT_EQ(rec.texts.size(), 1);
}

TEST_F(TrapTest, ErrorNumberZeroIsNotReported) {
    reportError(0, QStringLiteral("nothing"), QStringLiteral("p"));
    EXPECT_TRUE(rec.texts.isEmpty());
}

TEST(SilentFrontEnd, DeclinesQuestionsWhenNoFrontEndIsInstalled) {
    setFrontEnd(nullptr);
    EXPECT_EQ(frontEnd().msgBox(QStringLiteral("?"), StyleYesNo + StyleQuestion, QString()), AnswerNo);
    EXPECT_EQ(frontEnd().msgBox(QStringLiteral("!"), StyleInformation, QString()), AnswerOk);
}
