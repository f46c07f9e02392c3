// Mutated photos through the built-in reader: it must neither crash nor hang.
//
//   fuzz_builtin_reader [--runs N] [--seed S] [--keep DIR] [more seed files...]
//
// A small corpus is made here (QImage draws the pictures, ExifTool writes
// EXIF, XMP and comments into them); seed files given are added to it. Every run applies one to
// three mutations to one seed: flipped bits, bytes set to 0xff or 0 (huge
// counts, wrong offsets), a cut, a repeated slice. The input being read is
// always at DIR/current (so a crash leaves it behind); one that takes longer
// than 10 s is copied to DIR/hang-<run> and the driver aborts. The test
// suite runs a few hundred mutations; scripts/fuzz.sh makes its libFuzzer
// corpus with --runs 0 --keep DIR.

#include "core/metadata/BuiltinReader.h"

#include "PhotoFactory.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <random>
#include <unistd.h>

using namespace tav;

namespace {

QByteArray g_hangPath;
QByteArray g_currentPath;

void onAlarm(int) {
    // Only async-signal-safe calls here: copy the input by hand, then abort.
    const int in = ::open(g_currentPath.constData(), O_RDONLY);
    const int out = ::open(g_hangPath.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    char buffer[4096];
    ssize_t n;
    while (in >= 0 && out >= 0 && (n = ::read(in, buffer, sizeof buffer)) > 0)
        if (::write(out, buffer, size_t(n)) != n)
            break;
    static const char message[] = "fuzz_builtin_reader: a read took more than 10 s\n";
    (void)!::write(2, message, sizeof message - 1);
    std::abort();
}

QByteArray mutate(QByteArray data, std::mt19937 &random) {
    const auto pick = [&](qsizetype n) { return n <= 0 ? qsizetype(0) : qsizetype(random() % quint64(n)); };
    const int operations = 1 + int(random() % 3);
    for (int i = 0; i < operations && !data.isEmpty(); ++i) {
        switch (random() % 5) {
        case 0: // flip a few bits
            for (int b = 0, n = 1 + int(random() % 8); b < n; ++b)
                data[pick(data.size())] ^= char(1 << (random() % 8));
            break;
        case 1: { // a huge count or offset, in either byte order
            const qsizetype at = pick(data.size() - 4);
            for (int k = 0; k < 4 && at + k < data.size(); ++k)
                data[at + k] = char(0xff);
            break;
        }
        case 2: { // zeros: empty counts, null offsets
            const qsizetype at = pick(data.size());
            for (qsizetype k = at; k < qMin(data.size(), at + 1 + pick(8)); ++k)
                data[k] = 0;
            break;
        }
        case 3: // cut short
            data.truncate(pick(data.size()));
            break;
        default: { // repeat a slice (segments and entries appearing twice)
            const qsizetype from = pick(data.size());
            const qsizetype length = qMin<qsizetype>(pick(256) + 1, data.size() - from);
            data.insert(pick(data.size()), data.mid(from, length));
            break;
        }
        }
    }
    return data;
}

bool makeCorpus(const QString &folder, QStringList &seeds) {
    const QList<QStringList> tagSets = {
        test::referenceTags(),
        {"-CreateDate=2015:07:31 10:20:30", "-OffsetTimeDigitized=+02:00", "-SubSecTimeDigitized=45",
         "-XMP-xmp:CreateDate=2015:07:31 10:20:30", "-XMP-tiff:Make=Sony", "-EXIF:Flash#=16", "-GPSLatitude=48.8",
         "-GPSLatitudeRef=N", "-Artist=someone", "-ImageDescription=a description"},
    };
    for (int i = 0; i < tagSets.size(); ++i) {
        const QString path = folder + QStringLiteral("/seed%1.jpg").arg(i);
        if (!test::makeJpeg(path, tagSets[i]))
            return false;
        seeds << path;
    }
    // A JPEG file with two comments and an XMP packet, and a PNG file with
    // EXIF and text chunks (one compressed): the library's path and the
    // chunk walk.
    const QString comments = folder + QStringLiteral("/seed-comments.jpg");
    if (!test::makeJpeg(comments, {"-Comment=first", "-XMP-dc:Description=described", "-XMP-tiff:Make=Sony"}))
        return false;
    QFile jpeg(comments);
    if (!jpeg.open(QIODevice::ReadWrite))
        return false;
    QByteArray bytes = jpeg.readAll();
    bytes.insert(2, QByteArray("\xff\xfe\x00\x08second", 10));
    jpeg.seek(0);
    jpeg.write(bytes);
    jpeg.close();
    seeds << comments;
    QImage image(8, 8, QImage::Format_RGB32);
    image.fill(Qt::green);
    image.setText(QStringLiteral("Comment"), QStringLiteral("a comment long enough to be compressed, twice over"));
    const QString png = folder + QStringLiteral("/seed.png");
    if (!image.save(png))
        return false;
    QProcess tag;
    tag.start(test::exiftoolProgram(),
              {"-q", "-overwrite_original", "-EXIF:Make=Apple", "-EXIF:Orientation#=6", "-PNG:Comment=plain", png});
    if (!tag.waitForFinished(30000) || tag.exitCode() != 0)
        return false;
    seeds << png;
    return true;
}

} // namespace

int main(int argc, char **argv) {
    QGuiApplication app(argc, argv); // QImage's JPEG writer for the corpus
    int runs = 2000;
    unsigned seed = 1;
    QString keep;
    QStringList seeds;
    const QStringList args = app.arguments().mid(1);
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--runs") && i + 1 < args.size())
            runs = args[++i].toInt();
        else if (args[i] == QLatin1String("--seed") && i + 1 < args.size())
            seed = args[++i].toUInt();
        else if (args[i] == QLatin1String("--keep") && i + 1 < args.size())
            keep = args[++i];
        else
            seeds << args[i];
    }
    QTemporaryDir work;
    const QString folder = keep.isEmpty() ? work.path() : keep;
    QDir().mkpath(folder);
    if (!makeCorpus(folder, seeds)) {
        std::fprintf(stderr, "could not make the corpus (is exiftool installed?)\n");
        return 1;
    }
    QList<QByteArray> corpus;
    for (const QString &s : seeds) {
        QFile f(s);
        if (!f.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "cannot read %s\n", qPrintable(s));
            return 1;
        }
        corpus << f.readAll();
    }

    const QString current = folder + QStringLiteral("/current");
    g_currentPath = QFile::encodeName(current);
    std::signal(SIGALRM, onAlarm);
    std::mt19937 random(seed);
    int read = 0;
    for (int run = 0; run < runs; ++run) {
        const QByteArray input = mutate(corpus[run % corpus.size()], random);
        QFile f(current);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 1;
        f.write(input);
        f.close();
        g_hangPath = QFile::encodeName(folder + QStringLiteral("/hang-%1").arg(run));
        alarm(10);
        Exif::BuiltinResult result;
        const MetadataRecord record = Exif::readBuiltin(current, &result);
        alarm(0);
        if (result == Exif::BuiltinResult::Read)
            ++read;
        else if (!record.isEmpty()) {
            std::fprintf(stderr, "run %d: an unreadable file gave values\n", run);
            return 1;
        }
    }
    std::printf("%d mutated inputs, %d still readable, no crash, no hang\n", runs, read);
    return 0;
}
