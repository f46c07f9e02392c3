#include "core/app/SingleInstance.h"

#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QUrl>
#include <QVariant>

#include <cerrno>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tav {

namespace {

bool isOwnFolder(const QByteArray &path, bool followLink) {
    struct stat st {};
    const int r = followLink ? ::stat(path.constData(), &st) : ::lstat(path.constData(), &st);
    return r == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid();
}

// The user's runtime folder when it is one of this user's own; else a folder
// made for the socket in the temporary folder, readable by this user alone.
// Empty when neither can be had.
QString socketFolder() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (runtime.startsWith(QLatin1Char('/')) && isOwnFolder(QFile::encodeName(runtime), true))
        return QDir::cleanPath(runtime);
    const QString folder = QDir::tempPath() + QStringLiteral("/Travoline-%1").arg(::getuid());
    const QByteArray path = QFile::encodeName(folder);
    if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST)
        return QString();
    // A folder of that name made by another account, or a link, is not used.
    if (!isOwnFolder(path, false) || ::chmod(path.constData(), 0700) != 0)
        return QString();
    return folder;
}

// Whether the process at the other end of socket runs as this user.
bool peerIsThisUser(const QLocalSocket &socket) {
    ucred peer{};
    socklen_t size = sizeof peer;
    const qintptr fd = socket.socketDescriptor();
    return fd >= 0 && ::getsockopt(int(fd), SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 && peer.uid == ::getuid();
}

} // namespace

SingleInstance::SingleInstance(const QString &name, QObject *parent) : QObject(parent) {
    const QString folder = socketFolder();
    if (!folder.isEmpty())
        m_name = folder + QLatin1Char('/') + name;
}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::notifyRunningCopy(const QStringList &paths, int timeoutMs) {
    if (m_name.isEmpty())
        return false; // nowhere safe for the socket: run on without the guard
    {
        QLocalSocket probe;
        probe.connectToServer(m_name);
        // Only a copy of this user hears of the paths; a socket that another
        // account left or planted there is ignored.
        if (probe.waitForConnected(timeoutMs) && peerIsThisUser(probe)) {
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
        probe.abort();
    }
    // Nobody of ours answers: a socket file left by a crashed copy must not stop us.
    QLocalServer::removeServer(m_name);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(m_name))
        return false; // cannot listen: run on without the single-instance guard
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *s = m_server->nextPendingConnection()) {
            if (!peerIsThisUser(*s)) {
                s->abort();
                s->deleteLater();
                continue;
            }
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
