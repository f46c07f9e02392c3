#pragma once
// The about box: the program's name, version, release date and maker, a
// notice, facts about the machine (memory, free space of a chosen volume, the
// program's own memory), the site and mail links when the build has them, the
// dependency list, and credits that scroll upwards without end.

#include <QDialog>
#include <QList>
#include <QPixmap>
#include <QTimer>
#include <functional>

class QComboBox;
class QLabel;
class QPushButton;

namespace tav {

// One line of the credits with the formatting its tags gave it.
struct CreditLine {
    enum Alignment { Left = 0, Right = 1, Centre = 2 };
    QString text;
    bool bold = false;
    bool italic = false;
    int size = 12;
    int alignment = Centre;
    bool paragraph = false; // "<P>": drawn with a gap after it
    bool sameLine = false;  // "<PL>": drawn on the previous line's row
};

// Splits a CR LF (or LF) separated text into lines and takes the tags off
// the front of each: <AL> <AC> <AR>, <B> </B>, <I> </I>, <Fnn>, <P>, <PL>.
// Alignment, bold, italic and size carry over to the next lines.
QList<CreditLine> parseCredits(const QString &text);

// The credits of this build in a language, by its display name ("Deutsch").
QString creditsText(const QString &languageName);

// The picture the credits scroll in: every 30 ms the lines are drawn into an
// off-screen picture that is then copied in one block; the text moves up one
// pixel per tick and starts again from the bottom once it has left the top.
// The timer runs only while the picture is shown.
class CreditsScroller : public QWidget {
    Q_OBJECT
public:
    explicit CreditsScroller(QWidget *parent = nullptr);
    void setLines(const QList<CreditLine> &lines);
    bool isScrolling() const { return ReDrawTimer.isActive(); }
    int position() const { return m_position; }
    int totalHeight() const;
    const QPixmap &buffer() const { return picBuffer; }
    // One tick: draw, copy, move up.
    void tick();

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    QFont fontOf(const CreditLine &line) const;
    void drawBuffer();

    QList<CreditLine> m_lines;
    QTimer ReDrawTimer;
    QPixmap picBuffer;
    int m_position = 0;
};

// Total and available physical memory, in bytes, from the text of /proc/meminfo.
struct MemoryStatus {
    qint64 total = 0;
    qint64 available = 0;
};
MemoryStatus memoryStatus(const QString &meminfoText);

class frmAboutCredits : public QDialog {
    Q_OBJECT
public:
    explicit frmAboutCredits(QWidget *parent = nullptr);

    // Something that checks for a newer version: shows its button.
    void setUpdateCheckHandler(std::function<void()> onCheck);
    // What the help button of the dependency list opened from here runs.
    void setDependencyHelpHandler(std::function<void()> onHelp) { m_onDependencyHelp = std::move(onHelp); }

public slots:
    void cboDisques_Click();
    void cmdDependances_Click();
    void cmdControleVersion_Click();
    void lblSite_Click();
    void lblMail_Click();

private:
    void build();
    void load();
    void fillVolumes();

    QLabel *lblTitre, *lblVersion, *lblDate, *lblNotice, *lblMemTotale, *lblMemLibre, *lblDisque, *lblEspaceLibre,
        *lblProcess, *lblSite, *lblMail;
    QComboBox *cboDisques;
    CreditsScroller *picCredits;
    QPushButton *cmdDependances, *cmdControleVersion, *cmdOK;
    std::function<void()> m_onCheck;
    std::function<void()> m_onDependencyHelp;
    std::function<void(const QString &)> m_open;
};

} // namespace tav
