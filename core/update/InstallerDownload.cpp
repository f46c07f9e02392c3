#include "core/update/InstallerDownload.h"

#include "core/update/UpdateCheck.h"

#include <QCryptographicHash>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QUrl>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace tav::update {

QString progressText(const QString &prefix, qint64 received, qint64 expected) {
    const double share = expected > 0 ? double(received) / double(expected) * 100.0 : 0.0;
    return prefix + QLatin1Char(' ') + QString::number(share, 'f', 1) + QLatin1String(" %");
}

int progressPercent(qint64 received, qint64 expected) {
    if (expected <= 0)
        return 0;
    return int(std::lround(double(received) / double(expected) * 100.0));
}

QString progressPrefix(const QString &caption) {
    static const QRegularExpression figure(QStringLiteral("\\s*[0-9]+([.,][0-9]+)?\\s*%\\s*$"));
    return QString(caption).remove(figure);
}

InstallerDownload::InstallerDownload(QObject *parent) : QObject(parent), m_network(new QNetworkAccessManager(this)) {
    m_total.setSingleShot(true);
    connect(&m_total, &QTimer::timeout, this, [this] {
        m_error = tr("The download took too long");
        if (m_reply)
            m_reply->abort();
        if (m_checksum)
            m_checksum->abort();
    });
}

InstallerDownload::~InstallerDownload() {
    for (QNetworkReply *reply : {m_reply.data(), m_checksum.data()}) {
        if (reply) {
            reply->disconnect(this);
            reply->abort();
            reply->deleteLater();
        }
    }
}

QNetworkReply *InstallerDownload::get(const QString &address, bool wholeFile) {
    const QUrl url(address);
    QNetworkRequest request(url);
    if (wholeFile)
        request.setRawHeader("Range", "bytes=0-");
    // The size announced must be the size of the bytes received.
    request.setRawHeader("Accept-Encoding", "identity");
    request.setTransferTimeout(StallMs);
    const bool loopback = url.scheme().compare(QLatin1String("http"), Qt::CaseInsensitive) == 0;
    // A server on this machine may not send the transfer elsewhere in clear.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         loopback ? QNetworkRequest::ManualRedirectPolicy : QNetworkRequest::NoLessSafeRedirectPolicy);
    if (loopback)
        m_network->setProxy(QNetworkProxy::NoProxy);
    return m_network->get(request);
}

void InstallerDownload::start(const QString &address, const QString &localPath) {
    m_received = 0;
    m_expected = 0;
    m_error.clear();
    m_failure = Failure::None;
    m_address = address;
    m_localPath = localPath;
    if (!isAcceptedAddress(address) || localPath.isEmpty()) {
        // Reported once the caller is back in its event loop, like any other end.
        QTimer::singleShot(0, this, [this, address, localPath] {
            fail(Failure::Transfer,
                 localPath.isEmpty()
                     ? tr("No private folder to download into")
                     : tr("Only https addresses are downloaded (http from this machine): %1").arg(address));
        });
        return;
    }
    m_reply = get(address, true);
    connect(m_reply, &QNetworkReply::metaDataChanged, this, &InstallerDownload::onMetaData);
    connect(m_reply, &QNetworkReply::readyRead, this, &InstallerDownload::onReadyRead);
    connect(m_reply, &QNetworkReply::finished, this, &InstallerDownload::onFinished);
    m_total.start(TotalMs);
}

bool InstallerDownload::isRunning() const {
    return !m_reply.isNull() || !m_checksum.isNull();
}

void InstallerDownload::abort() {
    for (QNetworkReply *reply : {m_reply.data(), m_checksum.data()}) {
        if (reply) {
            m_error = tr("Download stopped");
            reply->abort();
        }
    }
}

void InstallerDownload::onMetaData() {
    if (!m_reply || m_file.isOpen())
        return;
    const int status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status != 200 && status != 206) {
        m_error = tr("The server answered %1").arg(status);
        m_reply->abort();
        return;
    }
    bool numeric = false;
    const qint64 length = m_reply->rawHeader("Content-Length").trimmed().toLongLong(&numeric);
    m_expected = numeric && length > 0 ? length : 0;
    if (m_expected > InstallerLimit) {
        m_failure = Failure::TooLarge;
        m_reply->abort();
        return;
    }
    // A new file: whatever had the name goes first, and a link put there
    // since is not followed.
    const QByteArray path = QFile::encodeName(m_localPath);
    ::unlink(path.constData());
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        m_error = QString::fromLocal8Bit(std::strerror(errno));
        m_reply->abort();
    } else if (!m_file.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        m_error = m_file.errorString();
        m_reply->abort();
    }
}

void InstallerDownload::onReadyRead() {
    if (!m_reply || m_failure != Failure::None)
        return;
    if (!m_file.isOpen()) {
        onMetaData();
        if (!m_file.isOpen())
            return;
    }
    const QByteArray chunk = m_reply->readAll();
    if (chunk.isEmpty())
        return;
    if (m_received + chunk.size() > InstallerLimit) {
        m_failure = Failure::TooLarge;
        m_reply->abort();
        return;
    }
    if (m_file.write(chunk) != chunk.size()) {
        m_error = m_file.errorString();
        m_reply->abort();
        return;
    }
    m_received += chunk.size();
    if (m_expected > 0)
        emit progress(m_received, m_expected);
}

void InstallerDownload::onFinished() {
    if (!m_reply)
        return;
    if (m_reply->error() == QNetworkReply::NoError)
        onReadyRead();
    QString error = m_error;
    if (error.isEmpty() && m_reply->error() != QNetworkReply::NoError)
        error = m_reply->errorString();
    m_reply->deleteLater();
    m_reply = nullptr;
    if (m_file.isOpen() && !m_file.flush())
        error = m_file.errorString();
    m_file.close();
    if (m_failure == Failure::TooLarge) {
        m_total.stop();
        fail(Failure::TooLarge, tr("The file is larger than %1 bytes").arg(InstallerLimit));
        return;
    }
    // Complete only when exactly the announced size arrived; without a size
    // nothing proves the file whole, and an empty file is no installer.
    const bool complete = error.isEmpty() && m_expected > 0 && m_received == m_expected;
    if (complete) {
        startChecksum();
        return;
    }
    m_total.stop();
    if (error.isEmpty())
        error = m_expected > 0 ? tr("%1 of %2 bytes received").arg(m_received).arg(m_expected)
                               : tr("The server gave no size (%1 bytes received)").arg(m_received);
    fail(Failure::Transfer, error);
}

void InstallerDownload::startChecksum() {
    m_checksum = get(checksumAddress(m_address), false);
    // A checksum is one line: a larger answer is no checksum file.
    connect(m_checksum, &QNetworkReply::readyRead, this, [this] {
        if (m_checksum && m_checksum->bytesAvailable() > TextFileLimit)
            m_checksum->abort();
    });
    connect(m_checksum, &QNetworkReply::finished, this, &InstallerDownload::onChecksumFinished);
}

void InstallerDownload::onChecksumFinished() {
    if (!m_checksum)
        return;
    m_total.stop();
    const bool answered = m_checksum->error() == QNetworkReply::NoError &&
                          m_checksum->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() == 200;
    const QByteArray text = answered ? m_checksum->readAll() : QByteArray();
    m_checksum->deleteLater();
    m_checksum = nullptr;
    if (!m_error.isEmpty()) { // stopped: the file stays, to be checked next time
        fail(Failure::Transfer, m_error);
        return;
    }
    // "sha256sum" output: the hash first, then the file's name (optional).
    static const QRegularExpression hash(QStringLiteral("^\\s*([0-9A-Fa-f]{64})(\\s|$)"));
    const QRegularExpressionMatch match = hash.match(QString::fromLatin1(text.left(200)));
    if (!match.hasMatch()) {
        fail(Failure::ChecksumMissing, tr("No checksum at %1").arg(checksumAddress(m_address)));
        return;
    }
    QFile file(m_localPath);
    QCryptographicHash sha(QCryptographicHash::Sha256);
    if (!file.open(QIODevice::ReadOnly) || !sha.addData(&file) ||
        sha.result().toHex() != match.captured(1).toLower().toLatin1()) {
        fail(Failure::ChecksumWrong, tr("The file does not match its checksum"));
        return;
    }
    finish(true, QString());
}

void InstallerDownload::fail(Failure why, const QString &error) {
    m_failure = why;
    // Too large or not what was published: nothing of it is kept.
    if (why != Failure::Transfer)
        QFile::remove(m_localPath);
    finish(false, error);
}

void InstallerDownload::finish(bool complete, const QString &error) {
    emit finished(complete, complete ? QString() : error);
}

} // namespace tav::update
