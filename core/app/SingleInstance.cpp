#include "core/app/SingleInstance.h"

#include <QLocalServer>
#include <QLocalSocket>

#include <unistd.h>

namespace tav {

SingleInstance::SingleInstance(const QString &name, QObject *parent)
    : QObject(parent), m_name(QStringLiteral("%1-%2").arg(name).arg(::getuid()))
{
}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::notifyRunningCopy(int timeoutMs)
{
    {
        QLocalSocket probe;
        probe.connectToServer(m_name);
        if (probe.waitForConnected(timeoutMs)) {
            probe.write("activate\n");
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
                if (s->readAll().contains("activate")) {
                    s->write("ok\n");
                    s->flush();
                    emit activationRequested();
                }
            });
            connect(s, &QLocalSocket::disconnected, s, &QObject::deleteLater);
        }
    });
    return false;
}

} // namespace tav
