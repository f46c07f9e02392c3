#pragma once
// The claim shared by every hover control of the user: the per-user store of
// application "Hovrixlib" holds, in section "Temp", value "Hwnd", the owner of
// the control that currently counts as hovered. An owner is a process and a
// control within it, written "pid:start:instance" (start is the process's start
// time, so a reused process id does not revive a dead claim).

#include <QString>
#include <QtGlobal>

namespace hovrix {

struct Owner {
    qint64 pid = 0;
    qint64 start = 0;
    quint64 instance = 0;

    bool isNull() const { return pid <= 0 || instance == 0; }
    QString text() const;
    static Owner parse(const QString &text);
    bool operator==(const Owner &other) const = default;
};

// Controls of this process register while they live.
quint64 registerInstance();
void unregisterInstance(quint64 instance);

Owner ownerOf(quint64 instance);
bool ownerExists(const Owner &owner);

// The current claim; absent, unreadable or left by an owner that no longer
// exists, it reads as null.
Owner readClaim();
void writeClaim(const Owner &owner);
// Removes the claim section, but only while the claim names owner.
void dropClaim(const Owner &owner);

} // namespace hovrix
