// The main window with large rename lists, offscreen:
//  - "Add all" of a folder of N files (default 10,000): time until every row
//    shows its new name, and how often the window painted meanwhile;
//  - a list of M rows (default 100,000): time to paint the list at 200
//    scroll positions, and the time one key typed into the rule box takes
//    (the recomputation is deferred, so typing never waits for it);
//  - the deferred recomputation of the M rows itself;
//  - the rename of the M rows through the window's button, and the longest
//    time the window did not answer meanwhile.
//
// Usage: QT_QPA_PLATFORM=offscreen bench_window [N] [M] [--rename-only [--typed]]
// (--rename-only: the list of M rows and its rename, nothing else, with the
// folder list showing the folder renamed; N is then not used. --typed: the
// rule is typed into the rule box and Rename clicked at once, so that the
// click itself recomputes every name, as when the user does not wait.)

#include "core/app/MainController.h"
#include "core/settings/Settings.h"
#include "core/settings/modIniFile.h"
#include "gui/main/MainWindowFrontEnd.h"
#include "gui/main/frmMain.h"
#include "gui/shellbrowser/LVExplorer.h"
#include "gui/shellbrowser/TVExplorer.h"
#include "gui/widgets/ThumbnailCache.h"
#include "gui/widgets/ThumbnailList.h"

#include <QApplication>
#include <QComboBox>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <sys/resource.h>
#include <unistd.h>

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

// The thumbnails' cache as a user's: 5,000 entries of other files, and the
// failure records of the first 100 files of the folder (they are not
// pictures), which follow them when they are renamed.
void fillThumbnailCache(const QString &folder, const QStringList &names) {
    const QString normal = thumbs::cacheFolder() + QStringLiteral("/normal");
    QDir().mkpath(normal);
    for (int i = 0; i < 5000; ++i) {
        const QByteArray name = QCryptographicHash::hash(QByteArray::number(i), QCryptographicHash::Md5).toHex();
        QFile f(normal + QLatin1Char('/') + QLatin1String(name) + QStringLiteral(".png"));
        if (f.open(QIODevice::WriteOnly))
            f.write("x");
    }
    for (int i = 0; i < std::min<qsizetype>(100, names.size()); ++i)
        thumbs::thumbnail(folder + QLatin1Char('/') + names.at(i), QSize(128, 128));
}

// User and system time of the process, every thread.
double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// CPU time of the calling thread, and how often it was taken off a
// processor it still wanted: a pause whose thread ran much less than its
// length waited for the processor, not for our code.
struct ThreadClock {
    qint64 cpuNs = 0;
    long involuntary = 0;
    qint64 stolenMs = 0; // the virtual machine's processors held by its host, both summed
    static ThreadClock now() {
        ThreadClock c;
        if (FILE *f = std::fopen("/proc/stat", "r")) {
            unsigned long long v[8] = {};
            if (std::fscanf(f, "cpu %llu %llu %llu %llu %llu %llu %llu %llu", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5],
                            &v[6], &v[7]) == 8)
                c.stolenMs = qint64(v[7]) * 1000 / sysconf(_SC_CLK_TCK);
            std::fclose(f);
        }
        timespec ts{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
        c.cpuNs = qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
        rusage u{};
        getrusage(RUSAGE_THREAD, &u);
        c.involuntary = u.ru_nivcsw;
        return c;
    }
};

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
    const bool renameOnly = argc > 3 && std::strcmp(argv[3], "--rename-only") == 0;
    const bool typeThenClick = renameOnly && argc > 4 && std::strcmp(argv[4], "--typed") == 0;

    QTemporaryDir dir;
    // The rename's journal and history go to the run's own folder.
    qputenv("XDG_STATE_HOME", QFile::encodeName(dir.path() + QStringLiteral("/state")));
    // So does the thumbnails' cache, which holds entries as a user's would.
    qputenv("XDG_CACHE_HOME", QFile::encodeName(dir.path() + QStringLiteral("/cache")));
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

    auto *list = window.findChild<LVExplorer *>(QStringLiteral("ListView1"));
    auto *renameList = window.findChild<QTableView *>(QStringLiteral("lstrename"));
    PaintCounter painted;
    window.findChild<QProgressBar *>(QStringLiteral("ProgressBar1"))->installEventFilter(&painted);
    renameList->viewport()->installEventFilter(&painted);
    const QAbstractItemModel *model = controller.model();
    QElapsedTimer t;
    if (!renameOnly) {
        // Add all.
        const QString small = dir.path() + QStringLiteral("/small");
        QDir().mkpath(small);
        makeFiles(small, addCount);
        window.openPath(small);
        list->waitForListing();
        t.start();
        QTest::mouseClick(window.findChild<QPushButton *>(QStringLiteral("cmdAddAll")), Qt::LeftButton);
        const qint64 addMs = t.elapsed();
        const QString last = model->index(model->rowCount() - 1, 1).data().toString();
        std::printf("add all %d files:            %lld ms (%d rows, last new name \"%s\", %d paints meanwhile)\n",
                    addCount, static_cast<long long>(addMs), model->rowCount(), qPrintable(last), painted.paints);

        // A big list.
        controller.cmdClear_Click();
    }
    const QString big = dir.path() + QStringLiteral("/big");
    QDir().mkpath(big);
    makeFiles(big, bigCount);
    QStringList names = QDir(big).entryList(QDir::Files, QDir::Name);
    fillThumbnailCache(big, names);
    t.start();
    controller.cmdAddAll_Click(big, names);
    std::printf("add %d files (controller):   %lld ms\n", model->rowCount(), static_cast<long long>(t.elapsed()));
    if (renameOnly) {
        // As a user would: the folder list shows the folder being renamed.
        window.openPath(big);
        list->waitForListing();
    }
    waitUntilIdle(200);

    if (!renameOnly) {
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
    }

    // The rename of the big list through the window's button: the whole
    // command, and the longest time the window could not answer (between two
    // turns of its event loop, seen by a timer of 5 ms).
    // The rule is validated and the names computed before the click, as when
    // the user waited for the names to show.
    // With --typed the rule is typed just before the click instead: the
    // click recomputes every name first.
    const QString ruleText = QStringLiteral("R_###### - *");
    if (typeThenClick) {
        QLineEdit *rule = window.findChild<QComboBox *>(QStringLiteral("cboRenommer"))->lineEdit();
        rule->setFocus();
        waitUntilIdle(50);
        rule->selectAll();
        QTest::keyClicks(rule, ruleText);
    } else {
        controller.writeRule(ruleText);
        waitUntilIdle(100);
    }
    qint64 longest = 0, turns = 0;
    QElapsedTimer sinceTurn;
    QTimer beat;
    // Where the rename was at each turn (the progress bar's text and value,
    // the rows left): the longest pause is told by where it began and ended.
    auto *progress = window.findChild<QProgressBar *>(QStringLiteral("ProgressBar1"));
    auto where = [&] {
        if (!progress->isVisible())
            return QStringLiteral("no progress bar, %1 rows").arg(model->rowCount());
        return QStringLiteral("bar %1 %2/%3").arg(progress->format()).arg(progress->value()).arg(progress->maximum());
    };
    QString lastWhere, longestFrom, longestTo;
    ThreadClock atTurn, longestRan; // the window's thread at the last turn, and during the longest pause
    // The monotonic clock at the last turn and at the longest pause's ends,
    // for a profile taken alongside (perf record -k CLOCK_MONOTONIC).
    auto monotonic = [] {
        timespec ts{};
        clock_gettime(CLOCK_MONOTONIC, &ts);
        return double(ts.tv_sec) + ts.tv_nsec / 1e9;
    };
    double turnAt = 0, longestAt = 0;
    QObject::connect(&beat, &QTimer::timeout, [&] {
        const QString now = where();
        const ThreadClock clock = ThreadClock::now();
        if (sinceTurn.nsecsElapsed() > longest) {
            longest = sinceTurn.nsecsElapsed();
            longestFrom = lastWhere;
            longestTo = now;
            longestRan = {clock.cpuNs - atTurn.cpuNs, clock.involuntary - atTurn.involuntary,
                          clock.stolenMs - atTurn.stolenMs};
            longestAt = turnAt;
        }
        atTurn = clock;
        turnAt = monotonic();
        lastWhere = now;
        sinceTurn.start();
        ++turns;
    });
    // A question the rename asks is answered yes, and said.
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            std::printf("question: %s\n", qPrintable(box->text().left(200)));
            box->done(QMessageBox::Yes);
        } else if (QWidget *dialog = QApplication::activeModalWidget()) {
            // The program's own message box: its first button is yes.
            const auto *text = dialog->findChild<QLabel *>(QStringLiteral("lblMsg"));
            std::printf("question: %s\n", text ? qPrintable(text->text().left(200)) : "?");
            for (QPushButton *b : dialog->findChildren<QPushButton *>())
                if (b->isVisible()) {
                    b->click();
                    break;
                }
        }
    });
    answer.start(10);
    painted.paints = 0;
    const int rows = model->rowCount();
    beat.start(5);
    sinceTurn.start();
    lastWhere = where();
    atTurn = ThreadClock::now();
    turnAt = monotonic();
    const double cpuBefore = cpuSeconds();
    t.start();
    QTest::mouseClick(window.findChild<QPushButton *>(QStringLiteral("cmdRenommer")), Qt::LeftButton);
    const qint64 renameMs = t.elapsed();
    const double cpuRename = cpuSeconds() - cpuBefore;
    if (sinceTurn.nsecsElapsed() > longest) {
        longest = sinceTurn.nsecsElapsed();
        longestFrom = lastWhere;
        longestTo = QStringLiteral("the rename's end");
        const ThreadClock clock = ThreadClock::now();
        longestRan = {clock.cpuNs - atTurn.cpuNs, clock.involuntary - atTurn.involuntary,
                      clock.stolenMs - atTurn.stolenMs};
        longestAt = turnAt;
    }
    std::printf("rename of %d listed files:  %lld ms (%d left in the list, %d paints, %lld event turns, "
                "the window unanswering %.0f ms at most; CPU %.0f ms)\n",
                rows, static_cast<long long>(renameMs), model->rowCount(), painted.paints,
                static_cast<long long>(turns), longest / 1e6, cpuRename * 1000);
    std::printf(
        "  the longest pause: from \"%s\" to \"%s\"; the window's thread ran %.0f ms of it, taken off "
        "the processor %ld times, the host took %lld ms of the machine's processors (monotonic clock %.3f to %.3f "
        "s)\n",
        qPrintable(longestFrom), qPrintable(longestTo), longestRan.cpuNs / 1e6, longestRan.involuntary,
        static_cast<long long>(longestRan.stolenMs), longestAt, longestAt + longest / 1e9);
    if (typeThenClick) // the names the files got are those of the rule typed
        std::printf("  typed rule: first file now \"%s\"\n",
                    QFileInfo::exists(big + QStringLiteral("/R_000001 - ") + names.value(0)) ? "as typed"
                                                                                             : "NOT as typed");

    // What the window still does afterwards: the folder list read again and
    // shown, and the thumbnails' cache entries moved on their thread.
    auto *thumbnails = window.findChild<ThumbnailList *>(QStringLiteral("ListView2"));
    longest = 0;
    lastWhere = QStringLiteral("the rename's end");
    sinceTurn.start();
    // The loop sleeps between events, as the window's own does: the threads
    // keep both processors.
    QEventLoop settling;
    QTimer settled;
    QObject::connect(&settled, &QTimer::timeout, [&] {
        if (!list->isListing() && !thumbnails->movingEntries())
            settling.quit();
    });
    settled.start(10);
    settling.exec();
    const qint64 settledMs = t.elapsed();
    const double cpuSettled = cpuSeconds() - cpuBefore;
    int followed = 0; // failure records now under the new names
    for (int i = 0; i < std::min<qsizetype>(100, names.size()); ++i)
        followed += QFileInfo::exists(
            thumbs::failurePath(big + QStringLiteral("/R_%1 - ").arg(i + 1, 6, 10, QLatin1Char('0')) + names.at(i)));
    std::printf("  settled after %lld ms (folder list of %d rows, first \"%s\"; %d thumbnail records followed), the "
                "window unanswering %.0f ms at most meanwhile; CPU %.0f ms in all threads since the click\n",
                static_cast<long long>(settledMs), list->model()->rowCount(),
                qPrintable(list->model()->index(0, 0).data().toString()), followed, longest / 1e6, cpuSettled * 1000);
    beat.stop();

    setFrontEnd(nullptr);
    modIniFile::setSettingsFilePath(QString());
    return 0;
}
