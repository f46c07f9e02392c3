#pragma once
// Where a window comes back: its outer rectangle (the frame's top-left
// corner and the window's size) put onto the screens that exist now.

#include <QList>
#include <QRect>

namespace tav {

// The rectangle moved, and shrunk where it is larger, so that it lies whole
// on one screen's free area: the screen it overlaps most, or the one nearest
// to it when it overlaps none (a screen that is gone). A rectangle already
// on a screen comes back unchanged. No screens: unchanged.
QRect placeOnScreens(const QRect &wanted, const QList<QRect> &screens);

} // namespace tav
