// Thumbnails of a folder of generated JPEGs: a plain thread-pool loop without
// a window against the thumbnail list in a window (first screen, all, the
// longest time the interface thread was busy, memory held), and the preview
// of one large photo.
//
//   bench_thumbnails [files] [width] [height] [folder]
//
// The photos are made once in folder (default a temporary one) and reused.

#include "core/metadata/Exif.h"
#include "gui/widgets/ImagePreview.h"
#include "gui/widgets/ThumbnailList.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QTimer>
#include <QtConcurrent/QtConcurrentMap>

#include <atomic>
#include <cstdio>

namespace {

// A picture with some detail, so that the JPEG is not trivially small.
QImage photo(int width, int height, int seed) {
    QImage image(width, height, QImage::Format_RGB32);
    QPainter p(&image);
    QLinearGradient g(0, 0, width, height);
    g.setColorAt(0, QColor::fromHsv(seed * 37 % 360, 160, 230));
    g.setColorAt(1, QColor::fromHsv(seed * 91 % 360, 200, 90));
    p.fillRect(image.rect(), g);
    p.setPen(Qt::white);
    for (int i = 0; i < 40; ++i)
        p.drawEllipse(QPoint((seed * 131 + i * 977) % width, (seed * 71 + i * 613) % height), width / 20, height / 20);
    return image;
}

void makePhotos(const QString &folder, int count, int width, int height) {
    QDir().mkpath(folder);
    std::atomic<int> made{0};
    QList<int> seeds;
    for (int i = 0; i < count; ++i)
        seeds << i;
    QtConcurrent::blockingMap(seeds, [&](int i) {
        const QString path = QDir(folder).filePath(QStringLiteral("IMG_%1.jpg").arg(i, 5, 10, QLatin1Char('0')));
        if (QFileInfo::exists(path))
            return;
        photo(width, height, i).save(path, "JPG", 85);
        ++made;
    });
    std::printf("generated %d photos of %dx%d in %s\n", made.load(), width, height, qPrintable(folder));
}

} // namespace

int main(int argc, char **argv) {
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    const int count = argc > 1 ? std::atoi(argv[1]) : 2000;
    const int width = argc > 2 ? std::atoi(argv[2]) : 1600;
    const int height = argc > 3 ? std::atoi(argv[3]) : 1200;
    QTemporaryDir temp;
    const QString folder = argc > 4 ? QString::fromLocal8Bit(argv[4]) : temp.path();
    makePhotos(folder, count, width, height);
    QStringList names = QDir(folder).entryList({QStringLiteral("IMG_*.jpg")}, QDir::Files, QDir::Name);
    names = names.mid(0, count);
    const QSize size(64, 64);

    // 1. The same decoding in a thread-pool loop, no window.
    QElapsedTimer timer;
    timer.start();
    QtConcurrent::blockingMap(
        names, [&](const QString &name) { (void)tav::preview::thumbnailFromFile(QDir(folder).filePath(name), size); });
    const double plain = timer.nsecsElapsed() / 1e6;
    std::printf("%lld files, thread-pool loop without a window: %.0f ms (%d threads)\n", qint64(names.size()), plain,
                QThreadPool::globalInstance()->maxThreadCount());

    // 2. The thumbnail list in a window; a 5 ms timer measures how long the
    // interface thread was busy between two ticks.
    ThumbnailList list;
    list.resize(640, 480);
    list.show();
    QElapsedTimer tick;
    qint64 longestGap = 0;
    QTimer probe;
    probe.setInterval(5);
    QObject::connect(&probe, &QTimer::timeout, [&] { longestGap = std::max(longestGap, tick.restart()); });
    double firstScreen = -1;
    auto firstScreenDone = [&] {
        const auto [first, last] = list.visibleRows();
        if (first < 0)
            return false;
        for (int row = first; row <= last; ++row)
            if (list.picture(list.item(row)->text()).isNull())
                return false;
        return true;
    };
    bool done = false;
    QObject::connect(&list, &ThumbnailList::picturesReady, [&] { done = true; });
    timer.restart();
    tick.start();
    probe.start();
    list.build(folder, names, ThumbnailList::Options{true, QStringLiteral("jpg"), size});
    const double namesShown = timer.nsecsElapsed() / 1e6;
    while (!done) {
        app.processEvents(QEventLoop::AllEvents, 5);
        if (firstScreen < 0 && firstScreenDone())
            firstScreen = timer.nsecsElapsed() / 1e6;
    }
    const double all = timer.nsecsElapsed() / 1e6;
    probe.stop();
    qint64 bytes = 0;
    for (const QString &name : names) {
        const QPixmap p = list.picture(name);
        bytes += qint64(p.width()) * p.height() * p.depth() / 8;
    }
    std::printf("window: names shown %.0f ms, first screen %.0f ms, all %.0f ms (%.2f x the loop)\n", namesShown,
                firstScreen, all, all / plain);
    std::printf("interface thread busy at most %lld ms at a time; pictures held %.1f MB\n", longestGap,
                bytes / 1048576.0);

    // 3. A preview click on one large photo (12 megapixels), metadata included.
    const QString big = QDir(folder).filePath(QStringLiteral("big_12mp.jpg"));
    if (!QFileInfo::exists(big))
        photo(4000, 3000, 7).save(big, "JPG", 90);
    double first = 0, worst = 0, total = 0;
    const int runs = 10;
    for (int i = 0; i < runs; ++i) {
        tav::ExifReader reader; // a fresh one: no cached record
        reader.configure(tav::ExifModeBuiltin, QString(), QString());
        timer.restart();
        const QImage shown = tav::preview::previewImage(big, tav::preview::angleOfFile(big, &reader));
        const double ms = timer.nsecsElapsed() / 1e6;
        if (shown.isNull())
            return 1;
        if (i == 0) {
            first = ms;
            continue;
        }
        worst = std::max(worst, ms);
        total += ms;
    }
    std::printf("preview of a 4000x3000 JPEG: first %.1f ms, then %.1f ms average, %.1f ms worst of %d\n", first,
                total / (runs - 1), worst, runs - 1);
    return 0;
}
