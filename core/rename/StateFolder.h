#pragma once
// Where the program keeps what it must not lose between runs but is not a
// setting: the rename journal and the rename history.

#include <QString>

namespace tav {

// $XDG_STATE_HOME/Travoline, or ~/.local/state/Travoline when the variable is
// unset or not an absolute path. Read each time, so that a test process can
// point it elsewhere.
QString stateFolder();

} // namespace tav
