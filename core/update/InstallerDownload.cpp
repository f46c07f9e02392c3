#include "core/update/InstallerDownload.h"

#include "core/update/UpdateCheck.h"

#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QUrl>

#include <cmath>

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
    });
}

InstallerDownload::~InstallerDownload() {
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
        m_reply->deleteLater();
    }
}

void InstallerDownload::setTimeouts(int stallMs, int totalMs) {
    m_stallMs = stallMs;
    m_totalMs = totalMs;
}

void InstallerDownload::start(const QString &address, const QString &localPath) {
    m_received = 0;
    m_expected = 0;
    m_error.clear();
    m_localPath = localPath;
    if (!isAcceptedAddress(address)) {
        // Reported once the caller is back in its event loop, like any other end.
        QTimer::singleShot(0, this, [this, address] {
            finish(false, tr("Only https addresses are downloaded (http from this machine): %1").arg(address));
        });
        return;
    }
    const QUrl url(address);
    QNetworkRequest request(url);
    request.setRawHeader("Range", "bytes=0-");
    // The size announced must be the size of the bytes received.
    request.setRawHeader("Accept-Encoding", "identity");
    request.setTransferTimeout(m_stallMs);
    const bool loopback = url.scheme().compare(QLatin1String("http"), Qt::CaseInsensitive) == 0;
    // A server on this machine may not send the transfer elsewhere in clear.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         loopback ? QNetworkRequest::ManualRedirectPolicy : QNetworkRequest::NoLessSafeRedirectPolicy);
    if (loopback)
        m_network->setProxy(QNetworkProxy::NoProxy);
    m_reply = m_network->get(request);
    connect(m_reply, &QNetworkReply::metaDataChanged, this, &InstallerDownload::onMetaData);
    connect(m_reply, &QNetworkReply::readyRead, this, &InstallerDownload::onReadyRead);
    connect(m_reply, &QNetworkReply::finished, this, &InstallerDownload::onFinished);
    m_total.start(m_totalMs);
}

bool InstallerDownload::isRunning() const {
    return !m_reply.isNull();
}

void InstallerDownload::abort() {
    if (m_reply) {
        m_error = tr("Download stopped");
        m_reply->abort();
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
    m_file.setFileName(m_localPath);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        m_error = m_file.errorString();
        m_reply->abort();
    }
}

void InstallerDownload::onReadyRead() {
    if (!m_reply)
        return;
    if (!m_file.isOpen()) {
        onMetaData();
        if (!m_file.isOpen())
            return;
    }
    const QByteArray chunk = m_reply->readAll();
    if (chunk.isEmpty())
        return;
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
    m_total.stop();
    if (m_file.isOpen() && !m_file.flush())
        error = m_file.errorString();
    m_file.close();
    // Complete only when exactly the announced size arrived; without a size
    // nothing proves the file whole, and an empty file is no installer.
    const bool complete = error.isEmpty() && m_expected > 0 && m_received == m_expected;
    if (error.isEmpty() && !complete)
        error = m_expected > 0 ? tr("%1 of %2 bytes received").arg(m_received).arg(m_expected)
                               : tr("The server gave no size (%1 bytes received)").arg(m_received);
    finish(complete, error);
}

void InstallerDownload::finish(bool complete, const QString &error) {
    emit finished(complete, complete ? QString() : error);
}

} // namespace tav::update
