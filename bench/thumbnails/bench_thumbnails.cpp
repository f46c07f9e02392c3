// Thumbnails of a folder of generated photos, twice: the photos alone, and
// the same photos with the small preview ExifTool stores in them. For each,
// the thumbnail list in a window with the shared thumbnail cache empty (first
// screen, all, where the pictures came from, the longest time the interface
// thread was busy) and again with the cache filled by the first visit. Then a
// plain thread-pool loop decoding the photos without a window, and the
// preview of one large photo.
//
//   bench_thumbnails [--files N] [--size WxH] [--thumb PX] [--folder DIR]
//
// The photos are made once under DIR (default /var/tmp/travoline-bench-
// thumbnails) and reused; a smaller --files takes the first N of them. The
// shared cache used is DIR/cache, emptied before each first visit.

#include "core/metadata/EmbeddedPreview.h"
#include "core/metadata/Exif.h"
#include "gui/widgets/ImagePreview.h"
#include "gui/widgets/ThumbnailCache.h"
#include "gui/widgets/ThumbnailList.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>
#include <QThreadPool>
#include <QTimer>
#include <QtConcurrent/QtConcurrentMap>

#include <atomic>
#include <cstdio>

namespace {

// The embedded preview: the Exif thumbnail's usual size, enough for the
// cache's normal size (128 pixels) of a 4:3 photo.
constexpr QSize PreviewStored(160, 120);

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

QString photoName(int i) {
    return QStringLiteral("IMG_%1.jpg").arg(i, 5, 10, QLatin1Char('0'));
}

void makePhotos(const QString &folder, int count, QSize size) {
    QDir().mkpath(folder);
    std::atomic<int> made{0};
    QList<int> seeds;
    for (int i = 0; i < count; ++i)
        seeds << i;
    QtConcurrent::blockingMap(seeds, [&](int i) {
        const QString path = QDir(folder).filePath(photoName(i));
        if (QFileInfo::exists(path))
            return;
        // Saved under another name first: an interrupted run leaves no half photo.
        photo(size.width(), size.height(), i).save(path + QStringLiteral(".part"), "JPG", 85);
        QFile::rename(path + QStringLiteral(".part"), path);
        ++made;
    });
    std::printf("generated %d photos of %dx%d in %s\n", made.load(), size.width(), size.height(), qPrintable(folder));
}

// Copies of the plain photos with their own picture stored as the Exif
// thumbnail by ExifTool, made in a side folder and moved in when done.
bool makeEmbedded(const QString &plain, const QString &embedded, int count) {
    const QString work = embedded + QStringLiteral(".work");
    QDir().mkpath(embedded);
    QList<int> missing;
    for (int i = 0; i < count; ++i)
        if (!QFileInfo::exists(QDir(embedded).filePath(photoName(i))))
            missing << i;
    if (missing.isEmpty())
        return true;
    QDir().mkpath(work + QStringLiteral("/thumbs"));
    const QString exiftool = QStandardPaths::findExecutable(QStringLiteral("exiftool"));
    if (exiftool.isEmpty()) {
        std::printf("ExifTool is not installed: no embedded previews\n");
        return false;
    }
    QtConcurrent::blockingMap(missing, [&](int i) {
        const QString source = QDir(plain).filePath(photoName(i));
        QFile::remove(work + QLatin1Char('/') + photoName(i));
        QFile::copy(source, work + QLatin1Char('/') + photoName(i));
        QImageReader reader(source);
        reader.setScaledSize(PreviewStored);
        reader.read().save(work + QStringLiteral("/thumbs/") + photoName(i), "JPG", 85);
    });
    QProcess tool;
    tool.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    tool.start(exiftool, {QStringLiteral("-q"), QStringLiteral("-overwrite_original"),
                          QStringLiteral("-ThumbnailImage<=") + work + QStringLiteral("/thumbs/%f.jpg"),
                          QStringLiteral("-ext"), QStringLiteral("jpg"), work});
    if (!tool.waitForFinished(-1) || tool.exitCode() != 0) {
        std::printf("ExifTool failed\n");
        return false;
    }
    for (int i : missing)
        QFile::rename(work + QLatin1Char('/') + photoName(i), QDir(embedded).filePath(photoName(i)));
    QDir(work).removeRecursively();
    std::printf("stored a %dx%d Exif thumbnail in %lld photos with ExifTool\n", PreviewStored.width(),
                PreviewStored.height(), qint64(missing.size()));
    return true;
}

struct Visit {
    double names = 0, firstScreen = -1, all = 0;
    qint64 longestGap = 0;
    tav::thumbs::Counts sources;
};

// The folder in a new thumbnail list (nothing kept in memory from before).
Visit visit(const QString &folder, const QStringList &names, QSize size) {
    Visit v;
    const tav::thumbs::Counts before = tav::thumbs::counts();
    ThumbnailList list;
    list.resize(640, 480);
    list.show();
    // A 5 ms timer measures how long the interface thread was busy between two ticks.
    QElapsedTimer tick;
    QTimer probe;
    probe.setInterval(5);
    QObject::connect(&probe, &QTimer::timeout, [&] { v.longestGap = std::max(v.longestGap, tick.restart()); });
    auto firstScreenDone = [&] {
        const auto [first, last] = list.visibleRows();
        if (first < 0)
            return false;
        for (int row = first; row <= last; ++row)
            if (list.picture(list.item(row)->text()).isNull())
                return false;
        return true;
    };
    // The event loop waits for events as the program's own does (a loop
    // polling for them would take a core from the decoding threads); the
    // first screen is checked as each picture arrives.
    QEventLoop loop;
    QElapsedTimer timer;
    QObject::connect(&list, &ThumbnailList::picturesReady, &loop, &QEventLoop::quit);
    QObject::connect(list.model(), &QAbstractItemModel::dataChanged, [&] {
        if (v.firstScreen < 0 && firstScreenDone())
            v.firstScreen = timer.nsecsElapsed() / 1e6;
    });
    timer.start();
    tick.start();
    probe.start();
    const bool waiting =
        list.build(folder, names, ThumbnailList::Options{true, QStringLiteral("jpg"), size}) && list.isDecoding();
    v.names = timer.nsecsElapsed() / 1e6;
    if (waiting)
        loop.exec();
    v.all = timer.nsecsElapsed() / 1e6;
    if (v.firstScreen < 0)
        v.firstScreen = v.all;
    const tav::thumbs::Counts after = tav::thumbs::counts();
    v.sources = {after.cache - before.cache, after.embedded - before.embedded, after.decoded - before.decoded,
                 after.failed - before.failed};
    return v;
}

void print(const char *what, const Visit &v) {
    std::printf("  %-28s names %4.0f ms, first screen %5.0f ms, all %6.0f ms, busy at most %3lld ms"
                "  (cache %d, embedded %d, decoded %d, failed %d)\n",
                what, v.names, v.firstScreen, v.all, v.longestGap, v.sources.cache, v.sources.embedded,
                v.sources.decoded, v.sources.failed);
}

} // namespace

int main(int argc, char **argv) {
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    int count = 2000, edge = 64;
    QSize photoSize(4000, 3000);
    QString root = QStringLiteral("/var/tmp/travoline-bench-thumbnails");
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--files"))
            count = args[i + 1].toInt();
        else if (args[i] == QLatin1String("--thumb"))
            edge = args[i + 1].toInt();
        else if (args[i] == QLatin1String("--folder"))
            root = args[i + 1];
        else if (args[i] == QLatin1String("--size"))
            photoSize = QSize(args[i + 1].section(QLatin1Char('x'), 0, 0).toInt(),
                              args[i + 1].section(QLatin1Char('x'), 1, 1).toInt());
    }
    const QString suffix = QStringLiteral("-%1x%2").arg(photoSize.width()).arg(photoSize.height());
    const QString plain = root + QStringLiteral("/plain") + suffix;
    const QString embedded = root + QStringLiteral("/embedded") + suffix;
    const QString cache = root + QStringLiteral("/cache");
    qputenv("XDG_CACHE_HOME", QFile::encodeName(cache));
    makePhotos(plain, count, photoSize);
    const bool withPreviews = makeEmbedded(plain, embedded, count);
    QStringList names;
    for (int i = 0; i < count; ++i)
        names << photoName(i);
    const QSize size(edge, edge);
    if (withPreviews) {
        // The preview must cover the photo fitted in the cache's size, not just the size shown.
        const int needed = tav::thumbs::flavourFor(size).edge;
        const auto fits = tav::Exif::embeddedPreview(QDir(embedded).filePath(names.first()), QSize(needed, needed));
        std::printf("embedded preview %s for thumbnails of %d shown, stored in '%s' at %d\n",
                    fits ? "large enough" : "TOO SMALL", edge, tav::thumbs::flavourFor(size).folder, needed);
    }
    std::printf("%lld files of %dx%d, thumbnails of %d, %d threads\n", qint64(names.size()), photoSize.width(),
                photoSize.height(), edge, QThreadPool::globalInstance()->maxThreadCount());

    for (const auto &[label, folder] :
         {std::pair{"photos alone", plain}, std::pair{"with Exif thumbnails", embedded}}) {
        if (folder == embedded && !withPreviews)
            continue;
        std::printf("%s:\n", label);
        // The pictures alone in a thread-pool loop without a window, the
        // cache empty and then filled; then the same in the window.
        auto loop = [&](const char *what) {
            QElapsedTimer timer;
            timer.start();
            QtConcurrent::blockingMap(
                names, [&](const QString &name) { (void)tav::thumbs::thumbnail(QDir(folder).filePath(name), size); });
            std::printf("  %-28s %.0f ms\n", what, timer.nsecsElapsed() / 1e6);
        };
        QDir(cache).removeRecursively();
        loop("empty cache, loop, no window");
        loop("cache filled, loop, no window");
        QDir(cache).removeRecursively();
        print("empty cache", visit(folder, names, size));
        print("cache filled (second visit)", visit(folder, names, size));
    }

    // The decoding alone, in a thread-pool loop without a window or cache.
    QElapsedTimer timer;
    timer.start();
    QtConcurrent::blockingMap(
        names, [&](const QString &name) { (void)tav::preview::thumbnailFromFile(QDir(plain).filePath(name), size); });
    std::printf("decoding alone, thread-pool loop without a window: %.0f ms\n", timer.nsecsElapsed() / 1e6);

    // A preview click on one photo, metadata included: the first one makes
    // the cache's large entry, the next ones read it.
    QDir(cache).removeRecursively();
    const QString big = QDir(plain).filePath(names.first());
    double first = 0, worst = 0, total = 0;
    const int runs = 10;
    // One reader, as the program's: its helper stays; its cache is emptied
    // each time so that the record is read again.
    tav::ExifReader reader;
    reader.configure(tav::ExifModeBuiltin, QString(), QString());
    for (int i = 0; i < runs; ++i) {
        reader.cache().clear();
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
    std::printf("preview of a %dx%d JPEG: first %.1f ms, then %.1f ms average, %.1f ms worst of %d\n",
                photoSize.width(), photoSize.height(), first, total / (runs - 1), worst, runs - 1);
    return 0;
}
