// The main window with large rename lists, offscreen:
//  - "Add all" of a folder of N files (default 10,000): time until every row
//    shows its new name, and how often the window painted meanwhile;
//  - a list of M rows (default 100,000): time to paint the list at 200
//    scroll positions, and the time one key typed into the rule box takes
//    (the recomputation is deferred, so typing never waits for it);
//  - the deferred recomputation of the M rows itself.
//
// Usage: QT_QPA_PLATFORM=offscreen bench_window [N] [M]

#include "core/app/MainController.h"
#include "core/settings/Settings.h"
#include "core/settings/modIniFile.h"
#include "gui/main/MainWindowFrontEnd.h"
#include "gui/main/frmMain.h"
#include "gui/shellbrowser/LVExplorer.h"
#include "gui/shellbrowser/TVExplorer.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>

using namespace tav;

namespace {

// Counts the paint events of the watched widgets.
struct PaintCounter : QObject {
    int paints = 0;
    bool eventFilter(QObject *, QEvent *e) override {
        if (e->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

void makeFiles(const QString &folder, int count) {
    for (int i = 0; i < count; ++i) {
        QFile f(folder + QStringLiteral("/photo %1.jpg").arg(i, 6, 10, QLatin1Char('0')));
        if (f.open(QIODevice::WriteOnly))
            f.write("x");
    }
}

void waitUntilIdle(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

} // namespace

int main(int argc, char **argv) {
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    const int addCount = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int bigCount = argc > 2 ? std::atoi(argv[2]) : 100000;

    QTemporaryDir dir;
    modIniFile::setSettingsFilePath(dir.path() + QStringLiteral("/Travoline.ini"));
    Settings settings;
    settings.regle.Regle = QStringLiteral("IMG_##### - *");
    MainController controller(settings);
    frmMain window(&controller);
    MainWindowFrontEnd fe(&window);
    setFrontEnd(&fe);
    settings.DossierDepart = 2;
    settings.DossierSpecifique = dir.path();
    controller.loadFromSettings();
    window.Form_Load();
    window.openStartFolder();
    window.resize(1280, 900);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        std::fprintf(stderr, "the window was not exposed: figures may be off\n");

    // Add all.
    const QString small = dir.path() + QStringLiteral("/small");
    QDir().mkpath(small);
    makeFiles(small, addCount);
    auto *list = window.findChild<LVExplorer *>(QStringLiteral("ListView1"));
    auto *renameList = window.findChild<QTableView *>(QStringLiteral("lstrename"));
    window.openPath(small);
    list->waitForListing();
    PaintCounter painted;
    window.findChild<QProgressBar *>(QStringLiteral("ProgressBar1"))->installEventFilter(&painted);
    renameList->viewport()->installEventFilter(&painted);
    QElapsedTimer t;
    t.start();
    QTest::mouseClick(window.findChild<QPushButton *>(QStringLiteral("cmdAddAll")), Qt::LeftButton);
    const qint64 addMs = t.elapsed();
    const QAbstractItemModel *model = controller.model();
    const QString last = model->index(model->rowCount() - 1, 1).data().toString();
    std::printf("add all %d files:            %lld ms (%d rows, last new name \"%s\", %d paints meanwhile)\n", addCount,
                static_cast<long long>(addMs), model->rowCount(), qPrintable(last), painted.paints);

    // A big list.
    controller.cmdClear_Click();
    const QString big = dir.path() + QStringLiteral("/big");
    QDir().mkpath(big);
    makeFiles(big, bigCount);
    QStringList names = QDir(big).entryList(QDir::Files, QDir::Name);
    t.start();
    controller.cmdAddAll_Click(big, names);
    std::printf("add %d files (controller):   %lld ms\n", model->rowCount(), static_cast<long long>(t.elapsed()));
    waitUntilIdle(200);

    QScrollBar *bar = renameList->verticalScrollBar();
    t.start();
    const int frames = 200;
    for (int i = 0; i < frames; ++i) {
        bar->setValue(int(qint64(bar->maximum()) * i / (frames - 1)));
        renameList->viewport()->repaint();
    }
    std::printf("scroll and paint %d rows:   %.2f ms per frame (%d frames)\n", model->rowCount(),
                double(t.elapsed()) / frames, frames);

    QLineEdit *rule = window.findChild<QComboBox *>(QStringLiteral("cboRenommer"))->lineEdit();
    rule->setFocus();
    waitUntilIdle(50);
    rule->end(false);
    QElapsedTimer typing;
    qint64 worst = 0, total = 0;
    const QString typed = QStringLiteral("_$P$");
    for (QChar c : typed) {
        typing.start();
        QTest::keyClick(rule, c.toLatin1());
        const qint64 ns = typing.nsecsElapsed();
        total += ns;
        worst = std::max(worst, ns);
    }
    std::printf("one key in the rule box:      %.3f ms on average, %.3f ms at worst (%d rows)\n",
                total / 1e6 / typed.size(), worst / 1e6, model->rowCount());

    t.start();
    controller.ruleFocusOut(rule->text());
    std::printf("recomputation of %d rows:   %lld ms (first new name \"%s\")\n", model->rowCount(),
                static_cast<long long>(t.elapsed()), qPrintable(model->index(0, 1).data().toString()));

    setFrontEnd(nullptr);
    modIniFile::setSettingsFilePath(QString());
    return 0;
}
