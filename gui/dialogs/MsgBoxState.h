#pragma once
// The message box's program-wide state: the last answer, the delay countdown
// and the key of the box on screen. Apart from KobMesgBox, which shows the
// box, so that the box itself can keep it without including its caller.

#include <QString>

namespace tav::KobMesgBox {

// The answer of the last button pressed: 1 OK, 2 cancel, 6 yes, 7 no, 8 modify.
int lastAnswer();
void setLastAnswer(int answer);

// Program-wide countdown (seconds) and key of the box on screen.
int &countdown();
QString &keyOnScreen();

// Where "do not show again" is stored: the per-user store (native format)
// under the program's name, group "DialogBox".
QString dialogBoxGroup();

} // namespace tav::KobMesgBox
