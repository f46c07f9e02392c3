// The update dialog, the start-up check and the about box's check against
// a real HTTP server on 127.0.0.1, with a fake xdg-open first on PATH that
// records what the desktop would have been handed.

#include "QtPrinters.h"
#include "ScriptedFrontEnd.h"
#include "TestGuard.h"
#include "UpdateServer.h"
#include "WaitFor.h"
#include "core/i18n/Language.h"
#include "core/update/UpdateCheck.h"
#include "gui/dialogs/frmAboutCredits.h"
#include "gui/dialogs/frmMiseAJour.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <gtest/gtest.h>

using namespace tav;
using i18n::Message;

namespace {

const QString PackageName = QStringLiteral("setup_Travoline_1_12_3.deb");

class UpdateDialog : public ::testing::Test {
protected:
    test::UpdateServer server;
    QTemporaryDir temp;
    ScriptedFrontEnd ui;
    tav::test::TestGuard guard;
    QByteArray savedPath = qgetenv("PATH");
    QByteArray package;

    void SetUp() override {
        ASSERT_TRUE(server.isRunning());
        QDir(temp.path()).mkpath(QStringLiteral("tmp"));
        QDir(temp.path()).mkpath(QStringLiteral("bin"));
        QFile script(temp.filePath(QStringLiteral("bin/xdg-open")));
        ASSERT_TRUE(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\nprintf '%s\\n' \"$@\" >> \"" + QFile::encodeName(temp.filePath("calls")) + "\"\n");
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("PATH", QFile::encodeName(temp.filePath(QStringLiteral("bin"))) + ":" + savedPath);
        qputenv(update::ServerAddressVariable, server.base().toUtf8());
        guard.tempFolder(temp.filePath(QStringLiteral("tmp")))
            .sourceProgramFolder()
            .language(QStringLiteral("English"));
        package = QByteArray(4000, 'p');
    }
    void TearDown() override {
        QFile::remove(localPackage());
        qputenv("PATH", savedPath);
        qunsetenv(update::ServerAddressVariable);
    }

    QString installer() const { return server.base() + QStringLiteral("/Travoline/") + PackageName; }
    QString localPackage() const {
        return qEnvironmentVariable("XDG_CACHE_HOME") + QStringLiteral("/Travoline/") + PackageName;
    }
    // What xdg-open was given, sorted (the calls run side by side).
    QStringList opened() const {
        QFile f(temp.filePath(QStringLiteral("calls")));
        QStringList l;
        if (f.open(QIODevice::ReadOnly))
            l = QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        l.sort();
        return l;
    }
    bool waitOpened(int count) const {
        return test::waitFor([&] { return opened().size() >= count; }, 10000);
    }
    QByteArray local() const {
        QFile f(localPackage());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(missing)");
    }
    void prepare(frmMiseAJour &dialog) const {
        dialog.setServer(server.base());
        dialog.setInstallerAddress(installer());
    }
};

template <class T> T *child(QWidget *w, const char *name) {
    T *found = w->findChild<T *>(QLatin1String(name));
    EXPECT_TRUE(found) << name;
    return found;
}

TEST_F(UpdateDialog, DownloadShowsItsProgressThenHandsThePackageToTheDesktop) {
    frmMiseAJour dialog;
    prepare(dialog);
    dialog.showNewVersion(QStringLiteral("1.12.3"), {QStringLiteral("Faster renames"), QStringLiteral("Undo")});
    EXPECT_EQ(child<QLabel>(&dialog, "Label_0")->text(),
              QStringLiteral("A new version of Travoline is available: 1.12.3"));
    EXPECT_EQ(child<QPlainTextEdit>(&dialog, "Text1")->toPlainText(), QStringLiteral("Faster renames\nUndo\n"));
    EXPECT_EQ(dialog.localPath(), localPackage());

    // The help button exists once something shows the help.
    auto *help = child<QPushButton>(&dialog, "cmdAide");
    EXPECT_TRUE(help->isHidden());
    QList<int> topics;
    dialog.setHelpHandler([&](int topic) { topics << topic; });
    EXPECT_FALSE(help->isHidden());
    help->click();
    EXPECT_EQ(topics, QList<int>{10004});

    server.putPackage(PackageName, package, "chunk=500 delay=0.05");
    dialog.show();
    auto *label = child<QLabel>(&dialog, "lbltelechargement");
    auto *bar = child<QProgressBar>(&dialog, "ProgressBar1");
    EXPECT_EQ(label->text(), QStringLiteral("Downloaded 0 %"));
    auto *next = child<QPushButton>(&dialog, "cmdSuivant");
    next->click();
    EXPECT_FALSE(next->isEnabled());
    EXPECT_TRUE(bar->isVisible());
    QStringList texts;
    QList<int> values;
    ASSERT_TRUE(test::waitFor(
        [&] {
            if (label->isVisible() && (texts.isEmpty() || texts.last() != label->text())) {
                texts << label->text();
                values << bar->value();
            }
            return !dialog.isVisible();
        },
        15000));
    // "Downloaded 0 %" until the first bytes, then one decimal; 500 of 4000 bytes is 12.5 %.
    EXPECT_TRUE(texts.contains(QStringLiteral("Downloaded 12.5 %"))) << texts.join(u" | ").toStdString();
    for (const QString &t : texts.mid(1))
        EXPECT_TRUE(QRegularExpression(QStringLiteral("^Downloaded \\d+\\.\\d %$")).match(t).hasMatch())
            << t.toStdString();
    for (int i = 1; i < values.size(); ++i)
        EXPECT_GE(values[i], values[i - 1]);
    // The last step comes as the transfer ends and the label goes.
    EXPECT_EQ(label->text(), QStringLiteral("Downloaded 100.0 %"));
    EXPECT_EQ(bar->value(), 100);
    EXPECT_FALSE(label->isVisible());

    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_TRUE(dialog.quitRequested());
    EXPECT_TRUE(ui.asked.isEmpty()) << ui.messages().join(u" | ").toStdString();
    EXPECT_EQ(local(), package);
    ASSERT_TRUE(waitOpened(2));
    EXPECT_EQ(opened(), QStringList({QUrl::fromLocalFile(localPackage()).toString(),
                                     server.base() + QStringLiteral("/Travoline/mise_a_jour.html")}));
}

TEST_F(UpdateDialog, DownloadCutShortFailsKeepsWhatArrivedAndIsOfferedAgain) {
    server.putPackage(PackageName, package, "cut=1000");
    {
        frmMiseAJour dialog;
        prepare(dialog);
        dialog.show();
        ui.answers = {AnswerOk, AnswerYes}; // 82, then 84: open the server's page
        child<QPushButton>(&dialog, "cmdSuivant")->click();
        ASSERT_TRUE(test::waitFor([&] { return ui.asked.size() == 2; }, 10000));
        EXPECT_EQ(ui.asked[0].message, Message(82));
        EXPECT_EQ(ui.asked[0].style, StyleExclamation);
        EXPECT_EQ(ui.asked[1].message, Message(84));
        EXPECT_EQ(ui.asked[1].style, StyleYesNo + StyleQuestion);
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_FALSE(dialog.quitRequested());
        EXPECT_FALSE(child<QProgressBar>(&dialog, "ProgressBar1")->isVisible());
        EXPECT_EQ(local(), package.left(1000));
        ASSERT_TRUE(waitOpened(1));
        EXPECT_EQ(opened(), QStringList{server.base()});
    }

    // Next time the copy is found: "no" leaves it and asks the server nothing.
    server.putPackage(PackageName, package);
    const auto before = server.requests().size();
    ui.asked.clear();
    {
        frmMiseAJour dialog;
        prepare(dialog);
        ui.answers = {AnswerNo};
        auto *next = child<QPushButton>(&dialog, "cmdSuivant");
        next->click();
        ASSERT_EQ(ui.asked.size(), 1);
        EXPECT_EQ(ui.asked[0].message, Message(83));
        EXPECT_EQ(ui.asked[0].style, StyleYesNo + StyleQuestion);
        test::runEvents(200);
        EXPECT_EQ(server.requests().size(), before);
        EXPECT_EQ(local(), package.left(1000));
        EXPECT_TRUE(next->isEnabled());

        // "Yes" replaces it with the whole package. No program takes it: the
        // user is told where it is and the program stays.
        qputenv("PATH", QFile::encodeName(temp.filePath(QStringLiteral("tmp"))));
        ui.answers = {AnswerYes};
        next->click();
        ASSERT_TRUE(test::waitFor([&] { return ui.asked.size() == 3; }, 10000));
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
        EXPECT_FALSE(dialog.quitRequested());
        EXPECT_EQ(local(), package);
        ASSERT_EQ(ui.asked.size(), 3);
        EXPECT_TRUE(ui.asked[2].message.contains(localPackage())) << ui.asked[2].message.toStdString();
        EXPECT_EQ(ui.asked[2].style, StyleExclamation);
    }
}

TEST_F(UpdateDialog, APackageFailingItsChecksumIsDeletedAndTheUserToldWhy) {
    const QString sums = PackageName + QStringLiteral(".sha256");
    struct Case {
        const char *what;
        QByteArray checksum; // null: none published
        const char *said;
    } cases[] = {
        {"missing", QByteArray(), "cannot be found"},
        {"wrong", QByteArray(64, 'a'), "does not match"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        server.put(PackageName, package);
        if (c.checksum.isNull())
            server.remove(sums);
        else
            server.put(sums, c.checksum);
        ui.asked.clear();
        ui.answers = {AnswerOk, AnswerNo};
        frmMiseAJour dialog;
        prepare(dialog);
        dialog.show();
        child<QPushButton>(&dialog, "cmdSuivant")->click();
        ASSERT_TRUE(test::waitFor([&] { return ui.asked.size() == 2; }, 10000));
        EXPECT_TRUE(ui.asked[0].message.contains(QLatin1String(c.said))) << ui.asked[0].message.toStdString();
        EXPECT_TRUE(ui.asked[0].message.contains(update::checksumAddress(installer())));
        EXPECT_EQ(ui.asked[0].style, StyleExclamation);
        EXPECT_EQ(ui.asked[1].message, Message(84));
        EXPECT_FALSE(dialog.quitRequested());
        EXPECT_FALSE(QFile::exists(localPackage()));
    }
    test::runEvents(200);
    EXPECT_TRUE(opened().isEmpty()); // nothing was handed to the desktop

    // Something else under the package's name (a link here) is no earlier
    // copy to ask about, and what it points to is never written.
    const QString victim = temp.filePath(QStringLiteral("victim"));
    {
        QFile f(victim);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("mine");
    }
    ASSERT_TRUE(QFile::link(victim, localPackage()));
    server.putPackage(PackageName, package);
    ui.asked.clear();
    frmMiseAJour dialog;
    prepare(dialog);
    dialog.show();
    child<QPushButton>(&dialog, "cmdSuivant")->click();
    ASSERT_TRUE(test::waitFor([&] { return !dialog.isVisible(); }, 10000));
    EXPECT_TRUE(ui.asked.isEmpty()) << ui.messages().join(u" | ").toStdString();
    EXPECT_TRUE(dialog.quitRequested());
    EXPECT_EQ(local(), package);
    QFile f(victim);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), "mine");
}

// Clicks the download button of the update dialog once it is up.
void whenDialogShows(const std::function<void(frmMiseAJour *)> &act) {
    auto *timer = new QTimer(qApp);
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        if (auto *dialog = qobject_cast<frmMiseAJour *>(QApplication::activeModalWidget())) {
            timer->deleteLater();
            timer->stop();
            act(dialog);
        }
    });
    timer->start(20);
}

TEST_F(UpdateDialog, StartupCheckRunsInTheBackgroundAndClosesTheProgramForTheInstaller) {
    QWidget mainWindow;
    mainWindow.show();
    auto checked = [&] { return mainWindow.cursor().shape() != Qt::BusyCursor; };

    // The same version, sent slowly: the call returns at once and events run meanwhile.
    server.put(QStringLiteral("version.txt"), "1.12.2\n", "chunk=2 delay=0.2");
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(10);
    QElapsedTimer clock;
    clock.start();
    checkVersion_Click(&mainWindow);
    EXPECT_LT(clock.elapsed(), 300);
    EXPECT_EQ(mainWindow.cursor().shape(), Qt::BusyCursor);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    ASSERT_TRUE(test::waitFor(checked, 10000));
    EXPECT_GT(ticks, 20);
    EXPECT_TRUE(ui.asked.isEmpty());
    EXPECT_TRUE(mainWindow.isVisible());

    // No version file with a connection: message 7.
    server.remove(QStringLiteral("version.txt"));
    checkVersion_Click(&mainWindow);
    ASSERT_TRUE(test::waitFor(checked, 10000));
    ASSERT_EQ(ui.asked.size(), 1);
    EXPECT_EQ(ui.asked[0].message, Message(7));
    EXPECT_EQ(ui.asked[0].style, StyleInformation);
    EXPECT_EQ(ui.asked[0].title, Message(1));

    // Another version while the program is busy: the dialog waits for the end.
    ui.asked.clear();
    server.put(QStringLiteral("version.txt"), "1.12.3");
    server.put(QStringLiteral("release_note.txt"), "Travoline 1.12.3\nFaster renames");
    server.putPackage(PackageName, package);
    bool busy = true;
    QString caption, notes;
    whenDialogShows([&](frmMiseAJour *dialog) {
        caption = dialog->findChild<QLabel *>(QStringLiteral("Label_0"))->text();
        notes = dialog->findChild<QPlainTextEdit *>(QStringLiteral("Text1"))->toPlainText();
        dialog->findChild<QPushButton *>(QStringLiteral("cmdSuivant"))->click();
    });
    checkVersion_Click(&mainWindow, [&] { return busy; });
    test::runEvents(1000);
    EXPECT_TRUE(caption.isEmpty());
    EXPECT_TRUE(server.requests().last().path.endsWith(QStringLiteral("release_note.txt")));
    busy = false;
    ASSERT_TRUE(test::waitFor([&] { return !mainWindow.isVisible(); }, 10000));
    EXPECT_EQ(caption, QStringLiteral("A new version of Travoline is available: 1.12.3"));
    EXPECT_EQ(notes, QStringLiteral("Faster renames\n"));
    EXPECT_TRUE(checked());
    // The package, then its checksum beside it.
    const auto requests = server.requests();
    ASSERT_GE(requests.size(), 2);
    EXPECT_EQ(requests[requests.size() - 2].path, QStringLiteral("/Travoline/") + PackageName);
    EXPECT_EQ(requests.last().path, QStringLiteral("/Travoline/") + PackageName + QStringLiteral(".sha256"));
    EXPECT_EQ(local(), package);
    ASSERT_TRUE(waitOpened(2));
    EXPECT_TRUE(opened().contains(QUrl::fromLocalFile(localPackage()).toString()));
    EXPECT_TRUE(ui.asked.isEmpty()) << ui.messages().join(u" | ").toStdString();
}

TEST_F(UpdateDialog, AboutBoxChecksOnDemand) {
    server.put(QStringLiteral("version.txt"), "1.12.2");
    frmAboutCredits box;
    box.show();
    auto *button = child<QPushButton>(&box, "cmdControleVersion");
    auto *notice = child<QLabel>(&box, "lblNotice");
    const QString noticeText = notice->text();
    ASSERT_TRUE(button->isVisible());
    button->click();
    EXPECT_EQ(notice->text(), Message(4));
    EXPECT_FALSE(button->isEnabled());
    ASSERT_TRUE(test::waitFor([&] { return ui.asked.size() == 1; }, 10000));
    EXPECT_EQ(ui.asked[0].message, Message(6));
    EXPECT_EQ(ui.asked[0].style, StyleInformation);
    EXPECT_EQ(notice->text(), noticeText);
    EXPECT_TRUE(button->isEnabled());

    server.put(QStringLiteral("version.txt"), "1.12.4");
    ui.answers = {AnswerYes};
    button->click();
    ASSERT_TRUE(test::waitFor([&] { return ui.asked.size() == 2; }, 10000));
    EXPECT_EQ(ui.asked[1].message, Message(5, QStringLiteral("1.12.4"), server.base()));
    EXPECT_EQ(ui.asked[1].style, StyleYesNo + StyleInformation);
    ASSERT_TRUE(waitOpened(1));
    EXPECT_EQ(opened(), QStringList{server.base()});

    // Without an address the button is not there.
    qputenv(update::ServerAddressVariable, "");
    frmAboutCredits plain;
    EXPECT_TRUE(child<QPushButton>(&plain, "cmdControleVersion")->isHidden());
}

} // namespace
