// Start-up of the program: one copy per user, settings, the main window,
// the folder given on the command line.

#include "core/app/MainController.h"
#include "gui/main/MainWindowFrontEnd.h"
#include "core/app/SingleInstance.h"
#include "core/base/Trap.h"
#include "core/base/Version.h"
#include "gui/main/frmMain.h"
#include "core/base/mTavCommon.h"
#include "gui/dialogs/frmChoixOutilExif.h"
#include "core/rename/RenameJournal.h"
#include "core/engine/Validation.h"
#include "core/i18n/Language.h"
#include "core/metadata/Exif.h"
#include "core/settings/Settings.h"
#include "core/settings/modIniFile.h"
#include "gui/shellbrowser/LVExplorer.h"
#include "gui/shellbrowser/TVExplorer.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

using namespace tav;

namespace {

// The folder the tree starts in: documents, the last folder, or a chosen one.
QString startFolder(const Settings &s)
{
    QString folder;
    switch (s.DossierDepart) {
    case 0:
        folder = mTavCommon::TavCheminDossier(0, 5);
        break;
    case 2:
        folder = s.DossierSpecifique;
        break;
    default:
        folder = s.dossierCourant;
        break;
    }
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        folder = QDir::homePath();
    return folder;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(ProgramTitle));
    QApplication::setOrganizationName(QString::fromLatin1(ProgramTitle));

    // 1. A copy already running comes forward and this one ends, settings untouched.
    SingleInstance single;
    if (single.notifyRunningCopy())
        return 0;

    initTwipsFromScreen();
    Settings &s = settings();
    ExifReader &exif = exifReader();
    std::unique_ptr<MainController> controller;
    std::unique_ptr<frmMain> window;
    std::unique_ptr<MainWindowFrontEnd> frontEndOfWindow;
    int line = 0;
    const bool started = trap(QStringLiteral("Main (Module MOD_MAIN) ligne = ") + QString::number(line), [&] {
        // 5. Settings (the folder is created when missing); the language follows them.
        line = 5;
        // The reader follows the settings before they are read, so that a
        // stored batch mode starts the resident ExifTool with the right mode.
        bindExifReaderToSettings();
        modIniFile::ReadIniFile();

        // 6. A new version: the help's "what is new" page (topic 10002) has its call site here.
        line = 6;
        const bool newVersion = modIniFile::versionDiffersFromProgram(s.VersionCourante);
        Q_UNUSED(newVersion);

        controller = std::make_unique<MainController>(s);
        controller->engine().setMetadataSource(&exif);
        window = std::make_unique<frmMain>(controller.get());
        frontEndOfWindow = std::make_unique<MainWindowFrontEnd>(window.get());
        setFrontEnd(frontEndOfWindow.get());
        modIniFile::hooks().beforeSave = [&window](Settings &) {
            if (window)
                window->storeIntoSettings();
        };
        exif.setModeChangedHandler([&window](int) {
            if (window)
                window->lblExitToolUsed->setText(Exif::toolInUseText(settings().OutilExifChoisi));
        });

        // 7, 8. Title, tool in use, the window's load and first activation.
        line = 8;
        controller->loadFromSettings();
        window->Form_Load();
        window->lblExitToolUsed->setText(Exif::toolInUseText(s.OutilExifChoisi));
        window->ListView1->attach(3, QString(), s.FiltreAffichage);
        window->TreeView1->attach(window->ListView1, 0, QString(), false);
        window->TreeView1->setTVPath(startFolder(s));
        window->show();
        QObject::connect(&single, &SingleInstance::activationRequested, window.get(), [&window] {
            window->showNormal();
            window->raise();
            window->activateWindow();
        });
        QObject::connect(window->cmdEffacerExif, &QPushButton::clicked, window.get(), [&exif] { exif.cmdEffacerExif(); });

        // 9. No metadata tool chosen yet: the choice comes first.
        line = 9;
        if (s.OutilExifChoisi == ExifModeNotChosen)
            frmChoixOutilExif::choose(exif, window.get());

        // 10. The update check has its call site here.
        line = 10;

        // A rename cut short by a crash: offer to put the files back.
        offerJournalRecovery();

        // 11. A folder or file given on the command line.
        line = 11;
        const QStringList args = app.arguments();
        if (args.size() > 1 && !args.at(1).isEmpty()) {
            const QString path = QFileInfo(args.at(1)).absoluteFilePath();
            if (mTavCommon::TavFileExists(path))
                window->TreeView1->setTVPath(path);
            else
                frontEnd().msgBox(i18n::Message(88, args.at(1)), 0, QStringLiteral("Message"));
        }

        // 12. The rule's "$" characters.
        line = 12;
        checkNbDollarIsPair(s.regle.Regle);
    });
    if (!started && !window)
        return 1;

    const int code = app.exec();
    exif.stopResident();
    setFrontEnd(nullptr);
    return code;
}
