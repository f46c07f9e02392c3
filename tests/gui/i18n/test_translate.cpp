#include "QtPrinters.h"
#include "TestGuard.h"
#include "core/i18n/Language.h"
#include "gui/i18n/Translate.h"

#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tav;

namespace {

class TranslateTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    tav::test::TestGuard guard;

    void SetUp() override {
        QDir(dir.path()).mkpath(QStringLiteral("langages/common"));
        guard.programFolder(dir.path());
    }
    void useLanguage(const QByteArray &text) {
        QFile f(dir.filePath(QStringLiteral("langages/test.lng")));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
        f.close();
        guard.language(QStringLiteral("Test"));
    }
    void picture(const QString &name, QColor colour) {
        QImage image(16, 16, QImage::Format_RGB32);
        image.fill(colour);
        ASSERT_TRUE(image.save(dir.filePath(QStringLiteral("langages/common/") + name + ".gif"), "PNG"));
    }
};

} // namespace

TEST_F(TranslateTest, TitleCaptionsAndTooltipsComeFromTheFormSection) {
    useLanguage("[frmTest]\n"
                "frmTest.Caption=Test window\n"
                "lblNom.Caption=Name:_\n"
                "lblNom.ToolTipText=The new name\n"
                "cmdGo.Caption=Go\n"
                "chkTrim.Caption=Trim|spaces\n"
                "Frame1.Caption=Options\n"
                "txtDebut.ToolTipText=Counter start\n"
                "txtDebut.Caption=must not matter\n"
                "optRepPos(1).Caption=From the end\n"
                "optRepPos(1).ToolTipText=Count from the end\n"
                "mnuAdd.Caption=Add\n"
                "[frmChild]\n"
                "lblInner.Caption=child text\n"
                "[frmOther]\n"
                "cmdGo.Caption=Wrong section\n");
    QWidget form;
    form.setObjectName("frmTest");
    form.setWindowTitle("fenêtre de test");
    auto *lbl = new QLabel("Nom :", &form);
    lbl->setObjectName("lblNom");
    auto *cmd = new QPushButton("Aller", &form);
    cmd->setObjectName("cmdGo");
    cmd->setToolTip("lancer");
    auto *chk = new QCheckBox("Espaces", &form);
    chk->setObjectName("chkTrim");
    auto *frame = new QGroupBox("Cadre", &form);
    frame->setObjectName("Frame1");
    auto *txt = new QLineEdit("1", &form);
    txt->setObjectName("txtDebut");
    QRadioButton *opt[2];
    for (int i = 0; i < 2; ++i) {
        opt[i] = new QRadioButton(QStringLiteral("option %1").arg(i), frame);
        i18n::setControlIndex(opt[i], "optRepPos", i);
    }
    auto *action = new QAction("Ajouter", &form);
    action->setObjectName("mnuAdd");
    auto *child = new QDialog(&form);
    child->setObjectName("frmChild");
    auto *inner = new QLabel("intérieur", child);
    inner->setObjectName("lblInner");

    i18n::translateForm(&form);

    EXPECT_EQ(form.windowTitle(), "Test window");
    EXPECT_EQ(lbl->text(), "Name: ");
    EXPECT_EQ(lbl->toolTip(), "The new name");
    EXPECT_EQ(cmd->text(), "Go");
    EXPECT_EQ(cmd->toolTip(), "lancer") << "a missing key keeps the designed text";
    EXPECT_EQ(chk->text(), "Trim\r\nspaces");
    EXPECT_EQ(frame->title(), "Options");
    EXPECT_EQ(txt->text(), "1") << "a text box has no caption";
    EXPECT_EQ(txt->toolTip(), "Counter start");
    EXPECT_EQ(opt[0]->text(), "option 0");
    EXPECT_EQ(opt[1]->text(), "From the end");
    EXPECT_EQ(opt[1]->toolTip(), "Count from the end");
    EXPECT_EQ(action->text(), "Add");
    EXPECT_EQ(inner->text(), "intérieur") << "a child window translates itself";
}

TEST_F(TranslateTest, ControlArrayElementsAreKeyedByNameAndIndex) {
    QWidget form;
    auto *label = new QLabel(&form);
    i18n::setControlIndex(label, "Label8", 31);
    EXPECT_EQ(label->objectName(), "Label8_31");
    EXPECT_EQ(i18n::controlName(label), "Label8");
    EXPECT_EQ(i18n::controlIndex(label), 31);
    EXPECT_EQ(i18n::captionKey(label), "Label8(31).Caption");
    EXPECT_EQ(i18n::toolTipKey(label), "Label8(31).ToolTipText");
    EXPECT_EQ(i18n::findControl<QLabel>(&form, "Label8", 31), label);

    // A plain control whose name merely ends in digits is no array element.
    auto *plain = new QLabel(&form);
    plain->setObjectName("Timer_ListView1_count");
    EXPECT_EQ(i18n::controlIndex(plain), -1);
    EXPECT_EQ(i18n::captionKey(plain), "Timer_ListView1_count.Caption");
}

TEST_F(TranslateTest, ImageButtonsShowPicturesAndFallBackToTheirCaptionAsTooltip) {
    useLanguage("[frmPics]\ncmdOK.Caption=Yes\ncmdAide.ToolTipText=Open the help\n");
    picture("oui", Qt::green);
    picture("oui_d", Qt::yellow);
    picture("aide", Qt::blue);

    QWidget form;
    form.setObjectName("frmPics");
    auto *ok = new QPushButton("Oui", &form);
    ok->setObjectName("cmdOK");
    auto *help = new QPushButton("Aide", &form);
    help->setObjectName("cmdAide");
    auto *none = new QPushButton("Rien", &form);
    none->setObjectName("cmdRien");

    EXPECT_TRUE(i18n::setButtonPictures(ok, "oui"));
    EXPECT_TRUE(i18n::setButtonPictures(help, "aide"));
    EXPECT_FALSE(i18n::setButtonPictures(none, "absent"));
    EXPECT_EQ(ok->text(), "Oui") << "a decisive button keeps its words beside the picture";
    EXPECT_TRUE(help->text().isEmpty()) << "a picture replaces the caption";
    EXPECT_FALSE(ok->icon().isNull());
    EXPECT_EQ(none->text(), "Rien") << "a missing picture leaves the caption";

    i18n::translateForm(&form);
    QString caption;
    ASSERT_TRUE(i18n::caption(ok, caption));
    EXPECT_EQ(caption, "Yes");
    EXPECT_EQ(ok->text(), "Yes");
    ASSERT_TRUE(i18n::caption(help, caption));
    EXPECT_EQ(caption, "Aide") << "the caption is kept even while a picture shows";
    EXPECT_TRUE(help->text().isEmpty());
    EXPECT_EQ(ok->toolTip(), "Yes");
    EXPECT_EQ(help->toolTip(), "Open the help");
    EXPECT_EQ(none->toolTip(), "Rien");

    // The hover picture while the pointer is over the button.
    const auto colour = [](QPushButton *b) { return b->icon().pixmap(16, 16).toImage().pixelColor(8, 8); };
    EXPECT_EQ(colour(ok), QColor(Qt::green));
    QEvent enter(QEvent::Enter);
    QCoreApplication::sendEvent(ok, &enter);
    EXPECT_EQ(colour(ok), QColor(Qt::yellow));
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(ok, &leave);
    EXPECT_EQ(colour(ok), QColor(Qt::green));
}

TEST_F(TranslateTest, MissingLanguageFileKeepsTheDesignedTexts) {
    i18n::setLanguage(QStringLiteral("Nowhere"));
    QWidget form;
    form.setObjectName("frmMain");
    form.setWindowTitle("Travoline");
    auto *cmd = new QPushButton("Renommer", &form);
    cmd->setObjectName("cmdRenommer");
    i18n::translateForm(&form);
    EXPECT_EQ(form.windowTitle(), "Travoline");
    EXPECT_EQ(cmd->text(), "Renommer");
    EXPECT_EQ(cmd->toolTip(), QString());
}
