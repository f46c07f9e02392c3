#pragma once
// What the hover control asks of the windowing system: the pointer grab that
// stands for the mouse capture, the held buttons, the pointer position, the
// event loop, a clock and timers. The control only talks to this interface, so
// its state machine runs the same against Qt and against a scripted fake.

#include "hovrix/HovrixExport.h"

#include <QPoint>
#include <Qt>
#include <functional>
#include <memory>

class QObject;
class QWidget;

class HOVRIX_EXPORT HovrixTimer {
public:
    virtual ~HovrixTimer();
    virtual void setInterval(int ms) = 0;
    virtual int interval() const = 0;
    // Enabling a running timer leaves its next tick where it was.
    virtual void setEnabled(bool on) = 0;
    virtual bool isEnabled() const = 0;
};

class HOVRIX_EXPORT HovrixPlatform {
public:
    virtual ~HovrixPlatform();

    virtual Qt::MouseButtons heldButtons() const = 0;
    virtual Qt::KeyboardModifiers heldModifiers() const = 0;
    virtual QPoint cursorPos() const = 0;

    // The widget that receives every pointer event while it holds the grab.
    virtual void grab(QWidget *control) = 0;
    // Releases the grab only when control holds it. The window under the
    // pointer then gets a fresh move, as it would after a real capture ends.
    virtual void release(QWidget *control) = 0;
    virtual QWidget *grabber() const = 0;

    // Moves the pointer to where it already is, so the window under it hears
    // of the pointer again.
    virtual void nudgePointer() = 0;
    // Lets pending events run once.
    virtual void processEvents() = 0;

    // A monotonic clock in milliseconds and the double-click time.
    virtual qint64 nowMs() const = 0;
    virtual int doubleClickIntervalMs() const = 0;

    // A new timer, disabled, that calls tick on every period; owner ties its
    // life to a QObject where the platform needs one.
    virtual std::unique_ptr<HovrixTimer> createTimer(QObject *owner, std::function<void()> tick) = 0;

    // The Qt implementation, shared by every control of the process.
    static std::shared_ptr<HovrixPlatform> qt();
};
