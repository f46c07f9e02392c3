#include "gui/main/WindowPlacement.h"

#include <algorithm>
#include <limits>

namespace tav {

namespace {

qint64 overlap(const QRect &a, const QRect &b) {
    const QRect common = a.intersected(b);
    return common.isEmpty() ? 0 : qint64(common.width()) * common.height();
}

// Squared distance between the centres.
qint64 distance(const QRect &a, const QRect &b) {
    const QPoint d = a.center() - b.center();
    return qint64(d.x()) * d.x() + qint64(d.y()) * d.y();
}

} // namespace

QRect placeOnScreens(const QRect &wanted, const QList<QRect> &screens) {
    if (screens.isEmpty() || !wanted.isValid())
        return wanted;
    const QRect *best = nullptr;
    qint64 bestOverlap = 0;
    for (const QRect &s : screens)
        if (const qint64 o = overlap(wanted, s); o > bestOverlap) {
            bestOverlap = o;
            best = &s;
        }
    if (!best) {
        qint64 nearest = std::numeric_limits<qint64>::max();
        for (const QRect &s : screens)
            if (const qint64 d = distance(wanted, s); d < nearest) {
                nearest = d;
                best = &s;
            }
    }
    const QRect &screen = *best;
    QRect placed(wanted.topLeft(), wanted.size().boundedTo(screen.size()));
    placed.moveLeft(std::clamp(placed.left(), screen.left(), screen.right() - placed.width() + 1));
    placed.moveTop(std::clamp(placed.top(), screen.top(), screen.bottom() - placed.height() + 1));
    return placed;
}

} // namespace tav
