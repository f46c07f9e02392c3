// Reads the metadata of a folder of JPEG files in every tool mode and compares
// with one ExifTool run over the whole folder; then computes the names of a
// list of 10,000 photos with a date pattern through the built-in reader.
//
//   bench_metadata [files] [--skip-per-file] [--list N] [--builtin-only] [--photos DIR]
//
// The photos are made here: QImage draws them, one ExifTool run writes the
// same tags into all of them. --photos keeps them in DIR and uses them again
// on the next run (so that two builds can be timed on the same files);
// --builtin-only times the built-in reader alone.

#include "core/filelist/RenameList.h"
#include "core/i18n/Language.h"
#include "core/metadata/BuiltinReader.h"
#include "core/metadata/Exif.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <cstdio>
#include <ctime>

using namespace tav;

namespace {

QTextStream &out() {
    static QTextStream s(stdout);
    return s;
}

qint64 peakMemoryKb() {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

bool makePhotos(const QString &folder, int count) {
    QImage image(640, 480, QImage::Format_RGB32);
    for (int i = 0; i < count; ++i) {
        image.fill(QColor::fromHsv((i * 7) % 360, 160, 200));
        if (!image.save(folder + QStringLiteral("/IMG_%1.jpg").arg(i, 4, 10, QLatin1Char('0')), "JPG", 85))
            return false;
    }
    QProcess p;
    p.start(QStandardPaths::findExecutable(QStringLiteral("exiftool")),
            {QStringLiteral("-q"), QStringLiteral("-overwrite_original"), QStringLiteral("-Make=Canon"),
             QStringLiteral("-Model=Canon EOS 5D"), QStringLiteral("-CreateDate=2015:07:31 10:20:30"),
             QStringLiteral("-DateTimeOriginal=2015:07:31 10:20:30"), QStringLiteral("-Orientation#=6"),
             QStringLiteral("-Comment=benchmark photo"), QStringLiteral("-ExifImageWidth=640"),
             QStringLiteral("-ExifImageHeight=480"), folder});
    return p.waitForFinished(-1) && p.exitCode() == 0;
}

// CPU time of this process: on a loaded machine the wall clock also counts
// the time other processes had the cores.
double cpuUs() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e6 + double(ts.tv_nsec) / 1e3;
}

// CPU time a process has run so far, from the scheduler's own count (in
// nanoseconds, unlike the ticks of /proc/<pid>/stat).
double processCpuUs(pid_t pid) {
    QFile f(QStringLiteral("/proc/%1/schedstat").arg(pid));
    if (pid <= 0 || !f.open(QIODevice::ReadOnly))
        return 0;
    return f.readAll().split(' ').value(0).toDouble() / 1e3;
}

struct Result {
    qint64 ms = 0;
    qint64 us = 0;
    double cpuUs = 0;       // this process and the built-in reader's helper
    double helperCpuUs = 0; // of which the helper
    int filled = 0;         // records with a camera model
};

// announce: the files are announced first, as the program does before it
// computes the names of a list, so that the built-in reader sends them to
// its helper in batches. withStart: the helper's start is timed too.
Result readAll(int mode, const QStringList &files, const QString &tempFolder, bool announce = true,
               bool withStart = true) {
    ExifReader reader;
    reader.setTempFolder(tempFolder);
    // The built-in reader starts its helper when the mode is set: timed from
    // there when the start counts.
    const bool timeStart = mode == ExifModeBuiltin && withStart;
    QElapsedTimer t;
    t.start();
    double cpu = cpuUs();
    reader.configure(mode, DefaultJheadExtensions, DefaultExifToolExtensions);
    if (mode == ExifModeBuiltin && !withStart)
        reader.helper().runOne({ReaderProcess::Kind::Metadata, QString(), {}});
    const double helperBefore = timeStart ? 0 : processCpuUs(reader.helper().pid());
    if (!timeStart) {
        t.restart();
        cpu = cpuUs();
    }
    if (announce)
        reader.expect(files);
    Result r;
    for (const QString &f : files)
        if (!reader.getExif(f)[MetadataRecord::CameraModel].isEmpty())
            ++r.filled;
    r.us = t.nsecsElapsed() / 1000;
    r.helperCpuUs = processCpuUs(reader.helper().pid()) - helperBefore;
    r.cpuUs = cpuUs() - cpu + r.helperCpuUs;
    r.ms = r.us / 1000;
    return r;
}

// The names of a list of photos with a date pattern, through the built-in
// reader: the first computation (every file read) and a recomputation.
void nameList(const QString &folder, const QString &photo, int size) {
    QDir().mkpath(folder);
    QStringList paths;
    for (int i = 0; i < size; ++i) {
        const QString p = folder + QStringLiteral("/IMG_%1.jpg").arg(i, 5, 10, QLatin1Char('0'));
        QFile::copy(photo, p);
        paths << p;
    }
    ExifReader reader;
    reader.configure(ExifModeBuiltin, DefaultJheadExtensions, DefaultExifToolExtensions);
    RenameList engine;
    engine.setPattern(QStringLiteral("$dA$-$dM$-$dJ$_$K$"));
    engine.setMetadataSource(&reader);
    QElapsedTimer t;
    t.start();
    double cpu = cpuUs();
    // As the program does: the files are announced before they are added.
    reader.expect(paths);
    for (const QString &p : std::as_const(paths))
        engine.affiche_nom(p);
    const qint64 firstMs = t.elapsed();
    const qint64 firstCpuMs = qint64((cpuUs() - cpu + processCpuUs(reader.helper().pid())) / 1000);
    t.restart();
    cpu = cpuUs();
    engine.update_names();
    const qint64 againMs = t.elapsed();
    const qint64 againCpuMs = qint64((cpuUs() - cpu) / 1000);
    out() << "\n"
          << size << " photos, pattern $dA$-$dM$-$dJ$_$K$, built-in reader (target: under 1000 ms):\n"
          << "  first computation (every file read): " << firstMs << " ms wall, " << firstCpuMs << " ms CPU\n"
          << "  recomputation (records cached):      " << againMs << " ms wall, " << againCpuMs << " ms CPU\n"
          << "  first new name: " << engine.model()->index(0, 1).data().toString() << "\n";
}

} // namespace

int main(int argc, char **argv) {
    QGuiApplication app(argc, argv); // QImage's JPEG writer
    i18n::setLanguage(QStringLiteral("Français"));
    int count = 500;
    int listSize = 10000;
    bool perFile = true;
    bool builtinOnly = false;
    QString photoFolder;
    const QStringList args = app.arguments().mid(1);
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        if (a == QLatin1String("--skip-per-file"))
            perFile = false;
        else if (a == QLatin1String("--builtin-only"))
            builtinOnly = true;
        else if (a == QLatin1String("--photos") && i + 1 < args.size())
            photoFolder = args[++i];
        else if (a == QLatin1String("--list") && i + 1 < args.size())
            listSize = args[++i].toInt();
        else if (a.toInt() > 0)
            count = a.toInt();
    }

    QTemporaryDir work;
    const QString folder = photoFolder.isEmpty() ? work.filePath(QStringLiteral("photos")) : photoFolder;
    QDir().mkpath(folder);
    QElapsedTimer setup;
    setup.start();
    const bool made = QDir(folder).entryList({QStringLiteral("*.jpg")}, QDir::Files).size() == count;
    if (!made && !makePhotos(folder, count)) {
        std::fprintf(stderr, "could not make the photos (is exiftool installed?)\n");
        return 1;
    }
    QStringList files;
    for (const QString &n : QDir(folder).entryList({QStringLiteral("*.jpg")}, QDir::Files, QDir::Name))
        files << folder + QLatin1Char('/') + n;
    if (made)
        out() << files.size() << " JPEG files of 640 x 480 from " << folder << "\n\n";
    else
        out() << files.size() << " JPEG files of 640 x 480 made in " << setup.elapsed() << " ms\n\n";

    // The reference: one ExifTool run over the folder, its report in a file.
    QElapsedTimer t;
    t.start();
    qint64 onceMs = 0;
    if (!builtinOnly) {
        QProcess once;
        once.setStandardOutputFile(work.filePath(QStringLiteral("once.txt")));
        once.start(QStandardPaths::findExecutable(QStringLiteral("exiftool")), {folder});
        once.waitForFinished(-1);
        onceMs = t.elapsed();
        out() << QStringLiteral("%1 %2 ms  %3 ms/file\n")
                     .arg(QStringLiteral("one exiftool run over the folder"), -36)
                     .arg(onceMs, 7)
                     .arg(double(onceMs) / files.size(), 0, 'f', 2);
    }

    struct Mode {
        int mode;
        const char *name;
        bool perFileRuns;
    } modes[] = {
        {ExifModeBuiltin, "mode 5: built-in reader (Exiv2)", false},
        {ExifModeExifToolBatch, "mode 4: resident exiftool", false},
        {ExifModeJhead, "mode 1: jhead per file", true},
        {ExifModeJheadThenExifTool, "mode 2: jhead, then exiftool", true},
        {ExifModeExifTool, "mode 3: exiftool per file", true},
    };
    qint64 residentMs = 0;
    for (const Mode &m : modes) {
        if ((m.perFileRuns && !perFile) || (builtinOnly && m.mode != ExifModeBuiltin))
            continue;
        const Result r = readAll(m.mode, files, work.filePath(QStringLiteral("tmp%1").arg(m.mode)));
        if (m.mode == ExifModeExifToolBatch)
            residentMs = r.ms;
        if (m.mode == ExifModeBuiltin) {
            out() << QStringLiteral("%1 %2 us/file wall, %3 us/file CPU, helper's start included "
                                    "(target: at most 50)\n")
                         .arg(QString(), -36)
                         .arg(double(r.us) / files.size(), 7, 'f', 1)
                         .arg(r.cpuUs / files.size(), 0, 'f', 1);
            const Result started = readAll(m.mode, files, work.filePath(QStringLiteral("tmp5")), true, false);
            out() << QStringLiteral("%1 %2 us/file wall, %3 us/file CPU (%4 in the helper), helper running\n")
                         .arg(QString(), -36)
                         .arg(double(started.us) / files.size(), 7, 'f', 1)
                         .arg(started.cpuUs / files.size(), 0, 'f', 1)
                         .arg(started.helperCpuUs / files.size(), 0, 'f', 1);
            // The same parsing inside this process, as the reader did before
            // it had a helper: what the helper adds is the difference.
            double inside = cpuUs();
            QElapsedTimer insideWall;
            insideWall.start();
            for (const QString &f : files)
                (void)Exif::readBuiltin(f);
            inside = cpuUs() - inside;
            out() << QStringLiteral("%1 %2 us/file wall, %3 us/file CPU, parsed in this process (no helper)\n")
                         .arg(QString(), -36)
                         .arg(double(insideWall.nsecsElapsed()) / 1e3 / files.size(), 7, 'f', 1)
                         .arg(inside / files.size(), 0, 'f', 1);
            const Result single = readAll(m.mode, files, work.filePath(QStringLiteral("tmp5")), false, false);
            out() << QStringLiteral("%1 %2 us/file wall, %3 us/file CPU, one request per file\n")
                         .arg(QString(), -36)
                         .arg(double(single.us) / files.size(), 7, 'f', 1)
                         .arg(single.cpuUs / files.size(), 0, 'f', 1);
            // One pass takes a few tens of ms, so other work on the machine
            // moves it a lot: more passes, each with a fresh reader.
            QList<double> passes{r.cpuUs / files.size()};
            for (int i = 0; i < 6; ++i)
                passes << readAll(m.mode, files, work.filePath(QStringLiteral("tmp5"))).cpuUs / files.size();
            std::sort(passes.begin(), passes.end());
            out() << QStringLiteral("%1 7 passes: best %2, median %3 us/file CPU\n")
                         .arg(QString(), -36)
                         .arg(passes.first(), 0, 'f', 1)
                         .arg(passes[passes.size() / 2], 0, 'f', 1);
        }
        out()
            << QStringLiteral("%1 %2 ms  %3 ms/file  %4 records")
                   .arg(QString::fromLatin1(m.name), -36)
                   .arg(r.ms, 7)
                   .arg(double(r.ms) / files.size(), 0, 'f', 2)
                   .arg(r.filled)
            << (builtinOnly
                    ? QString()
                    : QStringLiteral("  x%1 of the single run").arg(double(r.ms) / qMax<qint64>(onceMs, 1), 0, 'f', 2))
            << "\n";
        out().flush();
    }
    if (!builtinOnly)
        out() << "\nresident / single run: " << QString::number(double(residentMs) / qMax<qint64>(onceMs, 1), 'f', 2)
              << "  (target: at most 2)\n";
    if (listSize > 0)
        nameList(work.filePath(QStringLiteral("list")), files.first(), listSize);
    out() << "peak memory of this process: " << peakMemoryKb() / 1024 << " MB\n";
    return 0;
}
