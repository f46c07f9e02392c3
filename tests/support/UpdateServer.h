#pragma once
// The test update server (update_server.py) on 127.0.0.1 in a process of its
// own, serving the files a test puts in its folder, and what it was asked.

#include "TestPaths.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

namespace tav::test {

class UpdateServer {
public:
    UpdateServer() {
        QDir(m_dir.path()).mkpath(QStringLiteral("root/Travoline"));
        // The system's interpreter first: version-manager shims take seconds to start.
        const QString python = QFile::exists(QStringLiteral("/usr/bin/python3")) ? QStringLiteral("/usr/bin/python3")
                                                                                 : QStringLiteral("python3");
        m_process.start(python,
                        {QStringLiteral(TAV_SOURCE_DIR "/tests/support/update_server.py"), m_dir.filePath("root")});
        if (m_process.waitForReadyRead(10000))
            m_port = m_process.readLine().trimmed().toInt();
    }
    ~UpdateServer() {
        m_process.kill();
        m_process.waitForFinished(5000);
    }

    bool isRunning() const { return m_port > 0; }
    QString base() const { return QStringLiteral("http://127.0.0.1:") + QString::number(m_port); }

    // A file under "/Travoline", with the server's way of sending it (see update_server.py).
    void put(const QString &name, const QByteArray &content, const QByteArray &how = QByteArray()) const {
        write(QStringLiteral("root/Travoline/") + name, content);
        const QString side = QStringLiteral("root/Travoline/") + name + QStringLiteral(".how");
        if (how.isEmpty())
            QFile::remove(m_dir.filePath(side));
        else
            write(side, how);
    }
    // An installer with its checksum beside it, as the update site publishes them.
    void putPackage(const QString &name, const QByteArray &content, const QByteArray &how = QByteArray()) const {
        put(name, content, how);
        put(name + QStringLiteral(".sha256"),
            QCryptographicHash::hash(content, QCryptographicHash::Sha256).toHex() + "  " + name.toUtf8() + '\n');
    }
    void remove(const QString &name) const { QFile::remove(m_dir.filePath(QStringLiteral("root/Travoline/") + name)); }

    // Every request so far: its path and its headers.
    struct Request {
        QString path;
        QJsonObject headers;
    };
    QList<Request> requests() const {
        QList<Request> list;
        QFile log(m_dir.filePath(QStringLiteral("requests.log")));
        if (log.open(QIODevice::ReadOnly))
            for (const QByteArray &line : log.readAll().split('\n'))
                if (!line.isEmpty()) {
                    const QJsonObject o = QJsonDocument::fromJson(line).object();
                    list.append(
                        {o.value(QStringLiteral("path")).toString(), o.value(QStringLiteral("headers")).toObject()});
                }
        return list;
    }

private:
    void write(const QString &relative, const QByteArray &content) const {
        QFile f(m_dir.filePath(relative));
        if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            f.write(content);
    }

    QTemporaryDir m_dir;
    QProcess m_process;
    int m_port = 0;
};

} // namespace tav::test
