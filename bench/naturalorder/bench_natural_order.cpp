// Sorting many file names in natural order, and the regular-expression
// operator over them. Each kind of list is sorted several times from the
// same shuffled order; the best time is printed with the plain orders for
// comparison.

#include "core/base/NaturalOrder.h"
#include "core/browse/FolderListing.h"
#include "core/engine/RegexOperator.h"

#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <random>

using namespace tav;

namespace {

// Names as folders hold them: camera numbers, counters without zeros, mixed
// case, accented words with numbers, long names that share a long prefix.
QStringList makeNames(int count, int kind, std::mt19937 &random) {
    QStringList names;
    names.reserve(count);
    for (int i = 0; i < count; ++i) {
        switch (kind) {
        case 0:
            names << QStringLiteral("IMG_%1.JPG").arg(i, 5, 10, QLatin1Char('0'));
            break;
        case 1:
            names << (i % 3 ? QStringLiteral("file%1.txt") : QStringLiteral("File%1.txt")).arg(i);
            break;
        case 2:
            names << QStringLiteral("Été %1 à la plage - photo %2.jpg").arg(i % 97).arg(i);
            break;
        default:
            names << QStringLiteral("2026-12-09 Vacances au bord de la mer, journée %1, photo %2.jpeg")
                         .arg(i / 1000)
                         .arg(i % 1000);
            break;
        }
    }
    std::shuffle(names.begin(), names.end(), random);
    return names;
}

// The processor time of this thread, in milliseconds: on a machine shared
// with other work the wall time also counts the waits for a processor.
double threadMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

struct Time {
    double wall = 1e100, cpu = 1e100;
};

// The best wall and processor times of runs calls.
Time bestOf(int runs, const std::function<void()> &work) {
    Time best;
    for (int r = 0; r < runs; ++r) {
        QElapsedTimer t;
        t.start();
        const double c = threadMs();
        work();
        best.cpu = std::min(best.cpu, threadMs() - c);
        best.wall = std::min(best.wall, double(t.nsecsElapsed()) / 1e6);
    }
    return best;
}

Time sortTime(const QStringList &names, const std::function<void(QStringList &)> &sort) {
    QStringList copy;
    return bestOf(5, [&] {
        copy = names;
        copy.detach();
        sort(copy);
    });
}

} // namespace

int main(int argc, char **argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 100000;
    std::mt19937 random(7);
    const char *kinds[] = {"IMG_00001.JPG", "file1 / File2", "accented words", "long shared prefix"};
    std::printf("%d names, best of 5 runs, milliseconds as wall / processor time of the thread\n", count);
    std::printf("%-20s %15s %15s %15s %15s\n", "names", "natural", "folder list", "case-blind", "code units");
    const auto cell = [](const Time &t) {
        return QStringLiteral("%1 / %2").arg(t.wall, 0, 'f', 1).arg(t.cpu, 0, 'f', 1);
    };
    for (int kind = 0; kind < 4; ++kind) {
        const QStringList names = makeNames(count, kind, random);
        const Time natural = sortTime(names, [](QStringList &l) { sortNaturally(l); });
        // The folder list's name column, folders first.
        shell::FolderListing listing;
        for (const QString &n : names)
            listing.items.push_back(shell::FolderItem{n, QString()});
        const Time list = bestOf(5, [&] { (void)shell::naturalOrder(listing, shell::NameOrder::Natural); });
        const Time plain = sortTime(names, [](QStringList &l) { shell::sortNames(l); });
        const Time units = sortTime(names, [](QStringList &l) { std::sort(l.begin(), l.end()); });
        std::printf("%-20s %15s %15s %15s %15s\n", kinds[kind], qPrintable(cell(natural)), qPrintable(cell(list)),
                    qPrintable(cell(plain)), qPrintable(cell(units)));
    }

    // The operator on every base name of a list.
    const QStringList names = makeNames(count, 0, random);
    const RegexReplacer swap(QStringLiteral("(\\d+)"), QStringLiteral("n\\1"), false);
    const RegexReplacer caseless(QStringLiteral("img_"), QStringLiteral("photo-"), true);
    for (const auto &[label, replacer] :
         {std::pair{"(\\d+) -> n\\1", &swap}, std::pair{"img_ -> photo- /i", &caseless}}) {
        QElapsedTimer t;
        t.start();
        qsizetype total = 0;
        for (const QString &n : names)
            total += replacer->apply(n).text.size();
        std::printf("$REGEX %-18s %8.0f ns/name (%lld chars)\n", label, double(t.nsecsElapsed()) / count,
                    static_cast<long long>(total));
    }
    return 0;
}
