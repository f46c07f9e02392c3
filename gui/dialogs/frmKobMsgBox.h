#pragma once
// The program's own message box: translated buttons (with pictures when the
// user wants them), a yes/no/modify button set, a delay during which every
// button stays disabled, and an optional "do not show again" box. Shown only
// through KobMesgBox::show (dialogs/KobMesgBox.h).

#include <QDialog>
#include <QHash>
#include <QList>

class QCheckBox;
class QLabel;
class QPushButton;
class QTimer;

namespace tav {

class frmKobMsgBox : public QDialog {
    Q_OBJECT
public:
    explicit frmKobMsgBox(QWidget *parent = nullptr);

    // Loads the form: button pictures when enabled, then translation.
    void load();
    // Everything before showing: icons off the style (style keeps the button
    // set afterwards), countdown and key, texts, size and button layout, the
    // delay. Twips throughout, converted once per control.
    void prepare(const QString &message, int &style, const QString &title, int delay, const QString &key);

    // Geometry in twips as laid out by prepare().
    int boxWidth() const { return m_width; }
    int boxHeight() const { return m_height; }

    // The designed size of a button (twips).
    static constexpr int ButtonWidth = 1215;
    static constexpr int ButtonHeight = 405;

public slots:
    // One tick of the one-second timer: counts the delay down and enables the
    // buttons when it runs out.
    void Timer_Timer();

protected:
    void reject() override;
    void showEvent(QShowEvent *event) override;

private:
    void press(int answer);
    void place(QWidget *w, int left, int top, int width, int height);
    void chkAfficher_Click();

    QLabel *lblMsg;
    QLabel *picVbCritical, *picVbQuestion, *picVbExclamation, *picVbInformation;
    QPushButton *cmdOK, *cmdAnnuler, *cmdOui, *cmdNon, *cmdModifier;
    QCheckBox *chkAfficher;
    QTimer *Timer;

    QHash<int, QPushButton *> m_buttons; // by answer
    QList<QPushButton *> m_set;
    QPushButton *m_enter = nullptr;
    QPushButton *m_escape = nullptr;
    int m_width = 0;
    int m_height = 0;
};

} // namespace tav
