#include "QtPrinters.h"
#include "TestGuard.h"
#include "core/base/Twips.h"
#include "core/i18n/Language.h"
#include "core/settings/Settings.h"
#include "gui/dialogs/GuiFrontEnd.h"
#include "gui/dialogs/KobMesgBox.h"
#include "gui/dialogs/frmKobMsgBox.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace tav;

namespace {

// The buttons the box shows, left to right.
QList<QPushButton *> shownButtons(const QWidget &box) {
    QList<QPushButton *> shown;
    for (QPushButton *b : box.findChildren<QPushButton *>())
        if (b->isVisibleTo(&box))
            shown << b;
    std::sort(shown.begin(), shown.end(), [](const QPushButton *a, const QPushButton *b) { return a->x() < b->x(); });
    return shown;
}

QStringList visibleButtons(const frmKobMsgBox &box) {
    QStringList names;
    for (auto *b : shownButtons(box))
        names << b->objectName();
    return names;
}

QStringList visibleIcons(const frmKobMsgBox &box) {
    QStringList names;
    for (const char *n : {"picVbCritical", "picVbQuestion", "picVbExclamation", "picVbInformation"})
        if (box.findChild<QLabel *>(QString::fromLatin1(n))->isVisible())
            names << QString::fromLatin1(n);
    return names;
}

class MsgBoxTest : public ::testing::Test {
protected:
    tav::test::TestGuard guard;
    void SetUp() override {
        guard.sourceProgramFolder().language(QStringLiteral("Français"));
        setTwipsDpi(96);
        KobMesgBox::setLastAnswer(0);
    }

    std::unique_ptr<frmKobMsgBox> open(const QString &message, int &style, int delay = 0, const QString &key = {}) {
        auto box = std::make_unique<frmKobMsgBox>();
        box->load();
        box->prepare(message, style, QStringLiteral("Titre"), delay, key);
        box->show();
        return box;
    }
};

struct SetCase {
    int style;
    QStringList buttons;
    QStringList icons;
    int enter;
    int escape;
};

} // namespace

TEST_F(MsgBoxTest, EachStyleShowsItsIconsAndButtonsAndAnswersEnterAndEscape) {
    const QList<SetCase> cases = {
        {0, {"cmdOK"}, {}, 1, 1},
        {2, {"cmdOK"}, {}, 1, 1},
        {5, {"cmdOK"}, {}, 1, 1},
        {1, {"cmdOK", "cmdAnnuler"}, {}, 1, 2},
        {3, {"cmdOui", "cmdNon", "cmdAnnuler"}, {}, 6, 2},
        {36, {"cmdOui", "cmdNon"}, {"picVbQuestion"}, 6, 7},
        {68, {"cmdOui", "cmdNon"}, {"picVbInformation"}, 6, 7},
        {6, {"cmdOui", "cmdNon", "cmdModifier"}, {}, 6, 8},
        {48, {"cmdOK"}, {"picVbExclamation"}, 1, 1},
        {16 + 4, {"cmdOui", "cmdNon"}, {"picVbCritical"}, 6, 7},
        {112, {"cmdOK"}, {"picVbExclamation", "picVbInformation"}, 1, 1},
    };
    for (const SetCase &c : cases) {
        for (const auto key : {Qt::Key_Return, Qt::Key_Escape}) {
            SCOPED_TRACE(testing::Message() << "style " << c.style << (key == Qt::Key_Return ? " Enter" : " Escape"));
            int style = c.style;
            auto box = open(QStringLiteral("Question ?"), style);
            EXPECT_EQ(style, msgButtonSetValue(c.style)) << "the caller's style keeps the button set";
            EXPECT_EQ(visibleButtons(*box), c.buttons);
            EXPECT_EQ(visibleIcons(*box), c.icons);
            KobMesgBox::setLastAnswer(0);
            QTest::keyClick(box.get(), key);
            EXPECT_EQ(KobMesgBox::lastAnswer(), key == Qt::Key_Return ? c.enter : c.escape);
            EXPECT_FALSE(box->isVisible());
        }
    }
    // Both icons of style 112 are at the same place.
    int style = 112;
    auto box = open(QStringLiteral("x"), style);
    EXPECT_EQ(box->findChild<QLabel *>("picVbExclamation")->geometry(),
              box->findChild<QLabel *>("picVbInformation")->geometry());
}

TEST_F(MsgBoxTest, EveryButtonLeavesItsOwnAnswer) {
    const QList<QPair<int, QString>> presses = {
        {1, "cmdOK"}, {1, "cmdAnnuler"}, {4, "cmdOui"}, {4, "cmdNon"}, {6, "cmdModifier"}};
    const QList<int> answers = {1, 2, 6, 7, 8};
    for (int i = 0; i < presses.size(); ++i) {
        int style = presses[i].first;
        auto box = open(QStringLiteral("?"), style);
        QTest::mouseClick(box->findChild<QPushButton *>(presses[i].second), Qt::LeftButton);
        EXPECT_EQ(KobMesgBox::lastAnswer(), answers[i]) << qPrintable(presses[i].second);
    }
}

TEST_F(MsgBoxTest, BoxIsSizedFromTheLabelAndButtonsShareTheWidth) {
    int style = 4;
    const QString longText = QString(60, QLatin1Char('W')) + QStringLiteral("\r\nsecond line");
    auto box = open(longText, style);
    auto *label = box->findChild<QLabel *>("lblMsg");
    EXPECT_FALSE(label->text().contains(QLatin1Char('\r')));
    EXPECT_NEAR(box->boxWidth(), pixelsToTwips(label->width()) + 1200, 15);
    EXPECT_NEAR(box->boxHeight(), pixelsToTwips(label->height()) + 1500, 15);
    EXPECT_EQ(box->width(), twipsToPixels(box->boxWidth()));

    // One row along the bottom, 500 twips above the edge, equal gaps.
    const auto buttons = shownButtons(*box);
    ASSERT_EQ(buttons.size(), 2);
    const int gap1 = buttons[0]->x();
    const int gap2 = buttons[1]->x() - buttons[0]->geometry().right() - 1;
    const int gap3 = box->width() - buttons[1]->geometry().right() - 1;
    EXPECT_NEAR(gap1, gap2, 1);
    EXPECT_NEAR(gap2, gap3, 2);
    for (auto *b : buttons)
        EXPECT_NEAR(box->height() - b->geometry().bottom() - 1, twipsToPixels(500), 1);

    // Style 0: OK alone, centred.
    style = 0;
    auto ok = open(longText, style);
    auto *cmdOK = ok->findChild<QPushButton *>("cmdOK");
    EXPECT_NEAR(cmdOK->x(), ok->width() - cmdOK->geometry().right() - 1, 2);
}

TEST_F(MsgBoxTest, NarrowMessageWidensTheBoxToTheButtons) {
    int style = 6;
    auto box = open(QStringLiteral("?"), style);
    int total = 0;
    for (auto *b : shownButtons(*box))
        total += pixelsToTwips(b->width());
    EXPECT_NEAR(box->boxWidth(), total + 500, 15);
    // No button leaves the box or covers another.
    const auto buttons = shownButtons(*box);
    EXPECT_GT(buttons.first()->x(), 0);
    EXPECT_LE(buttons.last()->geometry().right(), box->width());
    for (int i = 1; i < buttons.size(); ++i)
        EXPECT_GT(buttons[i]->x(), buttons[i - 1]->geometry().right());

    // A wide message keeps its own width.
    style = 6;
    auto wide = open(QString(80, QLatin1Char('m')), style);
    EXPECT_NEAR(wide->boxWidth(), pixelsToTwips(wide->findChild<QLabel *>("lblMsg")->width()) + 1200, 15);
}

TEST_F(MsgBoxTest, DelayKeepsEveryButtonDisabledForItsTicks) {
    int style = 4;
    auto box = open(QStringLiteral("Attendez"), style, 3);
    const auto buttons = shownButtons(*box);
    const auto allDisabled = [&] {
        return std::none_of(buttons.begin(), buttons.end(), [](auto *b) { return b->isEnabled(); });
    };
    EXPECT_TRUE(allDisabled());
    QTest::keyClick(box.get(), Qt::Key_Return);
    QTest::keyClick(box.get(), Qt::Key_Escape);
    box->close();
    EXPECT_TRUE(box->isVisible()) << "nothing answers while the delay runs";
    EXPECT_EQ(KobMesgBox::lastAnswer(), 0);

    box->Timer_Timer();
    box->Timer_Timer();
    EXPECT_TRUE(allDisabled());
    EXPECT_EQ(KobMesgBox::countdown(), 1);
    box->Timer_Timer();
    EXPECT_TRUE(std::all_of(buttons.begin(), buttons.end(), [](auto *b) { return b->isEnabled(); }));
    QTest::keyClick(box.get(), Qt::Key_Return);
    EXPECT_EQ(KobMesgBox::lastAnswer(), 6);
}

TEST_F(MsgBoxTest, DoNotShowAgainIsStoredUnderTheKey) {
    QTemporaryDir store;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, store.path());

    int style = 64;
    auto plain = open(QStringLiteral("info"), style);
    EXPECT_FALSE(plain->findChild<QCheckBox *>("chkAfficher")->isVisible());

    style = 68;
    auto box = open(QStringLiteral("info"), style, 0, QStringLiteral("AvertissementTest"));
    auto *chk = box->findChild<QCheckBox *>("chkAfficher");
    ASSERT_TRUE(chk->isVisible());
    EXPECT_EQ(chk->text(), QStringLiteral("Ne plus afficher"));
    for (auto *b : shownButtons(*box))
        EXPECT_FALSE(chk->geometry().intersects(b->geometry()));
    EXPECT_FALSE(chk->geometry().intersects(box->findChild<QLabel *>("lblMsg")->geometry()));

    const auto stored = [] {
        QSettings s(QSettings::NativeFormat, QSettings::UserScope, "Travoline", "Travoline");
        return s.value(QStringLiteral("DialogBox/AvertissementTest")).toString();
    };
    QTest::mouseClick(chk, Qt::LeftButton, {}, QPoint(5, chk->height() / 2));
    EXPECT_EQ(stored(), "1");
    QTest::mouseClick(chk, Qt::LeftButton, {}, QPoint(5, chk->height() / 2));
    EXPECT_EQ(stored(), "0");
    EXPECT_EQ(KobMesgBox::lastAnswer(), 0) << "the check box does not answer";
}

TEST_F(MsgBoxTest, CaptionsFollowTheLanguageAndPicturesFollowTheSetting) {
    i18n::setLanguage(QStringLiteral("English"));
    int style = 3;
    auto box = open(QStringLiteral("Save?"), style);
    QStringList tips, words;
    for (auto *b : shownButtons(*box)) {
        EXPECT_FALSE(b->icon().isNull());
        tips << b->toolTip();
        words << b->text();
    }
    EXPECT_EQ(tips, QStringList({"Yes", "No", "Cancel"})) << "a picture button names itself in its tooltip";
    EXPECT_EQ(words, QStringList({"Yes", "No", "Cancel"})) << "and says it beside its picture";

    settings().AfficherImageBouton = 0;
    style = 3;
    auto plain = open(QStringLiteral("Save?"), style);
    QStringList captions;
    for (auto *b : shownButtons(*plain)) {
        EXPECT_TRUE(b->icon().isNull());
        captions << b->text();
    }
    EXPECT_EQ(captions, QStringList({"Yes", "No", "Cancel"}));
    settings().AfficherImageBouton = 1;
}

TEST_F(MsgBoxTest, OneBoxAtATimeAndTheFrontEndNeverReusesAStaleYes) {
    GuiFrontEnd gui;
    setFrontEnd(&gui);
    KobMesgBox::setLastAnswer(6);
    int nestedAnswer = -1, nestedLast = -1;
    bool nestedShown = true;
    QString seen;
    QTimer::singleShot(0, [&] {
        QWidget *modal = QApplication::activeModalWidget();
        ASSERT_NE(modal, nullptr);
        seen = modal->objectName();
        int style = 36;
        nestedLast = KobMesgBox::show(QStringLiteral("second"), style, QString(), 0, QString(), &nestedShown);
        nestedAnswer = frontEnd().msgBox(QStringLiteral("third"), 36, QString());
        QTest::keyClick(modal, Qt::Key_Escape);
    });
    const int answer = frontEnd().msgBox(QStringLiteral("first"), 36, QStringLiteral("Message"));
    setFrontEnd(nullptr);
    EXPECT_EQ(seen, QStringLiteral("frmKobMsgBox"));
    EXPECT_FALSE(nestedShown);
    EXPECT_EQ(nestedLast, 6) << "a dropped request leaves the last answer";
    EXPECT_EQ(nestedAnswer, 7) << "the front end turns a dropped question into a refusal";
    EXPECT_EQ(answer, 7);
    EXPECT_FALSE(KobMesgBox::isOpen());
}

TEST_F(MsgBoxTest, BoxClosedWithoutAButtonIsARefusal) {
    // The owner hides the box (its window closing, say): no button answered,
    // so the yes of an earlier box must not come back as this box's answer.
    GuiFrontEnd gui;
    setFrontEnd(&gui);
    KobMesgBox::setLastAnswer(6);
    bool answered = true;
    QTimer::singleShot(0, [] { QApplication::activeModalWidget()->hide(); });
    int style = 36;
    EXPECT_EQ(KobMesgBox::show(QStringLiteral("Renommer ?"), style, QString(), 0, QString(), &answered), 6);
    EXPECT_FALSE(answered);
    EXPECT_EQ(KobMesgBox::lastAnswer(), 6) << "only a button writes the last answer";

    const QList<std::pair<int, int>> escapes = {{0, 1}, {1, 2}, {3, 2}, {4, 7}, {5, 1}, {6, 8}};
    for (const auto &[set, escape] : escapes) {
        QTimer::singleShot(0, [] { QApplication::activeModalWidget()->hide(); });
        EXPECT_EQ(frontEnd().msgBox(QStringLiteral("?"), 64 + set, QString()), escape) << set;
    }
    // A button still answers through the front end.
    QTimer::singleShot(0, [] { QTest::keyClick(QApplication::activeModalWidget(), Qt::Key_Return); });
    EXPECT_EQ(frontEnd().msgBox(QStringLiteral("?"), 36, QString()), 6);
    setFrontEnd(nullptr);
    EXPECT_FALSE(KobMesgBox::isOpen());
    // With no front end installed nobody is asked: the same answers as Escape.
    for (const auto &[set, escape] : escapes)
        EXPECT_EQ(frontEnd().msgBox(QStringLiteral("?"), 48 + set, QString()), escape) << set;
}
