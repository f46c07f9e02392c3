// The manual and its window, offscreen: the topics, anchors and interface
// words of every manual, the main window's help button, a language without a
// manual (the English one stands in, else the online one), the window's
// history and search, a help window opened from a modal dialog, and its close
// at exit.

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
#include <QHash>
#include <QMap>
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

QSet<QString> anchorsOfFile(const QString &file) {
    QTextDocument doc;
    doc.setHtml(readAll(file));
    return anchorsOf(doc);
}

// The manuals the program ships: folder, language name, one heading.
struct ManualCase {
    const char *folder;
    const char *language;
    const char *heading;
};
const ManualCase Manuals[] = {
    {"francais", "Français", "La fenêtre principale"},  {"english", "English", "The main window"},
    {"deutsch", "Deutsch", "Das Hauptfenster"},         {"espanol", "Español", "La ventana principal"},
    {"italiano", "Italiano", "La finestra principale"},
};

// The texts of a language file by "section/key".
QHash<QString, QString> languageTexts(const QString &folder) {
    QHash<QString, QString> texts;
    QString section;
    for (const QString &line :
         readAll(Source + QStringLiteral("/langages/") + folder + QStringLiteral(".lng")).split(QLatin1Char('\n'))) {
        const QString l = line.trimmed();
        if (l.startsWith(QLatin1Char('[')) && l.endsWith(QLatin1Char(']')))
            section = l.mid(1, l.size() - 2);
        else if (const qsizetype eq = l.indexOf(QLatin1Char('=')); eq > 0 && !l.startsWith(QLatin1Char(';')))
            texts.insert(section + QLatin1Char('/') + l.left(eq), l.mid(eq + 1));
    }
    return texts;
}

// A caption as a sentence quotes it: without its colon or dots.
QString asQuoted(QString text) {
    text = text.trimmed();
    for (const QString &end : {QStringLiteral(":"), QStringLiteral("…"), QStringLiteral("...")})
        if (text.endsWith(end))
            text.chop(end.size());
    return text.trimmed();
}

// The texts a manual sets in bold or italics, entities decoded.
QSet<QString> emphasisedTexts(const QString &html) {
    QSet<QString> texts;
    static const QRegularExpression emphasis(QStringLiteral("<(b|i)>(.*?)</\\1>"),
                                             QRegularExpression::DotMatchesEverythingOption);
    for (auto m = emphasis.globalMatch(html); m.hasNext();) {
        QTextDocument doc;
        doc.setHtml(m.next().captured(2));
        texts.insert(doc.toPlainText().simplified());
    }
    return texts;
}

// Whether a manual quotes this caption: as it is, without a trailing
// "(example)", or with a capital when it opens a list item.
bool quotes(const QSet<QString> &emphasised, const QString &caption) {
    const QString text = asQuoted(caption);
    for (const QString &e : emphasised) {
        if (e == text || (text.startsWith(e + QStringLiteral(" (")) && e.size() > 3))
            return true;
        if (!text.isEmpty() && text[0].isLower() && e.size() == text.size() && e[0] == text[0].toUpper() &&
            e.mid(1) == text.mid(1))
            return true;
    }
    return false;
}

} // namespace

TEST_F(HelpTest, EveryManualHasEveryAnchorOfTheEnglishOneEveryLinkTargetAndEveryPicture) {
    const QSet<QString> english = anchorsOfFile(help::helpFileForLanguage(QStringLiteral("english")));
    for (int topic = help::TopicMainWindow; topic <= help::TopicDependencies; ++topic)
        EXPECT_TRUE(english.contains(help::topicAnchor(topic))) << topic;
    for (const ManualCase &manual : Manuals) {
        SCOPED_TRACE(manual.folder);
        const QString file = help::helpFileForLanguage(QString::fromLatin1(manual.folder));
        const QString html = readAll(file);
        ASSERT_FALSE(html.isEmpty()) << file.toStdString();
        QTextDocument doc;
        doc.setHtml(html);
        const QSet<QString> anchors = anchorsOf(doc);
        for (const QString &anchor : english)
            EXPECT_TRUE(anchors.contains(anchor)) << "missing anchor " << anchor.toStdString();
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

TEST_F(HelpTest, EveryManualQuotesTheInterfaceInTheWordsOfItsLanguageFile) {
    // The captions the English manual quotes, found by their English text.
    const QHash<QString, QString> english = languageTexts(QStringLiteral("english"));
    const QSet<QString> quotedInEnglish =
        emphasisedTexts(readAll(help::helpFileForLanguage(QStringLiteral("english"))));
    QMap<QString, QStringList> keysOfCaption; // English caption -> its keys
    for (auto it = english.cbegin(); it != english.cend(); ++it)
        if (!asQuoted(it.value()).isEmpty() && quotes(quotedInEnglish, it.value()))
            keysOfCaption[asQuoted(it.value())] << it.key();
    EXPECT_GE(keysOfCaption.size(), 50) << "the English manual names the window's controls";
    for (const ManualCase &manual : Manuals) {
        const QString folder = QString::fromLatin1(manual.folder);
        SCOPED_TRACE(manual.folder);
        const QHash<QString, QString> texts = languageTexts(folder);
        const QSet<QString> quoted = emphasisedTexts(readAll(help::helpFileForLanguage(folder)));
        QStringList missing;
        for (auto it = keysOfCaption.cbegin(); it != keysOfCaption.cend(); ++it) {
            QStringList captions;
            bool found = false;
            for (const QString &key : it.value()) {
                captions << texts.value(key);
                found = found || quotes(quoted, texts.value(key));
            }
            if (!found)
                missing << it.key() + QStringLiteral(" -> ") + captions.join(QStringLiteral(" / "));
        }
        EXPECT_TRUE(missing.isEmpty()) << "not quoted as the window says it:\n"
                                       << missing.join(QLatin1Char('\n')).toStdString();
    }
}

TEST_F(HelpTest, EachLanguageOpensItsOwnManualWithoutTheEnglishNote) {
    for (const ManualCase &manual : Manuals) {
        SCOPED_TRACE(manual.folder);
        i18n::setLanguage(QString::fromUtf8(manual.language));
        CHelp::show(help::TopicOptions);
        frmHelp *help = CHelp::window();
        ASSERT_NE(help, nullptr);
        EXPECT_EQ(help->file(), help::helpFileForLanguage(QString::fromLatin1(manual.folder)));
        EXPECT_EQ(help->anchor(), QStringLiteral("topic10001"));
        EXPECT_EQ(help->note(), QString());
        EXPECT_TRUE(help->visibleContents().contains(QString::fromUtf8(manual.heading)))
            << help->visibleContents().join(" | ").toStdString();
    }
    EXPECT_TRUE(fe.asked.isEmpty());
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
