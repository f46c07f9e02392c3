#pragma once
// One running copy per user: the first copy listens on a local socket named
// after the user; a second copy asks it to bring its window forward and ends.

#include <QObject>
#include <QString>
#include <QStringList>

class QLocalServer;

namespace tav {

class SingleInstance : public QObject {
    Q_OBJECT
public:
    // name: the socket's base name; the user's id is appended.
    explicit SingleInstance(const QString &name = QStringLiteral("Travoline"), QObject *parent = nullptr);
    ~SingleInstance() override;

    // True when another copy answered and was asked to come forward (and to
    // open paths, if any): this copy must end. Otherwise this copy now
    // listens and returns false.
    bool notifyRunningCopy(const QStringList &paths = {}, int timeoutMs = 1000);

    QString socketName() const { return m_name; }

signals:
    // Another copy started: restore, raise and activate the window.
    void activationRequested();
    // Another copy started with these paths (absolute): open them.
    void pathsReceived(const QStringList &paths);

private:
    QString m_name;
    QLocalServer *m_server = nullptr;
};

} // namespace tav
