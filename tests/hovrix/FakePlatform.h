#pragma once
// A scripted windowing system for the hover control: the test moves the
// pointer, holds buttons and advances a clock; timers tick from that clock.
// Areas stand for the host's watched widgets: a move that reaches no grab is
// forwarded to the control of the area under the pointer, as the host would.

#include "hovrix/Hovrix.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <QPointer>
#include <QRect>
#include <algorithm>
#include <vector>

class FakePlatform : public HovrixPlatform {
public:
    class Timer : public HovrixTimer {
    public:
        Timer(FakePlatform &platform, std::function<void()> tick) : platform_(platform), tick_(std::move(tick)) {
            platform_.timers_.push_back(this);
        }
        ~Timer() override { std::erase(platform_.timers_, this); }
        void setInterval(int ms) override {
            interval_ = ms;
            due_ = platform_.now + ms;
        }
        int interval() const override { return interval_; }
        void setEnabled(bool on) override {
            if (on && !enabled_)
                due_ = platform_.now + interval_;
            enabled_ = on;
        }
        bool isEnabled() const override { return enabled_; }

    private:
        friend class FakePlatform;
        FakePlatform &platform_;
        std::function<void()> tick_;
        int interval_ = 1;
        bool enabled_ = false;
        qint64 due_ = 0;
    };

    QPoint pointer{-1000, -1000};
    Qt::MouseButtons buttons;
    Qt::KeyboardModifiers modifiers;
    qint64 now = 100000;
    int doubleClickMs = 400;
    int nudges = 0;

    void addArea(const QRect &rect, Hovrix *control) { areas_.push_back({rect, control}); }

    // The user's hand.
    void moveTo(const QPoint &p) {
        pointer = p;
        if (grabbed_)
            send(QEvent::MouseMove, Qt::NoButton);
        else
            forwardToArea();
    }
    void pressButton(Qt::MouseButton button) {
        buttons |= button;
        if (grabbed_)
            send(QEvent::MouseButtonPress, button);
    }
    void releaseButton(Qt::MouseButton button) {
        buttons &= ~Qt::MouseButtons(button);
        if (grabbed_)
            send(QEvent::MouseButtonRelease, button);
    }
    void click(Qt::MouseButton button) {
        pressButton(button);
        releaseButton(button);
    }
    // Runs the clock forward one millisecond at a time, ticking due timers.
    void advance(int ms) {
        for (int i = 0; i < ms; ++i) {
            ++now;
            const std::vector<Timer *> snapshot = timers_;
            for (Timer *t : snapshot) {
                if (std::find(timers_.begin(), timers_.end(), t) == timers_.end())
                    continue; // deleted by an earlier tick
                if (t->enabled_ && now >= t->due_) {
                    t->due_ = now + t->interval_;
                    t->tick_();
                }
            }
        }
    }

    // HovrixPlatform
    Qt::MouseButtons heldButtons() const override { return buttons; }
    Qt::KeyboardModifiers heldModifiers() const override { return modifiers; }
    QPoint cursorPos() const override { return pointer; }
    void grab(QWidget *control) override { grabbed_ = control; }
    void release(QWidget *control) override {
        if (grabbed_ != control)
            return;
        grabbed_ = nullptr;
        pendingMove_ = true;
    }
    QWidget *grabber() const override { return grabbed_; }
    void nudgePointer() override {
        ++nudges;
        pendingMove_ = true;
    }
    void processEvents() override {
        if (!pendingMove_)
            return;
        pendingMove_ = false;
        forwardToArea();
    }
    qint64 nowMs() const override { return now; }
    int doubleClickIntervalMs() const override { return doubleClickMs; }
    std::unique_ptr<HovrixTimer> createTimer(QObject *, std::function<void()> tick) override {
        return std::make_unique<Timer>(*this, std::move(tick));
    }

private:
    void forwardToArea() {
        for (const auto &[rect, control] : areas_) {
            if (control && rect.contains(pointer)) {
                control->ForwardMouseMove(Hovrix::buttonValue(buttons), Hovrix::shiftValue(modifiers));
                return;
            }
        }
    }
    void send(QEvent::Type type, Qt::MouseButton button) {
        QWidget *target = grabbed_;
        const QPoint local = target->mapFromGlobal(pointer);
        QMouseEvent event(type, local, pointer, button, buttons, modifiers);
        QCoreApplication::sendEvent(target, &event);
    }

    std::vector<std::pair<QRect, QPointer<Hovrix>>> areas_;
    std::vector<Timer *> timers_;
    QPointer<QWidget> grabbed_;
    bool pendingMove_ = false;
};
