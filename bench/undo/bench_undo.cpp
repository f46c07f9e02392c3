// Renames N files (10,000 by default) with the rename batch and records the
// batch in the rename history, as the rename command does, then undoes it
// from the history; prints both times and their ratio (median of the rounds).
// The journal and the history live in a state folder on the same file system.
// Wall time and the process's CPU time (user + system) are both given: on a
// busy machine the CPU time is the steadier of the two.
//   bench_undo [FILES] [ROUNDS] [FOLDER]
#include "core/i18n/Language.h"
#include "core/rename/RenameBatch.h"
#include "core/rename/RenameHistory.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace {

QString oldPath(const QString &folder, int i) {
    return folder + QStringLiteral("/IMG_%1.jpg").arg(i, 5, 10, QLatin1Char('0'));
}
QString newPath(const QString &folder, int i) {
    return folder + QStringLiteral("/holiday_%1.jpg").arg(i + 1, 5, 10, QLatin1Char('0'));
}

void makeFiles(const QString &folder, int n) {
    for (int i = 0; i < n; ++i) {
        const QByteArray path = QFile::encodeName(oldPath(folder, i));
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        if (fd < 0 || ::write(fd, path.constData(), size_t(path.size())) < 0) {
            std::perror("create");
            std::exit(1);
        }
        ::close(fd);
    }
}

double cpuMs() {
    timespec ts{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int n = args.size() > 1 ? args[1].toInt() : 10000;
    const int rounds = args.size() > 2 ? args[2].toInt() : 5;
    const QString root = args.size() > 3 ? args[3] : QStringLiteral("/dev/shm");
    tav::i18n::setLanguage(QStringLiteral("English"));
    QTemporaryDir state(root + QStringLiteral("/bench-state-XXXXXX"));
    qputenv("XDG_STATE_HOME", QFile::encodeName(state.path()));

    std::vector<double> forward, undo, forwardCpu, undoCpu;
    for (int r = 0; r < rounds; ++r) {
        QTemporaryDir dir(root + QStringLiteral("/bench-undo-XXXXXX"));
        makeFiles(dir.path(), n);

        QElapsedTimer t;
        double cpu = cpuMs();
        t.start();
        QList<tav::RenameItem> items;
        items.reserve(n);
        for (int i = 0; i < n; ++i)
            items.append({oldPath(dir.path(), i), newPath(dir.path(), i), QString()});
        tav::RenameBatch batch(std::move(items));
        batch.prepare();
        batch.run({});
        const qint64 id = tav::history::record(batch, {}, 50);
        forward.push_back(t.nsecsElapsed() / 1e6);
        forwardCpu.push_back(cpuMs() - cpu);
        if (batch.renamedCount() != n || id == 0)
            std::fprintf(stderr, "batch renamed %d of %d, history id %lld\n", batch.renamedCount(), n, id);

        cpu = cpuMs();
        t.restart();
        tav::UndoOptions options;
        options.id = id;
        const tav::UndoReport report = tav::undoBatch(options);
        undo.push_back(t.nsecsElapsed() / 1e6);
        undoCpu.push_back(cpuMs() - cpu);
        if (report.renamed != n || !QFile::exists(oldPath(dir.path(), n - 1)))
            std::fprintf(stderr, "undo put back %d of %d\n", report.renamed, n);
    }
    const double f = median(forward), u = median(undo), fc = median(forwardCpu), uc = median(undoCpu);
    std::printf("files: %d on %s, rounds: %d (medians)\n", n, qPrintable(root), rounds);
    std::printf("rename batch + history record: %8.1f ms wall %8.1f ms CPU\n", f, fc);
    std::printf("undo of that batch:            %8.1f ms wall %8.1f ms CPU  (%.2fx / %.2fx the batch)\n", u, uc, u / f,
                uc / fc);
    return 0;
}
