// The normalisation options on many names: trimming, capitals, extension and
// case, the forbidden-character table and the identical-names numbering.
// Prints the time per name for growing counts, so that anything worse than
// linear in the number of names shows as a growing figure.

#include "core/engine/Normalise.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTextStream>
#include <cstdio>

using namespace tav;

namespace {

QList<ForbiddenRow> initialTable() {
    return {
        {QStringLiteral("éèêë"), QStringLiteral("e")},       {QStringLiteral("àâ"), QStringLiteral("a")},
        {QStringLiteral("ç"), QStringLiteral("c")},          {QStringLiteral("ïì"), QStringLiteral("i")},
        {QStringLiteral("ùû"), QStringLiteral("u")},         {QStringLiteral("ô"), QStringLiteral("o")},
        {QStringLiteral("/:?\"<>|\\"), QStringLiteral("_")},
    };
}

long peakKb() {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return -1;
}

// Runs the options over count names; identical makes every name the same
// (the numbering then works on every name), accents puts table characters in.
double run(int count, bool identical, bool accents) {
    QStringList names;
    names.reserve(count);
    for (int i = 0; i < count; ++i) {
        const QString stem = accents ? QStringLiteral("  été à la plage ") : QStringLiteral("  holiday photo ");
        names << (identical ? stem : stem + QString::number(i));
    }
    const ForbiddenCharReplacer replacer(initialTable());
    IdenticalNames table;
    table.reserve(count);
    QElapsedTimer timer;
    timer.start();
    qsizetype total = 0;
    for (const QString &n : names) {
        QString name = trimSpaces(n);
        name = upperFirstChar(name);
        name = upperFirstCharOfEachWord(name);
        name = applyExtensionAndCase(name, QStringLiteral("jpg"), CaseOption::Lower);
        name = replacer.apply(name);
        name = table.number(name);
        total += name.size();
    }
    const double ns = double(timer.nsecsElapsed()) / count;
    if (total == 0)
        std::puts("no output");
    return ns;
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    std::printf("%-8s %-28s %12s\n", "names", "case", "ns/name");
    for (int count : {10000, 100000, 200000}) {
        std::printf("%-8d %-28s %12.0f\n", count, "distinct, plain", run(count, false, false));
        std::printf("%-8d %-28s %12.0f\n", count, "distinct, accented", run(count, false, true));
        std::printf("%-8d %-28s %12.0f\n", count, "all identical (numbered)", run(count, true, true));
    }
    std::printf("peak memory (VmHWM): %ld kB\n", peakKb());
    return 0;
}
