// The Qt side of the hover control: QWidget's pointer grab stands for the mouse
// capture, QCursor and QGuiApplication answer for the pointer and the buttons.

#include "hovrix/HovrixPlatform.h"

#include <QApplication>
#include <QCursor>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QPointer>
#include <QStyleHints>
#include <QTimer>
#include <QWidget>

HovrixTimer::~HovrixTimer() = default;
HovrixPlatform::~HovrixPlatform() = default;

namespace {

class QtTimer final : public HovrixTimer {
public:
    QtTimer(QObject *owner, std::function<void()> tick) : timer_(new QTimer(owner)) {
        timer_->setTimerType(Qt::PreciseTimer);
        timer_->setInterval(1);
        QObject::connect(timer_, &QTimer::timeout, owner, std::move(tick));
    }
    ~QtTimer() override { delete timer_.data(); }

    void setInterval(int ms) override {
        // QTimer restarts a running timer on a new interval; keep it in step.
        if (timer_->interval() != ms)
            timer_->setInterval(ms);
    }
    int interval() const override { return timer_->interval(); }
    void setEnabled(bool on) override {
        if (!on)
            timer_->stop();
        else if (!timer_->isActive())
            timer_->start();
    }
    bool isEnabled() const override { return timer_->isActive(); }

private:
    QPointer<QTimer> timer_;
};

class QtPlatform final : public HovrixPlatform {
public:
    QtPlatform() { clock_.start(); }

    Qt::MouseButtons heldButtons() const override { return QGuiApplication::mouseButtons(); }
    Qt::KeyboardModifiers heldModifiers() const override { return QGuiApplication::keyboardModifiers(); }
    QPoint cursorPos() const override { return QCursor::pos(); }

    void grab(QWidget *control) override {
        // grabMouse releases and retakes; the control asks for the grab often.
        if (QWidget::mouseGrabber() != control)
            control->grabMouse();
    }
    void release(QWidget *control) override {
        if (QWidget::mouseGrabber() != control)
            return;
        control->releaseMouse();
        postMoveUnderPointer(control);
    }
    QWidget *grabber() const override { return QWidget::mouseGrabber(); }

    void nudgePointer() override {
        QCursor::setPos(QCursor::pos());
        postMoveUnderPointer(nullptr);
    }
    void processEvents() override { QCoreApplication::processEvents(); }

    qint64 nowMs() const override { return clock_.elapsed(); }
    int doubleClickIntervalMs() const override { return QGuiApplication::styleHints()->mouseDoubleClickInterval(); }

    std::unique_ptr<HovrixTimer> createTimer(QObject *owner, std::function<void()> tick) override {
        return std::make_unique<QtTimer>(owner, std::move(tick));
    }

private:
    // Qt sends nothing when a grab ends; the window under the pointer gets a
    // move here so that its owner can forward it and take the grab back.
    static void postMoveUnderPointer(QWidget *except) {
        const QPoint global = QCursor::pos();
        QWidget *under = QApplication::widgetAt(global);
        if (!under || under == except)
            return;
        QCoreApplication::postEvent(under, new QMouseEvent(QEvent::MouseMove, under->mapFromGlobal(global), global,
                                                           Qt::NoButton, QGuiApplication::mouseButtons(),
                                                           QGuiApplication::keyboardModifiers()));
    }

    QElapsedTimer clock_;
};

} // namespace

std::shared_ptr<HovrixPlatform> HovrixPlatform::qt() {
    static const std::shared_ptr<HovrixPlatform> platform = std::make_shared<QtPlatform>();
    return platform;
}
