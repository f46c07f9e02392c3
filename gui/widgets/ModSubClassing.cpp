#include "gui/widgets/ModSubClassing.h"

#include <QAbstractScrollArea>
#include <QHash>
#include <QPointer>
#include <QVariant>

namespace tav::shell::ModSubClassing {

bool subclass(QObject *window, QObject *filter) {
    if (!window || !filter || isSubclassed(window))
        return false;
    window->installEventFilter(filter);
    // A scrolling view receives its mouse events on its viewport.
    if (auto *area = qobject_cast<QAbstractScrollArea *>(window))
        area->viewport()->installEventFilter(filter);
    window->setProperty("OldProc", QVariant::fromValue<QObject *>(filter));
    return true;
}

bool isSubclassed(const QObject *window) {
    return window && window->property("OldProc").isValid();
}

} // namespace tav::shell::ModSubClassing

namespace tav::shell::registry {

namespace {
QHash<QString, QPointer<QObject>> &table() {
    static QHash<QString, QPointer<QObject>> controls;
    return controls;
}
} // namespace

QString keyOf(const QObject *window) {
    return QString::number(quintptr(window)) + QStringLiteral("HWND");
}

bool add(QObject *window) {
    if (!window)
        return false;
    auto &controls = table();
    const QString key = keyOf(window);
    auto found = controls.find(key);
    // A dead entry (a control destroyed meanwhile at the same address) is replaced.
    if (found != controls.end() && !found->isNull())
        return false;
    controls.insert(key, window);
    return true;
}

bool contains(const QObject *window) {
    auto found = table().constFind(keyOf(window));
    return found != table().constEnd() && !found->isNull();
}

int count() {
    int n = 0;
    for (const auto &control : table())
        if (!control.isNull())
            ++n;
    return n;
}

void clear() {
    table().clear();
}

} // namespace tav::shell::registry
