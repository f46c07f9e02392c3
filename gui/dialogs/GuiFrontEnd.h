#pragma once
// The window front end: questions and notices go to the program's message box.
// The main window derives from it for objetOnOff, the progress bar and the
// pre-rename review.

#include "core/base/FrontEnd.h"

#include <QElapsedTimer>

namespace tav {

class GuiFrontEnd : public FrontEnd {
public:
    // Takes the twips resolution from the primary screen.
    GuiFrontEnd();

    // The message box; a request made while a box is already on screen, or a
    // box closed without any of its buttons, is answered with the set's cancel
    // answer, never with the stale yes of an earlier box.
    int msgBox(const QString &message, int style, const QString &title, int delaySeconds = 0,
               const QString &key = QString()) override;
    // A one-line prompt with the message box's translated button captions.
    bool inputBox(const QString &prompt, const QString &title, QString &text) override;
    // The plain variant of the error reporter: an information box titled with
    // the program's name.
    void showPlainError(const QString &text) override;
    // Runs pending events, at most every 15 ms; the user's input only while
    // it is not held.
    void processEvents() override;

protected:
    // While held, the events run between steps of a long computation paint
    // the window and run its timers; a key or click waits until the
    // computation is over and comes then, in its order.
    void holdUserInput(bool held) { m_inputHeld = held; }

private:
    QElapsedTimer m_sinceEvents;
    bool m_inputHeld = false;
};

// Sets the twips conversion from the primary screen's logical resolution.
void initTwipsFromScreen();

} // namespace tav
