#pragma once
// Shows the program's message box (frmKobMsgBox) and keeps its program-wide
// state: the last answer, the delay countdown and the key of the box on screen.

#include <QString>

namespace tav::KobMesgBox {

// Shows a box and returns when it is closed; returns the last answer.
// style: icon value (16, 32, 48, 64) + button set (0 OK, 1 OK/Cancel,
// 3 Yes/No/Cancel, 4 Yes/No, 6 Yes/No/Modify; msgButtonSet in
// core/base/FrontEnd.h); the call leaves the button set in it. delay: seconds during which every button stays disabled.
// key: when not empty, a "do not show again" box whose state is stored under that key. While a box is open a second
// request shows nothing and leaves the last answer as it was. answered (when given) tells whether a button of this box
// gave the answer: false for a dropped request, and for a box that was closed
// some other way (hidden by its owner, its event loop ended), whose last
// answer is still the one of an earlier box.
int show(const QString &message, int &style, const QString &title, int delay = 0, const QString &key = QString(),
         bool *answered = nullptr);

// The answer of the last button pressed: 1 OK, 2 cancel, 6 yes, 7 no, 8 modify.
int lastAnswer();
void setLastAnswer(int answer);

// Whether a box is on screen.
bool isOpen();

// Program-wide countdown (seconds) and key of the box on screen.
int &countdown();
QString &keyOnScreen();

// Where "do not show again" is stored: the per-user store (native format)
// under the program's name, group "DialogBox".
QString dialogBoxGroup();

} // namespace tav::KobMesgBox
