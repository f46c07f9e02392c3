#include "core/update/UpdateCheck.h"

#include "core/base/Addresses.h"
#include "core/base/ProgramFolder.h"
#include "core/base/Trap.h"
#include "core/base/Version.h"
#include "core/base/mTavCommon.h"

#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QNetworkInterface>
#include <QPointer>
#include <QThread>
#include <QUrl>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace tav::update {

namespace {

const QLatin1String ServerFolder("/Travoline");

bool isLoopbackHost(const QString &host) {
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

// The downloaded copy of address, read; empty when the download failed or
// the file is larger than the limit. Failures of the library itself
// (missing, broken) are thrown.
QString downloadText(const QString &address, bool &obtained) {
    const QString folder = downloadFolder();
    const QString path = folder.isEmpty() ? QString() : mTavCommon::TavDownloadFileTo(address, folder, TextFileLimit);
    obtained = !path.isEmpty();
    return obtained ? readJoinedLines(path) : QString();
}

bool isOwnFolder(const QByteArray &path) {
    struct stat st {};
    return ::lstat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid();
}

} // namespace

QString serverAddress() {
    QString base = qEnvironmentVariableIsSet(ServerAddressVariable) ? qEnvironmentVariable(ServerAddressVariable)
                                                                    : QString::fromUtf8(addresses::UpdateServer);
    base = base.trimmed();
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    return base;
}

QString versionFileAddress(const QString &base) {
    return base + ServerFolder + QLatin1String("/version.txt");
}

QString releaseNotesAddress(const QString &base) {
    return base + ServerFolder + QLatin1String("/release_note.txt");
}

QString updatePageAddress(const QString &base) {
    return base + ServerFolder + QLatin1String("/mise_a_jour.html");
}

QString installerAddress(const QString &base, const QString &version) {
    return base + ServerFolder + QLatin1String("/setup_") + QString::fromLatin1(ProgramTitle) + QLatin1Char('_') +
           version.split(QLatin1Char('.')).join(QLatin1Char('_')) + QLatin1String(".deb");
}

QString checksumAddress(const QString &installer) {
    return installer + QLatin1String(".sha256");
}

QString downloadFolder() {
    const QString xdg = qEnvironmentVariable("XDG_CACHE_HOME");
    const QString cache =
        xdg.startsWith(QLatin1Char('/')) ? QDir::cleanPath(xdg) : QDir::homePath() + QLatin1String("/.cache");
    // Missing folders on the way are made private too, as the cache's own is meant to be.
    QByteArray path;
    for (const QString &part :
         (cache + QLatin1String("/") + QString::fromLatin1(ProgramTitle)).split(QLatin1Char('/'))) {
        if (part.isEmpty())
            continue;
        path += '/' + QFile::encodeName(part);
        if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST)
            return QString();
    }
    // Another account's folder, or a link planted under the name, is not used.
    if (!isOwnFolder(path) || ::chmod(path.constData(), 0700) != 0)
        return QString();
    return QFile::decodeName(path);
}

bool isAcceptedAddress(const QString &address) {
    const QUrl url(address, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty())
        return false;
    const QString scheme = url.scheme().toLower();
    return scheme == QLatin1String("https") || (scheme == QLatin1String("http") && isLoopbackHost(url.host()));
}

bool connectionPresent(const QString &base) {
    if (isLoopbackHost(QUrl(base).host()))
        return true;
    for (const QNetworkInterface &i : QNetworkInterface::allInterfaces()) {
        const auto flags = i.flags();
        if ((flags & QNetworkInterface::IsUp) && (flags & QNetworkInterface::IsRunning) &&
            !(flags & QNetworkInterface::IsLoopBack))
            return true;
    }
    return false;
}

QString ownVersion() {
    return QString::number(VersionMajor) + QLatin1Char('.') + QString::number(VersionMinor) + QLatin1Char('.') +
           QString::number(VersionRevision);
}

QString overrideFilePath() {
    return programFolder() + QLatin1String("/version_local.txt");
}

QString readJoinedLines(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    QByteArray bytes = file.read(TextFileLimit + 1);
    if (bytes.size() > TextFileLimit)
        return QString();
    bytes.replace("\r\n", "");
    bytes.replace('\r', "");
    QString text = QString::fromUtf8(bytes);
    // Files written on Windows may be in its 8-bit code page.
    if (text.contains(QChar::ReplacementCharacter))
        text = QString::fromLatin1(bytes);
    return text;
}

VersionText filterVersion(const QString &text) {
    VersionText result;
    if (text.isEmpty())
        return result;
    result.kind = VersionText::Ignored;
    if (text.size() >= 10)
        return result;
    for (const QChar c : text)
        if ((c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char(',') || c == QLatin1Char('.'))
            result.version += c;
    if (!result.version.isEmpty())
        result.kind = VersionText::Version;
    return result;
}

QStringList noteLines(const QString &notes) {
    return notes.split(QLatin1Char('\n')).mid(1);
}

static StartupResult startupCheckBody(const QString &base) {
    StartupResult result;
    if (base.isEmpty())
        return result;
    const QString local = overrideFilePath();
    const bool hasOverride = QFile::exists(local);
    if (!hasOverride && !connectionPresent(base))
        return result;

    bool obtained = true;
    const QString text = hasOverride ? readJoinedLines(local) : downloadText(versionFileAddress(base), obtained);
    const VersionText version = filterVersion(text);
    if (version.kind == VersionText::Empty) {
        result.kind = StartupResult::Unreachable;
        return result;
    }
    result.kind = StartupResult::Ignored;
    if (version.kind == VersionText::Ignored)
        return result;
    result.version = version.version;
    // Exact text comparison: an older version on the server is offered too.
    if (version.version == ownVersion()) {
        result.kind = StartupResult::UpToDate;
        return result;
    }
    const QString notes = downloadText(releaseNotesAddress(base), obtained);
    if (!obtained)
        return result;
    result.kind = StartupResult::NewVersion;
    result.notes = noteLines(notes);
    result.installer = installerAddress(base, version.version);
    return result;
}

static ManualResult manualCheckBody(const QString &base) {
    ManualResult result;
    if (base.isEmpty())
        return result;
    result.kind = ManualResult::Unreachable;
    if (!connectionPresent(base))
        return result;
    bool obtained = false;
    // The same filter as at start-up: a line break after the number must not
    // make the version in use look like another one.
    const VersionText version = filterVersion(downloadText(versionFileAddress(base), obtained));
    if (version.kind != VersionText::Version)
        return result;
    result.version = version.version;
    result.kind = version.version == ownVersion() ? ManualResult::UpToDate : ManualResult::NewVersion;
    return result;
}

// Whatever the check throws ends in the result: it runs on a thread of its own.
template <class Result> Result caught(Result (*body)(const QString &), const QString &base) {
    try {
        return body(base);
    } catch (...) {
        Result result;
        result.kind = Result::Failed;
        currentError(result.errorNumber, result.errorText);
        return result;
    }
}

StartupResult startupCheck(const QString &base) {
    return caught(&startupCheckBody, base);
}

ManualResult manualCheck(const QString &base) {
    return caught(&manualCheckBody, base);
}

namespace {
// The checks still running, known on the thread that started them.
QList<QPointer<QThread>> running;
} // namespace

namespace detail {

void startThread(QObject *context, std::function<void()> work, std::function<void()> done) {
    QThread *thread = QThread::create(std::move(work));
    QObject::connect(thread, &QThread::finished, context, std::move(done));
    QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    running.removeAll(nullptr);
    running.append(thread);
    thread->start();
}

} // namespace detail

bool stopBackgroundWork(int waitMs) {
    if (running.removeAll(nullptr), running.isEmpty())
        return true;
    try {
        mTavCommon::TavCancelDownloads();
    } catch (...) {
        // Without the library no download is under way either.
    }
    bool stopped = true;
    for (const QPointer<QThread> &thread : std::as_const(running))
        if (thread && !thread->wait(QDeadlineTimer(waitMs)))
            stopped = false;
    return stopped;
}

} // namespace tav::update
