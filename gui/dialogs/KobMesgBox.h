#pragma once
// Shows the program's message box (frmKobMsgBox); its program-wide state is
// in MsgBoxState.h.

#include "gui/dialogs/MsgBoxState.h"

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

// Whether a box is on screen.
bool isOpen();

} // namespace tav::KobMesgBox
