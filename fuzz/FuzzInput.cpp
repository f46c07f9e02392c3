#include "FuzzInput.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace tav::fuzz {

namespace {

QString g_scratch;

void removeScratch() {
    if (!g_scratch.isEmpty())
        QDir(g_scratch).removeRecursively();
}

void quiet(QtMsgType, const QMessageLogContext &, const QString &) {}

} // namespace

QString scratchFolder() {
    if (!g_scratch.isEmpty())
        return g_scratch;
    qInstallMessageHandler(quiet);
    // scripts/fuzz.sh gives a folder it removes afterwards: libFuzzer does
    // not always end through exit(), so the removal at exit may not run.
    QString base = qEnvironmentVariable("TAV_FUZZ_SCRATCH");
    if (base.isEmpty())
        base = QFileInfo(QStringLiteral("/dev/shm")).isWritable() ? QStringLiteral("/dev/shm") : QDir::tempPath();
    QByteArray pattern = QFile::encodeName(base + QStringLiteral("/travoline-fuzz-XXXXXX"));
    if (!::mkdtemp(pattern.data()))
        fail("cannot make the scratch folder");
    g_scratch = QFile::decodeName(pattern);
    std::atexit(removeScratch);
    return g_scratch;
}

QString writeInput(const QString &relativePath, const uint8_t *data, size_t size) {
    const QString path = scratchFolder() + QLatin1Char('/') + relativePath;
    const QByteArray name = QFile::encodeName(path);
    int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0 && QDir().mkpath(QFileInfo(path).path()))
        fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        fail("cannot write the input file");
    for (size_t done = 0; done < size;) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n <= 0)
            fail("cannot write the input file");
        done += size_t(n);
    }
    ::close(fd);
    return path;
}

void fail(const char *what) {
    std::fprintf(stderr, "fuzz: %s\n", what);
    std::abort();
}

} // namespace tav::fuzz
