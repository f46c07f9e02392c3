// Renames N files (10,000 by default) on tmpfs three ways, in the same run:
//   plain   - a C loop doing only the two renames per file the design needs
//   batch   - the rename batch: temporary names, conflict checks, journal, both phases
//   command - the whole rename command over a rename list of N rows
// and prints the time of each and its ratio to the plain loop (median of the rounds).
//   bench_rename [FILES] [ROUNDS] [FOLDER]
#include "core/filelist/RenameList.h"
#include "core/i18n/Language.h"
#include "core/rename/RenameBatch.h"
#include "core/rename/RenameCommand.h"
#include "core/rename/RenameJournal.h"
#include "core/settings/Settings.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

void makeFiles(const QString &folder, int n) {
    for (int i = 0; i < n; ++i) {
        const QByteArray path =
            QFile::encodeName(folder + QStringLiteral("/IMG_%1.jpg").arg(i, 5, 10, QLatin1Char('0')));
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        if (fd < 0 || ::write(fd, path.constData(), size_t(path.size())) < 0) {
            std::perror("create");
            std::exit(1);
        }
        ::close(fd);
    }
}

QString oldPath(const QString &folder, int i) {
    return folder + QStringLiteral("/IMG_%1.jpg").arg(i, 5, 10, QLatin1Char('0'));
}
QString newPath(const QString &folder, int i) {
    return folder + QStringLiteral("/holiday_%1.jpg").arg(i + 1, 5, 10, QLatin1Char('0'));
}

double plainLoop(const QString &folder, int n) {
    // Paths are prepared outside the timing: the loop is the bare system calls.
    std::vector<QByteArray> from(n), tmp(n), to(n);
    for (int i = 0; i < n; ++i) {
        from[i] = QFile::encodeName(oldPath(folder, i));
        tmp[i] = QFile::encodeName(
            folder + QStringLiteral("/tmp_Tvol_%1_IMG_%2.jpg").arg(i + 1).arg(i, 5, 10, QLatin1Char('0')));
        to[i] = QFile::encodeName(newPath(folder, i));
    }
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < n; ++i)
        if (::rename(from[i].constData(), tmp[i].constData()) != 0)
            std::perror("rename");
    for (int i = n - 1; i >= 0; --i)
        if (::rename(tmp[i].constData(), to[i].constData()) != 0)
            std::perror("rename");
    return t.nsecsElapsed() / 1e6;
}

double batch(const QString &folder, int n) {
    QElapsedTimer t;
    t.start();
    QList<tav::RenameItem> items;
    items.reserve(n);
    for (int i = 0; i < n; ++i)
        items.append({oldPath(folder, i), newPath(folder, i), QString()});
    tav::RenameBatch b(std::move(items));
    b.prepare();
    b.run({});
    const double ms = t.nsecsElapsed() / 1e6;
    if (b.renamedCount() != n)
        std::fprintf(stderr, "batch renamed %d of %d\n", b.renamedCount(), n);
    return ms;
}

double command(const QString &folder, int n) {
    tav::RenameList engine;
    tav::Settings settings;
    engine.setPattern(QStringLiteral("holiday_#####"));
    engine.model()->beginBatch();
    for (int i = 0; i < n; ++i)
        engine.affiche_nom(oldPath(folder, i));
    engine.model()->endBatch();
    QElapsedTimer t;
    t.start();
    const tav::RenameReport r = tav::cmdRenommer_Click(engine, settings);
    const double ms = t.nsecsElapsed() / 1e6;
    if (r.renamed != n)
        std::fprintf(stderr, "command renamed %d of %d\n", r.renamed, n);
    return ms;
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
    QTemporaryDir journals(root + QStringLiteral("/bench-journal-XXXXXX"));
    tav::RenameJournal::setJournalFolder(journals.path());

    std::vector<double> plain, batched, whole;
    for (int r = 0; r < rounds; ++r) {
        for (int kind = 0; kind < 3; ++kind) {
            QTemporaryDir dir(root + QStringLiteral("/bench-rename-XXXXXX"));
            makeFiles(dir.path(), n);
            if (kind == 0)
                plain.push_back(plainLoop(dir.path(), n));
            else if (kind == 1)
                batched.push_back(batch(dir.path(), n));
            else
                whole.push_back(command(dir.path(), n));
            if (QDir(dir.path()).entryList(QDir::Files).size() != n)
                std::fprintf(stderr, "file count changed\n");
        }
    }
    const double p = median(plain), b = median(batched), c = median(whole);
    std::printf("files: %d on %s, rounds: %d (medians)\n", n, qPrintable(root), rounds);
    std::printf("plain loop, two renames per file: %8.1f ms\n", p);
    std::printf("rename batch:                     %8.1f ms  (%.2fx)\n", b, b / p);
    std::printf("whole rename command:             %8.1f ms  (%.2fx)\n", c, c / p);
    return 0;
}
