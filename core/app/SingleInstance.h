#pragma once
// One running copy per user: the first copy listens on a local socket in the
// user's runtime folder ($XDG_RUNTIME_DIR, else a folder of the user's own in
// the temporary folder, mode 0700); a second copy checks that the socket's
// process runs as the same user, asks it to bring its window forward and ends.

#include <QObject>
#include <QString>
#include <QStringList>

class QLocalServer;

namespace tav {

class SingleInstance : public QObject {
    Q_OBJECT
public:
    // name: the socket's file name in the runtime folder.
    explicit SingleInstance(const QString &name = QStringLiteral("Travoline"), QObject *parent = nullptr);
    ~SingleInstance() override;

    // True when another copy answered and was asked to come forward (and to
    // open paths, if any): this copy must end. Otherwise this copy now
    // listens and returns false. A socket whose process runs as another user
    // is never written to: this copy takes its place or runs unguarded.
    bool notifyRunningCopy(const QStringList &paths = {}, int timeoutMs = 1000);

    // The socket's full path; empty when no safe folder could be had.
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
