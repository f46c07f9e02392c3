#include "core/app/SingleInstance.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QUrl>
#include <QVariant>

#include <unistd.h>

namespace tav {

SingleInstance::SingleInstance(const QString &name, QObject *parent)
    : QObject(parent), m_name(QStringLiteral("%1-%2").arg(name).arg(::getuid())) {}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::notifyRunningCopy(const QStringList &paths, int timeoutMs) {
    {
        QLocalSocket probe;
        probe.connectToServer(m_name);
        if (probe.waitForConnected(timeoutMs)) {
            // One request: "activate", a line per path (percent-encoded, so
            // any name fits on one line), then "end".
            QByteArray request("activate\n");
            for (const QString &p : paths)
                request += "path " + QUrl::toPercentEncoding(p) + '\n';
            request += "end\n";
            probe.write(request);
            probe.flush();
            probe.waitForBytesWritten(timeoutMs);
            probe.waitForReadyRead(timeoutMs); // the first copy acknowledges
            probe.disconnectFromServer();
            return true;
        }
    }
    // Nobody answers: a socket file left by a crashed copy must not stop us.
    QLocalServer::removeServer(m_name);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(m_name))
        return false; // cannot listen: run on without the single-instance guard
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *s = m_server->nextPendingConnection()) {
            connect(s, &QLocalSocket::readyRead, this, [this, s] {
                QByteArray buffer = s->property("request").toByteArray() + s->readAll();
                s->setProperty("request", buffer);
                if (!buffer.startsWith("activate\n") || !buffer.endsWith("end\n"))
                    return; // more to come
                s->setProperty("request", QByteArray());
                s->write("ok\n");
                s->flush();
                QStringList received;
                for (const QByteArray &line : buffer.split('\n'))
                    if (line.startsWith("path "))
                        received << QUrl::fromPercentEncoding(line.mid(5));
                emit activationRequested();
                if (!received.isEmpty())
                    emit pathsReceived(received);
            });
            connect(s, &QLocalSocket::disconnected, s, &QObject::deleteLater);
        }
    });
    return false;
}

} // namespace tav
