// update_names over 100,000 rows: pattern with a counter, the base name, the
// first number of the old name, trimming and the forbidden-character table.
// Prints the time of the first add (affiche_nom per file), of update_names,
// and the peak memory of the process.

#include "core/filelist/RenameList.h"
#include "core/i18n/Language.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTextStream>
#include <ctime>

using namespace tav;

namespace {
QString peakMemory() {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return QStringLiteral("?");
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return QString::fromLatin1(line.mid(6).trimmed());
    return QStringLiteral("?");
}
// CPU time of the process, in ms: unlike the wall clock it does not grow
// when other programs share the machine.
double cpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1000.0 + double(ts.tv_nsec) / 1e6;
}
} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    const int rows = argc > 1 ? QString::fromLatin1(argv[1]).toInt() : 100000;
    i18n::setLanguage(QStringLiteral("Français"));

    RenameList engine;
    engine.setPattern(QStringLiteral("  Voyage ###### - * - $N$  "));
    engine.rule().EffaceEspace = 1;
    engine.rule().RemplacerCaractereInterdit = 1;
    engine.rule().IncrementeFichierIdentique = 1;

    QStringList paths;
    paths.reserve(rows);
    for (int i = 0; i < rows; ++i)
        paths << QStringLiteral("/photos/été %1/Île à côté IMG_%2 (copie).jpg")
                     .arg(i / 1000)
                     .arg(i, 6, 10, QLatin1Char('0'));

    QElapsedTimer t;
    t.start();
    double cpu = cpuMs();
    for (const QString &p : std::as_const(paths))
        engine.affiche_nom(p);
    const qint64 addMs = t.elapsed();
    const double addCpu = cpuMs() - cpu;

    t.restart();
    cpu = cpuMs();
    engine.update_names();
    const qint64 updateMs = t.elapsed();
    const double updateCpu = cpuMs() - cpu;

    QTextStream out(stdout);
    out << "rows: " << engine.model()->count() << '\n'
        << "first row: " << engine.model()->entry(0).newName << '\n'
        << "last row: " << engine.model()->entry(rows - 1).newName << '\n'
        << "add (affiche_nom per file): " << addMs << " ms wall, " << qRound(addCpu) << " ms CPU\n"
        << "update_names: " << updateMs << " ms wall, " << qRound(updateCpu) << " ms CPU\n"
        << "peak memory (VmHWM): " << peakMemory() << '\n';
    return 0;
}
