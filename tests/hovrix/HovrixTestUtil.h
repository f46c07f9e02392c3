#pragma once
// Records a control's events as text ("MouseDown(1,0)") and reads the claim
// that the controls share.

#include "hovrix/Hovrix.h"

#include <QSettings>
#include <QStringList>
#include <algorithm>

struct EventLog {
    QStringList events;

    explicit EventLog(Hovrix &h) {
        auto one = [this](const char *name) {
            return [this, name](int a) { events << QStringLiteral("%1(%2)").arg(QLatin1String(name)).arg(a); };
        };
        auto two = [this](const char *name) {
            return [this, name](int a, int b) {
                events << QStringLiteral("%1(%2,%3)").arg(QLatin1String(name)).arg(a).arg(b);
            };
        };
        QObject::connect(&h, &Hovrix::Click, one("Click"));
        QObject::connect(&h, &Hovrix::DblClick, one("DblClick"));
        QObject::connect(&h, &Hovrix::MouseDown, two("MouseDown"));
        QObject::connect(&h, &Hovrix::MouseMove, two("MouseMove"));
        QObject::connect(&h, &Hovrix::MouseUp, two("MouseUp"));
        QObject::connect(&h, &Hovrix::MouseOver, one("MouseOver"));
        QObject::connect(&h, &Hovrix::MouseOut, one("MouseOut"));
    }
    QStringList take() {
        QStringList out;
        out.swap(events);
        return out;
    }
    int count(const QString &prefix) const {
        return int(std::count_if(events.begin(), events.end(), [&](const QString &e) { return e.startsWith(prefix); }));
    }
};

inline QString storedClaim() {
    QSettings s(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Hovrixlib"),
                QStringLiteral("Hovrixlib"));
    return s.value(QStringLiteral("Temp/Hwnd")).toString();
}

inline void setStoredClaim(const QString &text) {
    QSettings s(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Hovrixlib"),
                QStringLiteral("Hovrixlib"));
    if (text.isEmpty())
        s.remove(QStringLiteral("Temp"));
    else
        s.setValue(QStringLiteral("Temp/Hwnd"), text);
    s.sync();
}
