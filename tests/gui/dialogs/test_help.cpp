// The manual and its window, offscreen: the topics of both manuals, the main
// window's help button, a language without a manual (the English one stands
// in, else the online one), the window's history and search, a help window
// opened from a modal dialog, and its close at exit.

#include "QtPrinters.h"
#include "ScriptedFrontEnd.h"
#include "TestGuard.h"
#include "core/app/MainController.h"
#include "core/base/ProgramFolder.h"
#include "core/engine/TokenTable.h"
#include "core/i18n/HelpFile.h"
#include "core/i18n/Language.h"
#include "core/settings/Settings.h"
#include "core/settings/modIniFile.h"
#include "gui/dialogs/CHelp.h"
#include "gui/dialogs/frmHelp.h"
#include "gui/main/frmMain.h"

#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTimer>
#include <gtest/gtest.h>

using namespace tav;

namespace {

const QString Source = QStringLiteral(TAV_SOURCE_DIR);

struct HelpTest : ::testing::Test {
    ScriptedFrontEnd fe;
    QStringList opened;
    tav::test::TestGuard guard;

    void SetUp() override {
        guard.programFolder(Source).language(QStringLiteral("Français"));
        help::useBuildSupportSite();
        CHelp::urlOpener() = [this](const QString &url) { opened << url; };
    }
    void TearDown() override {
        CHelp::closeWindow();
        help::useBuildSupportSite();
    }
};

QString readAll(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

// Every anchor name of a document as Qt reads it.
QSet<QString> anchorsOf(const QTextDocument &doc) {
    QSet<QString> names;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
        for (auto it = b.begin(); !it.atEnd(); ++it)
            for (const QString &n : it.fragment().charFormat().anchorNames())
                names.insert(n);
    return names;
}

} // namespace

TEST_F(HelpTest, BothManualsHaveEveryTopicEveryLinkTargetAndEveryPicture) {
    for (const char *language : {"francais", "english"}) {
        SCOPED_TRACE(language);
        const QString file = help::helpFileForLanguage(QString::fromLatin1(language));
        const QString html = readAll(file);
        ASSERT_FALSE(html.isEmpty()) << file.toStdString();
        QTextDocument doc;
        doc.setHtml(html);
        const QSet<QString> anchors = anchorsOf(doc);
        for (int topic = help::TopicMainWindow; topic <= help::TopicDependencies; ++topic)
            EXPECT_TRUE(anchors.contains(help::topicAnchor(topic))) << topic;
        // Links inside the manual and the pictures it shows.
        const QRegularExpression link(QStringLiteral("href=\"#([^\"]+)\""));
        for (auto m = link.globalMatch(html); m.hasNext();) {
            const QString target = m.next().captured(1);
            EXPECT_TRUE(anchors.contains(target)) << "broken link #" << target.toStdString();
        }
        const QRegularExpression img(QStringLiteral("<img src=\"([^\"]+)\""));
        int pictures = 0;
        for (auto m = img.globalMatch(html); m.hasNext(); ++pictures) {
            const QString picture = QFileInfo(file).path() + QLatin1Char('/') + m.next().captured(1);
            EXPECT_TRUE(QFileInfo(picture).size() > 1000) << picture.toStdString();
        }
        EXPECT_GE(pictures, 5);
        // Every token of the main window's labels is explained.
        for (const TokenRow &row : tokenTable()) {
            if (row.label < 0)
                continue;
            EXPECT_TRUE(html.contains(QStringLiteral("<code>") + row.text)) << row.text.toStdString();
        }
    }
}

TEST_F(HelpTest, MainWindowHelpOpensTopic10000OfTheFrenchManual) {
    QTemporaryDir dir;
    guard.settingsFile(dir.path() + QStringLiteral("/Travoline.ini"));
    Settings settings;
    MainController controller(settings);
    frmMain window(&controller);
    controller.loadFromSettings();
    window.Form_Load();
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    auto *cmdAide = window.findChild<QPushButton *>(QStringLiteral("cmdAide"));
    ASSERT_NE(cmdAide, nullptr);
    EXPECT_TRUE(cmdAide->isVisible());
    QTest::mouseClick(cmdAide, Qt::LeftButton);

    frmHelp *help = CHelp::window();
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->isVisible());
    EXPECT_FALSE(help->isModal());
    EXPECT_EQ(help->file(), Source + QStringLiteral("/langages/francais/Travoline.html"));
    EXPECT_EQ(help->anchor(), QStringLiteral("topic10000"));
    EXPECT_TRUE(help->visibleContents().contains(QStringLiteral("La fenêtre principale")));

    // A second help button reuses the window.
    CHelp::show(help::TopicToolChoice);
    EXPECT_EQ(CHelp::window(), help);
    EXPECT_EQ(help->anchor(), QStringLiteral("topic10003"));
    EXPECT_TRUE(fe.asked.isEmpty());
}

TEST_F(HelpTest, ALanguageWithoutManualAsksMessage53OrSaysTheManualIsNotInstalled) {
    // A program folder with the French manual and a second language without one.
    QTemporaryDir folder;
    QDir().mkpath(folder.path() + QStringLiteral("/langages/francais"));
    QFile::copy(Source + QStringLiteral("/langages/francais.lng"),
                folder.path() + QStringLiteral("/langages/francais.lng"));
    QFile::copy(Source + QStringLiteral("/langages/francais/Travoline.html"),
                folder.path() + QStringLiteral("/langages/francais/Travoline.html"));
    QFile other(folder.path() + QStringLiteral("/langages/testing.lng"));
    ASSERT_TRUE(other.open(QIODevice::WriteOnly));
    other.write("[LANGUAGE]\nlanguage=Testing\n[MSG]\nm1=Note\nm53=No help here.|Open the online manual?\n");
    other.close();
    guard.programFolder(folder.path());

    i18n::setLanguage(QStringLiteral("Testing"));
    help::setSupportSite(QStringLiteral("https://example.org/support/"));
    fe.answers = {AnswerNo, AnswerYes};
    CHelp::show(help::TopicMainWindow);
    CHelp::show(help::TopicOptions);
    ASSERT_EQ(fe.asked.size(), 2);
    EXPECT_EQ(fe.asked[0].message, QStringLiteral("No help here.\r\nOpen the online manual?"));
    EXPECT_EQ(fe.asked[0].style, StyleYesNo + StyleInformation);
    EXPECT_EQ(fe.asked[0].title, QStringLiteral("Note"));
    EXPECT_EQ(opened, QStringList{QStringLiteral("https://example.org/support/Travoline/manuel.html")})
        << "only the yes opens the online manual";
    EXPECT_EQ(CHelp::window(), nullptr);

    // No support site (a default build): told, and nothing to say yes to.
    help::useBuildSupportSite();
    help::setSupportSite(QString());
    fe.asked.clear();
    CHelp::show(help::TopicMainWindow);
    ASSERT_EQ(fe.asked.size(), 1);
    EXPECT_EQ(fe.asked[0].style, StyleInformation) << "an OK alone";
    EXPECT_TRUE(fe.asked[0].message.contains(QStringLiteral("testing/Travoline.html")))
        << fe.asked[0].message.toStdString();
    EXPECT_EQ(opened.size(), 1);

    // Back to French: the manual follows the language without being told.
    i18n::setLanguage(QStringLiteral("Français"));
    CHelp::show(help::TopicMainWindow);
    ASSERT_NE(CHelp::window(), nullptr);
    EXPECT_EQ(CHelp::window()->file(), folder.path() + QStringLiteral("/langages/francais/Travoline.html"));
    EXPECT_EQ(fe.asked.size(), 1);
}

TEST_F(HelpTest, ALanguageWithoutManualReadsTheEnglishOneWithANote) {
    QTemporaryDir folder;
    for (const char *language : {"francais", "english"}) {
        const QString manual = QStringLiteral("/langages/%1/Travoline.html").arg(QString::fromLatin1(language));
        QDir().mkpath(QFileInfo(folder.path() + manual).path());
        ASSERT_TRUE(QFile::copy(Source + manual, folder.path() + manual));
        QFile::copy(Source + QStringLiteral("/langages/%1.lng").arg(QString::fromLatin1(language)),
                    folder.path() + QStringLiteral("/langages/%1.lng").arg(QString::fromLatin1(language)));
    }
    QFile other(folder.path() + QStringLiteral("/langages/testing.lng"));
    ASSERT_TRUE(other.open(QIODevice::WriteOnly));
    other.write("[LANGUAGE]\nlanguage=Testing\n[Help]\nEnglishInstead=Not translated yet: English shown.\n");
    other.close();
    guard.programFolder(folder.path());
    const QString english = folder.path() + QStringLiteral("/langages/english/Travoline.html");

    i18n::setLanguage(QStringLiteral("Testing"));
    CHelp::show(help::TopicOptions);
    frmHelp *help = CHelp::window();
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(fe.asked.isEmpty()) << "nothing asked: the English manual stands in";
    EXPECT_EQ(help->file(), english);
    EXPECT_EQ(help->anchor(), QStringLiteral("topic10001"));
    EXPECT_EQ(help->note(), QStringLiteral("Not translated yet: English shown."));

    // A language with its own manual shows it without the note, English too.
    i18n::setLanguage(QStringLiteral("Français"));
    CHelp::show(help::TopicOptions);
    EXPECT_EQ(help->file(), folder.path() + QStringLiteral("/langages/francais/Travoline.html"));
    EXPECT_EQ(help->note(), QString());
    i18n::setLanguage(QStringLiteral("English"));
    CHelp::show(help::TopicOptions);
    EXPECT_EQ(help->file(), english);
    EXPECT_EQ(help->note(), QString());
}

TEST_F(HelpTest, HistoryAndSearchOfTheHelpWindow) {
    i18n::setLanguage(QStringLiteral("English"));
    CHelp::show(help::TopicMainWindow);
    frmHelp *help = CHelp::window();
    ASSERT_NE(help, nullptr);
    auto *back = help->findChild<QAbstractButton *>(QStringLiteral("cmdPrecedent"));
    auto *forward = help->findChild<QAbstractButton *>(QStringLiteral("cmdSuivant"));
    ASSERT_TRUE(back && forward);
    EXPECT_FALSE(back->isEnabled()) << "the first topic opened is where the history starts";
    CHelp::show(help::TopicToolChoice);
    EXPECT_TRUE(back->isEnabled());
    QTest::mouseClick(back, Qt::LeftButton);
    EXPECT_EQ(help->anchor(), QStringLiteral("topic10000"));
    EXPECT_TRUE(forward->isEnabled());
    QTest::mouseClick(forward, Qt::LeftButton);
    EXPECT_EQ(help->anchor(), QStringLiteral("topic10003"));

    // Opened beside the window it helps with, where the screen has room.
    QWidget other;
    other.setGeometry(20, 20, 300, 300);
    other.show();
    help->placeBeside(&other);
    EXPECT_GT(help->x(), other.frameGeometry().right());
    EXPECT_EQ(help->y(), other.frameGeometry().top());

    const QStringList all = help->visibleContents();
    help->search(QStringLiteral("BATCH exiftool"));
    const QStringList found = help->visibleContents();
    EXPECT_TRUE(found.contains(QStringLiteral("Photo metadata and the choice of tool")))
        << found.join(" | ").toStdString();
    EXPECT_FALSE(found.contains(QStringLiteral("Saved rules")));
    EXPECT_LT(found.size(), all.size());
    auto *page = help->findChild<QTextBrowser *>(QStringLiteral("txtPage"));
    EXPECT_FALSE(page->extraSelections().isEmpty()) << "the words are marked in the page";
    help->search(QString());
    EXPECT_EQ(help->visibleContents(), all);

    // Accents do not matter: "numerotation" finds the French counter section.
    i18n::setLanguage(QStringLiteral("Français"));
    CHelp::show(help::TopicMainWindow);
    help->search(QStringLiteral("numerotation"));
    EXPECT_TRUE(help->visibleContents().contains(QStringLiteral("Le compteur : #")))
        << help->visibleContents().join(" | ").toStdString();
}

TEST_F(HelpTest, HelpFromAModalDialogTakesInputAndOutlivesTheDialog) {
    QDialog dialog;
    QWidget *parentDuringDialog = nullptr;
    QTimer::singleShot(0, &dialog, [&] {
        CHelp::show(help::TopicToolChoice);
        parentDuringDialog = CHelp::window()->parentWidget();
        EXPECT_FALSE(CHelp::window()->isModal());
        dialog.accept();
    });
    dialog.exec();
    EXPECT_EQ(parentDuringDialog, &dialog) << "a window outside a modal dialog takes no input";
    frmHelp *help = CHelp::window();
    ASSERT_NE(help, nullptr);
    EXPECT_EQ(help->parentWidget(), nullptr);
    EXPECT_TRUE(help->isVisible());
    EXPECT_EQ(help->anchor(), QStringLiteral("topic10003"));
}

TEST_F(HelpTest, QuittingClosesTheHelpWindowBeforeTheSettingsAreSaved) {
    QTemporaryDir dir;
    guard.settingsFile(dir.path() + QStringLiteral("/Travoline.ini"));
    CHelp::install();
    bool helpOpenAtSave = true;
    int saves = 0;
    modIniFile::hooks().beforeSave = [&](Settings &) {
        ++saves;
        helpOpenAtSave = CHelp::window() != nullptr;
    };
    {
        MainController controller(settings());
        frmMain window(&controller);
        controller.loadFromSettings();
        window.Form_Load();
        window.show();
        CHelp::show(help::TopicMainWindow);
        QPointer<frmHelp> help = CHelp::window();
        ASSERT_TRUE(help && help->isVisible());
        window.close();
        EXPECT_TRUE(help.isNull());
    }
    EXPECT_EQ(saves, 1);
    EXPECT_FALSE(helpOpenAtSave);
    EXPECT_TRUE(QFileInfo::exists(dir.path() + QStringLiteral("/Travoline.ini")));
    modIniFile::hooks() = {};
}
