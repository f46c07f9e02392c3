// What the splash itself costs start-up: building it, showing it with its one
// paint, reading its texts again and unloading it, as start-up does.
//   DISPLAY=:N bench_splash [runs]        (a real display: Xvfb will do)

#include "core/i18n/Language.h"
#include "gui/dialogs/frmSplash.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTextStream>
#include <algorithm>
#include <memory>
#include <vector>

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 50;
    tav::i18n::setLanguage(QStringLiteral("Français"));
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        auto splash = std::make_unique<tav::frmSplash>();
        splash->showCentred();
        splash->load();
        splash.reset();
        ms.push_back(t.nsecsElapsed() / 1e6);
        app.processEvents();
    }
    // The first splash also pays for the first window of the process (fonts,
    // style, the display connection), which the main window pays otherwise.
    const double first = ms.front();
    std::sort(ms.begin(), ms.end());
    QTextStream(stdout) << QStringLiteral("splash: first %1 ms; over %2 runs median %3 ms, min %4 ms, max %5 ms\n")
                               .arg(first, 0, 'f', 1)
                               .arg(runs)
                               .arg(ms[ms.size() / 2], 0, 'f', 1)
                               .arg(ms.front(), 0, 'f', 1)
                               .arg(ms.back(), 0, 'f', 1);
    return 0;
}
