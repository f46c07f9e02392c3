// Start-up of the program: one copy per user, settings, the main window,
// the folder given on the command line.

#include "core/app/MainController.h"
#include "core/app/SingleInstance.h"
#include "core/base/Version.h"
#include "core/base/mTavCommon.h"
#include "core/engine/Validation.h"
#include "core/i18n/HelpFile.h"
#include "core/i18n/Language.h"
#include "core/metadata/Exif.h"
#include "core/rename/RenameJournal.h"
#include "core/settings/Settings.h"
#include "core/settings/modIniFile.h"
#include "core/update/UpdateCheck.h"
#include "gui/dialogs/CHelp.h"
#include "gui/dialogs/frmChoixOutilExif.h"
#include "gui/dialogs/frmHelp.h"
#include "gui/dialogs/frmMiseAJour.h"
#include "gui/dialogs/frmSplash.h"
#include "gui/main/MainWindowFrontEnd.h"
#include "gui/main/Startup.h"
#include "gui/main/frmMain.h"

#include <QFileInfo>
#include <QPointer>
#include <QTimer>

using namespace tav;

namespace {

int run(int argc, char **argv) {
    GuardedApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(ProgramTitle));
    QApplication::setOrganizationName(QString::fromLatin1(ProgramTitle));

    // 1. A copy already running comes forward and this one ends, settings untouched.
    // Paths given on the command line (a file manager's "Open with" passes
    // several) go to the running copy when there is one.
    QStringList paths;
    for (const QString &a : app.arguments().mid(1))
        if (!a.isEmpty())
            paths << QFileInfo(a).absoluteFilePath();
    SingleInstance single;
    if (single.notifyRunningCopy(paths))
        return 0;

    // 3. The splash, while the settings are read; it holds nothing up.
    std::unique_ptr<frmSplash> splash;
    if (frmSplash::wanted()) {
        splash = std::make_unique<frmSplash>();
        splash->showCentred();
    }

    initTwipsFromScreen();
    Settings &s = settings();
    ExifReader &exif = exifReader();
    std::unique_ptr<MainController> controller;
    std::unique_ptr<frmMain> window;
    std::unique_ptr<MainWindowFrontEnd> frontEndOfWindow;
    int line = 0;
    const bool started = trapStartup(line, [&] {
        // 5. Settings (the folder is created when missing); the language follows them.
        line = 5;
        // The reader follows the settings; a stored batch mode starts the
        // resident ExifTool once they are read.
        bindExifReaderToSettings();
        CHelp::install();
        modIniFile::ReadIniFile();
        startChosenExifTool(s);
        if (splash)
            splash->load();

        // 6. A new version: the manual's "what is new" page opens after the
        // main window shows (below), so that it can stand beside it.
        line = 6;
        const bool newVersion = modIniFile::versionDiffersFromProgram(s.VersionCourante);

        line = 7;
        controller = std::make_unique<MainController>(s);
        controller->renameList().setMetadataSource(&exif);
        window = std::make_unique<frmMain>(controller.get());
        frontEndOfWindow = std::make_unique<MainWindowFrontEnd>(window.get());
        setFrontEnd(frontEndOfWindow.get());
        modIniFile::hooks().beforeSave = [&window](Settings &) {
            if (window)
                window->storeIntoSettings();
        };

        // 8. Title, tool in use, the window's load and first activation.
        line = 8;
        controller->loadFromSettings();
        window->Form_Load();
        window->setMetadataReader(&exif);
        window->openStartFolder();
        splash.reset();
        window->show();
        reportWhenUsable(window.get());
        QObject::connect(&single, &SingleInstance::activationRequested, window.get(), &frmMain::comeForward);
        QObject::connect(&single, &SingleInstance::pathsReceived, window.get(), &frmMain::openPaths);

        // 9. No metadata tool chosen yet: the choice comes first.
        line = 9;
        if (s.OutilExifChoisi == ExifModeNotChosen)
            frmChoixOutilExif::choose(exif, window.get());
        // The "what is new" page of step 6, once no question stands in front of it.
        if (newVersion) {
            CHelp::show(help::TopicWhatIsNew);
            // Where there is no room beside the main window, the page waits
            // behind it rather than covering the list the user came for.
            if (QWidget *page = CHelp::window(); page && page->frameGeometry().intersects(window->frameGeometry())) {
                // Once the window manager has put the new page on top.
                QTimer::singleShot(300, window.get(), [page = QPointer<QWidget>(page), main = window.get()] {
                    if (page)
                        page->lower();
                    main->raise();
                    main->activateWindow();
                });
            }
        }

        // 10. The update check, in the background; its answer waits while a rename runs.
        line = 10;
        checkVersion_Click(
            window.get(), [&controller] { return controller && controller->actionRunning(); },
            [](int topic) { CHelp::show(topic); });

        // A rename cut short by a crash: offer to put the files back.
        offerJournalRecovery();

        // 11. A folder or file given on the command line.
        line = 11;
        window->openPaths(paths);

        // 12. The rule's "$" characters.
        line = 12;
        checkNbDollarIsPair(s.regle.Regle);
    });
    if (!started && !window)
        return 1;

    const int code = app.failed() ? 2 : app.exec();
    update::stopBackgroundWork();
    exif.stopResident();
    setFrontEnd(nullptr);
    return app.failed() ? 2 : code;
}

} // namespace

int main(int argc, char **argv) {
    return guardedMain("travoline", [&] { return run(argc, argv); });
}
