#pragma once
// Downloads one file in the background with a progress report: a GET with
// "Range: bytes=0-" (the whole file, from its first byte), the size expected
// from the answer's Content-Length, the body appended to the local file as it
// arrives. Complete only when the bytes received are exactly the size
// announced and their SHA-256 is the one published beside the file (the
// address with ".sha256"); a transfer cut short leaves what arrived in the
// file, a file larger than the limit or failing its checksum is deleted.
// The file is created afresh (an earlier entry of the name removed first,
// never written through a link): localPath belongs in a private folder.
//
// Only https is fetched from other machines (certificates verified by Qt);
// plain http only from this machine. A transfer that stalls, or runs longer
// than the total time-out, is stopped as a failure.

#include <QElapsedTimer>
#include <QFile>
#include <QObject>
#include <QPointer>
#include <QTimer>

class QNetworkAccessManager;
class QNetworkReply;

namespace tav::update {

// The progress label: prefix, a blank, the share received with one decimal, " %".
QString progressText(const QString &prefix, qint64 received, qint64 expected);
// The percentage of the progress bar, rounded.
int progressPercent(qint64 received, qint64 expected);
// The word of a progress caption without the figure and "%" it ends with
// ("telecharge 0 %" -> "telecharge").
QString progressPrefix(const QString &caption);

class InstallerDownload : public QObject {
    Q_OBJECT
public:
    explicit InstallerDownload(QObject *parent = nullptr);
    ~InstallerDownload() override;

    // Starts the transfer; finished() follows in every case, also when the
    // address is refused.
    void start(const QString &address, const QString &localPath);
    // Stops a running transfer as a failure.
    void abort();
    bool isRunning() const;

    qint64 received() const { return m_received; }
    qint64 expected() const { return m_expected; }

    // Why the last download failed, for the message the user is shown.
    enum class Failure { None, Transfer, TooLarge, ChecksumMissing, ChecksumWrong };
    Failure failure() const { return m_failure; }

signals:
    // Only when the size is known (Content-Length given).
    void progress(qint64 received, qint64 expected);
    void finished(bool complete, const QString &error);

private:
    void onMetaData();
    void onReadyRead();
    void onFinished();
    void startChecksum();
    void onChecksumFinished();
    void fail(Failure why, const QString &error);
    void finish(bool complete, const QString &error);
    QNetworkReply *get(const QString &address, bool wholeFile);

    QNetworkAccessManager *m_network;
    QPointer<QNetworkReply> m_reply;
    QPointer<QNetworkReply> m_checksum;
    QFile m_file;
    QString m_address;
    QString m_localPath;
    QString m_error;
    Failure m_failure = Failure::None;
    QTimer m_total;
    qint64 m_received = 0;
    qint64 m_expected = 0;
    static constexpr int StallMs = 30000;
    static constexpr int TotalMs = 30 * 60 * 1000;
};

} // namespace tav::update
