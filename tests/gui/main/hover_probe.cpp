// The main window on a real X display, for the hover test driven by the X
// test extension: prints where the token label $A$ is on the screen, then
// every change of its colour, and ends after a while.

#include "core/app/MainController.h"
#include "core/settings/Settings.h"
#include "core/settings/modIniFile.h"
#include "gui/main/frmMain.h"

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

using namespace tav;

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    QTemporaryDir dir;
    modIniFile::setSettingsFilePath(dir.path() + QStringLiteral("/Travoline.ini"));
    Settings settings;
    settings.DossierDepart = 2;
    settings.DossierSpecifique = dir.path();
    MainController controller(settings);
    frmMain window(&controller);
    controller.loadFromSettings();
    window.Form_Load();
    window.openStartFolder();
    window.show();

    auto *tips = window.findChild<QListWidget *>(QStringLiteral("lstAstuce"));
    auto *label = window.findChild<QLabel *>(QStringLiteral("Label8_2"));
    if (!tips || !label)
        return 3;
    tips->setCurrentRow(0);

    QString last;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!label->isVisible())
            return;
        static bool told = false;
        if (!told) {
            const QPoint centre = label->mapToGlobal(QPoint(label->width() / 4, label->height() / 2));
            std::printf("label %d %d\n", centre.x(), centre.y());
            told = true;
        }
        const QString colour = label->palette().color(QPalette::WindowText).name();
        if (colour != last) {
            std::printf("colour %s\n", qPrintable(colour));
            last = colour;
        }
        std::fflush(stdout);
    });
    poll.start(20);
    QTimer::singleShot(argc > 1 ? QByteArray(argv[1]).toInt() : 15000, &app, &QApplication::quit);
    return app.exec();
}
