#pragma once
// The seam between the core and whoever shows things to the user: the main
// window, the command line, or a scripted front end in the tests. The core
// never includes a widget header; it asks its questions through this class.

#include <QList>
#include <QString>
#include <QStringList>

namespace tav {

// Message box answers, as the message box returns them.
enum MsgAnswer : int { AnswerOk = 1, AnswerCancel = 2, AnswerYes = 6, AnswerNo = 7, AnswerModify = 8 };

// Message box styles used by the program (button set + icon, added together).
enum MsgStyle : int {
    StyleOkOnly = 0,
    StyleOkCancel = 1,
    StyleYesNoCancel = 3,
    StyleYesNo = 4,
    StyleCritical = 16,
    StyleQuestion = 32,
    StyleExclamation = 48,
    StyleInformation = 64,
};

// A button of the message box: the answer it leaves, the control that shows
// it (its captions are read under that name in the language file), its
// designed caption, its name in English (a reply on the terminal may use it)
// and the key of its button picture.
struct MsgButton {
    int answer;
    const char *control;
    const char *caption;
    const char *english;
    const char *picture;
};

// A button set: its buttons left to right, and the answers of Enter and Escape.
struct MsgButtonSet {
    QList<MsgButton> buttons;
    int enterAnswer;
    int escapeAnswer;
};

// Every button of the message box: OK, Cancel, Yes, No, Modify.
const QList<MsgButton> &msgAllButtons();
// What is left of a style once the icon values are taken off, in the order
// 64, 48, 32, 16, each test on what the previous ones left.
int msgButtonSetValue(int style);
// The buttons of a style (or of a bare set value): 1 OK/Cancel, 3 Yes/No/Cancel,
// 4 Yes/No, 6 Yes/No/Modify, any other value OK alone.
const MsgButtonSet &msgButtonSet(int style);
// The answer of Escape (the cancel button of the set): what a question gets
// when nobody answers it.
int msgEscapeAnswer(int style);

// One line of the pre-rename review: a file that cannot be renamed and why.
struct ReviewEntry {
    QString oldPath;
    QString newPath;
    QString reason;
};

class FrontEnd {
public:
    virtual ~FrontEnd() = default;

    // Shows a message box and returns the answer (see MsgAnswer). delaySeconds
    // keeps every button disabled that long; a non-empty key offers a
    // "do not show again" box remembered under that key.
    virtual int msgBox(const QString &message, int style, const QString &title, int delaySeconds = 0,
                       const QString &key = QString()) = 0;

    // Asks for one line of text; text holds the default and receives the
    // answer. False when the user cancels (nobody answers: cancelled).
    virtual bool inputBox(const QString & /*prompt*/, const QString & /*title*/, QString & /*text*/) { return false; }

    // Common error reporter, plain variant: shows text as it stands.
    virtual void showPlainError(const QString &text) { msgBox(text, StyleOkOnly, QString()); }

    // Switches every command of the main window around long operations.
    virtual void objetOnOff(bool /*enabled*/, bool /*stopShown*/, bool /*renaming*/) {}

    // Progress of long operations.
    virtual void progressStart(int /*maximum*/) {}
    virtual void progressStep(int /*value*/) {}
    virtual void progressEnd() {}
    // What the progress is of, shown with the bar until the next text (empty: none).
    virtual void progressText(const QString & /*text*/) {}

    // Lets pending window events run (repaint, stop button, Escape).
    virtual void processEvents() {}

    // The pre-rename review: returns true to continue, false to cancel.
    virtual bool reviewBlocked(const QList<ReviewEntry> & /*entries*/, const QString & /*captionSuffix*/) {
        return false;
    }

    // The main window's metadata labels (token, value) — nothing to show by default.
    virtual void showMetadataLabel(int /*index*/, const QString & /*text*/) {}
};

// The front end in use. Never null: a silent default answers every question
// as Escape would (msgEscapeAnswer) until a real front end is installed.
FrontEnd &frontEnd();
void setFrontEnd(FrontEnd *frontEnd);

} // namespace tav
