#pragma once
// The update dialog: the new version and its release notes, and the download
// of its installer with a progress display. A complete download opens the
// update page, hands the package to the desktop's installer and asks the
// program to close; anything short of complete and verified against its
// published checksum is a failure. A transfer cut short leaves the part that
// arrived in the private download folder, to be offered again; a package
// too large or failing its checksum is deleted, and the user told why.
//
// Also the two checks that lead to it: the one at start-up, in the
// background, and the about box's manual one.

#include <QDialog>
#include <QStringList>
#include <functional>

class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

namespace tav {

namespace update {
class InstallerDownload;
}

class frmMiseAJour : public QDialog {
    Q_OBJECT
public:
    explicit frmMiseAJour(QWidget *parent = nullptr);
    ~frmMiseAJour() override;

    // The update server (for its pages) and the installer's address.
    void setServer(const QString &base) { m_base = base; }
    void setInstallerAddress(const QString &address) { m_installer = address; }
    // The version appended to the caption of Label(0), the notes in Text1.
    void showNewVersion(const QString &version, const QStringList &notes);
    // How a page or the package is handed to the desktop (default: TavOpenUrl).
    void setOpener(std::function<int(const QString &)> open) { m_open = std::move(open); }
    // What the help button runs with its topic; the button is hidden without one.
    void setHelpHandler(std::function<void(int)> onHelp);

    // Set once the installer was handed over: the program is to close.
    bool quitRequested() const { return m_quit; }
    // Where the installer goes: the private download folder and the address's
    // last segment (empty when that folder cannot be had).
    QString localPath() const;

    static constexpr int HelpTopic = 10004;

public slots:
    void cmdSuivant_Click();
    void cmdAnnuler_Click();
    void cmdAide_Click();
    void reject() override;

private:
    void build();
    void Form_Load();
    void downloadEnded(bool complete);

    QLabel *Label0, *Label1, *lbltelechargement;
    QPlainTextEdit *Text1;
    QProgressBar *ProgressBar1;
    QPushButton *cmdSuivant, *cmdAnnuler, *cmdAide;
    update::InstallerDownload *m_download;
    QString m_texts[4]; // messages 82 to 85
    QString m_base, m_installer, m_prefix;
    std::function<int(const QString &)> m_open;
    std::function<void(int)> m_onHelp;
    bool m_quit = false;
};

// The start-up check: asks the server in the background, the window staying
// usable; shows message 7 when the server cannot be reached, and the update
// dialog when another version is published. Nothing is shown while busy()
// says the program is in the middle of something, or while another modal
// window is open: the answer waits for that to end. A started installer
// closes mainWindow through its normal close, then every other window.
void checkVersion_Click(QWidget *mainWindow, std::function<bool()> busy = {}, std::function<void(int)> onHelp = {});

// The about box's check: status shows message 4 while it runs; then message
// 7, 6 or the question 5 (yes opens the server's home page). Returns at once.
void manualVersionCheck(QWidget *box, QLabel *status, std::function<void()> done = {});

} // namespace tav
