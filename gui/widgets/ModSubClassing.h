#pragma once
// How the folder tree and the folder list take over their control's events,
// and the program-wide registry of attached controls.
//
// A control is "subclassed" by installing an event filter on it; the filter
// is remembered in the control's dynamic property "OldProc", so a control
// that already has one is never subclassed a second time. The filter goes
// away with the control.

#include <QObject>
#include <QString>

namespace tav::shell::ModSubClassing {

// Installs filter on window (and on its viewport for a scrolling view) unless
// "OldProc" is already set. Returns whether it installed it.
bool subclass(QObject *window, QObject *filter);
bool isSubclassed(const QObject *window);

} // namespace tav::shell::ModSubClassing

namespace tav::shell::registry {

// The key of a control in the registry: its address followed by "HWND".
QString keyOf(const QObject *window);

// Registers an attached control; false when it is registered already.
bool add(QObject *window);
bool contains(const QObject *window);
int count();
// Forgets every control (the folder refresh command and the end of the
// browser); controls can then be attached again.
void clear();

} // namespace tav::shell::registry
