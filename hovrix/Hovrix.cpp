#include "hovrix/Hovrix.h"

#include "hovrix/HovrixClaim.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QSettings>
#include <algorithm>
#include <array>
#include <optional>

namespace {

// The control's designed size: 480 by 480 twips.
constexpr int SizeTwips = 480;
constexpr int TwipsPerInch = 1440;

constexpr int LeftButton = 1;
constexpr int RightButton = 2;
constexpr int MiddleButton = 4;

int clampInterval(int ms) {
    return std::clamp(ms, 1, 100);
}

} // namespace

struct Hovrix::State {
    std::shared_ptr<HovrixPlatform> platform;
    quint64 instance = 0;

    bool enabled = true;
    bool inside = false;
    bool over = false;
    bool capturing = false;
    bool skipNextMove = false;
    // Indexed by button value: 1 left, 2 right, 4 middle.
    std::array<bool, 5> buttonDown{};
    // Last single click per button value, on the platform's clock; empty when
    // none (or after a double click).
    std::array<std::optional<qint64>, 5> lastClick{};
    QPoint lastCursor;

    std::unique_ptr<HovrixTimer> timerCapture;  // keeps the grab
    std::unique_ptr<HovrixTimer> timerCapture2; // watches the pointer while the grab is held
    std::unique_ptr<HovrixTimer> timerTest;     // the leave test

    QPointer<QWidget> area;

    hovrix::Owner owner() const { return hovrix::ownerOf(instance); }
};

int Hovrix::buttonValue(Qt::MouseButtons buttons) {
    return (buttons.testFlag(Qt::LeftButton) ? LeftButton : 0) | (buttons.testFlag(Qt::RightButton) ? RightButton : 0) |
           (buttons.testFlag(Qt::MiddleButton) ? MiddleButton : 0);
}

int Hovrix::shiftValue(Qt::KeyboardModifiers modifiers) {
    return (modifiers.testFlag(Qt::ShiftModifier) ? 1 : 0) | (modifiers.testFlag(Qt::ControlModifier) ? 2 : 0) |
           (modifiers.testFlag(Qt::AltModifier) ? 4 : 0);
}

Hovrix::Hovrix(QWidget *parent) : Hovrix(HovrixPlatform::qt(), parent) {}

Hovrix::Hovrix(std::shared_ptr<HovrixPlatform> platform, QWidget *parent) : QWidget(parent), d(new State) {
    d->platform = std::move(platform);
    d->instance = hovrix::registerInstance();
    setObjectName(QStringLiteral("Hovrix"));
    // Pointer moves reach the control while it holds the grab, buttons or not.
    setMouseTracking(true);
    // Nothing reaches it but through the grab: wherever the host puts it, the
    // pointer goes through to what lies beneath.
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFixedSize(sizeHint());

    d->timerCapture = d->platform->createTimer(this, [this] { onTimerCapture(); });
    d->timerCapture2 = d->platform->createTimer(this, [this] { onTimerCapture2(); });
    d->timerTest = d->platform->createTimer(this, [this] { onTimerTest(); });
    for (auto *timer : {d->timerCapture.get(), d->timerCapture2.get(), d->timerTest.get()}) {
        timer->setInterval(1);
        timer->setEnabled(false);
    }
}

Hovrix::~Hovrix() {
    for (auto *timer : {d->timerCapture.get(), d->timerCapture2.get(), d->timerTest.get()})
        timer->setEnabled(false);
    // QWidget's own destructor ends a grab this control still holds.
    hovrix::dropClaim(d->owner());
    hovrix::unregisterInstance(d->instance);
}

QSize Hovrix::sizeHint() const {
    const int side = (SizeTwips * logicalDpiX() + TwipsPerInch / 2) / TwipsPerInch;
    return {side, side};
}

int Hovrix::TestInterval() const {
    return d->timerTest->interval();
}

void Hovrix::SetTestInterval(int ms) {
    ms = clampInterval(ms);
    if (d->timerTest->interval() == ms)
        return;
    d->timerTest->setInterval(ms);
    emit TestIntervalChanged(ms);
}

bool Hovrix::Enabled() const {
    return d->enabled;
}

void Hovrix::SetEnabled(bool on) {
    if (d->enabled == on)
        return;
    d->enabled = on;
    if (!on && d->inside) {
        d->timerTest->setEnabled(false);
        forceLeave();
    }
    emit EnabledChanged(on);
}

bool Hovrix::GetIsMouseOver() const {
    return d->over;
}

void Hovrix::WriteProperties(QSettings &store) const {
    store.setValue(QStringLiteral("TestInterval"), TestInterval());
    store.setValue(QStringLiteral("Enabled"), Enabled());
}

void Hovrix::ReadProperties(const QSettings &store) {
    bool ok = false;
    const int ms = store.value(QStringLiteral("TestInterval"), 1).toInt(&ok);
    SetTestInterval(ok ? ms : 1);
    SetEnabled(store.value(QStringLiteral("Enabled"), true).toBool());
}

void Hovrix::forwardMovesFrom(QWidget *area) {
    if (d->area)
        d->area->removeEventFilter(this);
    d->area = area;
    if (!area)
        return;
    area->setMouseTracking(true);
    area->installEventFilter(this);
}

bool Hovrix::eventFilter(QObject *watched, QEvent *event) {
    if (watched == d->area && event->type() == QEvent::MouseMove) {
        const auto *move = static_cast<QMouseEvent *>(event);
        ForwardMouseMove(buttonValue(move->buttons()), shiftValue(move->modifiers()));
    }
    return QWidget::eventFilter(watched, event);
}

// --- the grab ---

void Hovrix::takeCapture() {
    d->lastCursor = d->platform->cursorPos();
    d->platform->grab(this);
    d->capturing = true;
    d->timerCapture->setEnabled(true);
}

void Hovrix::giveUpCapture() {
    d->platform->release(this);
    d->capturing = false;
    // The host's pending moves run now; one may take the grab back.
    d->platform->processEvents();
}

int Hovrix::readHeldButtons() {
    const Qt::MouseButtons held = d->platform->heldButtons();
    d->buttonDown[LeftButton] = held.testFlag(Qt::LeftButton);
    d->buttonDown[MiddleButton] = held.testFlag(Qt::MiddleButton);
    d->buttonDown[RightButton] = held.testFlag(Qt::RightButton);
    return buttonValue(held);
}

// --- entering and leaving ---

void Hovrix::ForwardMouseMove(int Button, int Shift) {
    d->timerCapture->setEnabled(true);
    d->over = true;
    if (!d->enabled)
        return;
    // The pointer is still over the area: a pending leave test is cancelled.
    d->timerTest->setEnabled(false);
    enter(Button, Shift);
    if (d->skipNextMove)
        d->skipNextMove = false;
    else
        emit MouseMove(Button, Shift);
}

void Hovrix::enter(int Button, int Shift) {
    if (!d->inside) {
        const hovrix::Owner claim = hovrix::readClaim();
        if (!claim.isNull() && claim != d->owner()) {
            // Another control is hovered; this one stays out.
            giveUpCapture();
            return;
        }
        hovrix::writeClaim(d->owner());
        d->timerCapture2->setEnabled(true);
        d->inside = true;
        const int held = readHeldButtons();
        // A drag that comes in from outside is no hover.
        if (!d->buttonDown[LeftButton])
            emit MouseOver(held);
        d->skipNextMove = true;
        emit MouseMove(Button, Shift);
    }
    takeCapture();
    d->over = true;
}

void Hovrix::leaveTest() {
    const int held = readHeldButtons();
    if (d->buttonDown[LeftButton]) {
        // A drag that started inside keeps the control inside until released.
        takeCapture();
        d->timerTest->setEnabled(false);
        d->timerTest->setEnabled(true);
        d->inside = true;
        d->over = false;
        return;
    }
    if (!d->inside)
        return;
    d->inside = false;
    d->over = false;
    d->timerTest->setEnabled(false);
    d->timerCapture2->setEnabled(false);
    hovrix::dropClaim(d->owner());
    emit MouseOut(held);
}

void Hovrix::forceLeave() {
    d->inside = false;
    d->over = false;
    d->timerTest->setEnabled(false);
    hovrix::dropClaim(d->owner());
    // Stopped before the grab is given up: a move that comes back in while
    // events run re-enters and must find its pointer watch running.
    d->timerCapture2->setEnabled(false);
    emit MouseOut(0);
    giveUpCapture();
    d->platform->nudgePointer();
}

// --- pointer events that reach the control through the grab ---

void Hovrix::capturedMove() {
    if (!d->enabled)
        return;
    d->timerTest->setEnabled(true);
    giveUpCapture();
}

void Hovrix::mouseMoveEvent(QMouseEvent *event) {
    event->accept();
    capturedMove();
}

void Hovrix::mousePressEvent(QMouseEvent *event) {
    event->accept();
    const int button = buttonValue(event->button());
    if (!d->enabled || button == 0)
        return;
    if (!d->inside) {
        forceLeave();
        return;
    }
    takeCapture();
    d->timerTest->setEnabled(false);
    emit MouseDown(button, shiftValue(event->modifiers()));
    d->buttonDown[button] = true;
    d->skipNextMove = true;
}

void Hovrix::mouseDoubleClickEvent(QMouseEvent *event) {
    // Qt turns the second press into a double-click event; double clicks are
    // timed here from the releases, so it is a press like any other.
    mousePressEvent(event);
}

void Hovrix::mouseReleaseEvent(QMouseEvent *event) {
    event->accept();
    const int button = buttonValue(event->button());
    if (!d->enabled || button == 0)
        return;
    const int shift = shiftValue(event->modifiers());
    if (!d->over) {
        // Released away from the area: the press was a drag out of it.
        if (button == LeftButton)
            d->buttonDown.fill(false);
        giveUpCapture();
        forceLeave();
        return;
    }
    if (button != LeftButton && !d->inside) {
        forceLeave();
        return;
    }
    clickOrDoubleClick(button, shift);
    takeCapture();
    if (button != LeftButton) {
        d->buttonDown[button] = false;
        d->skipNextMove = true;
        d->timerTest->setEnabled(true);
    }
}

void Hovrix::clickOrDoubleClick(int button, int shift) {
    const qint64 now = d->platform->nowMs();
    std::optional<qint64> &last = d->lastClick[button];
    if (!last || now - *last > d->platform->doubleClickIntervalMs()) {
        if (d->buttonDown[button]) {
            emit MouseUp(button, shift);
            emit Click(button);
            last = now;
        }
        return;
    }
    if (!d->buttonDown[button])
        emit MouseDown(button, shift);
    emit MouseUp(button, shift);
    emit DblClick(button);
    last.reset();
}

// --- timers ---

void Hovrix::onTimerCapture() {
    const bool leftHeld = d->buttonDown[LeftButton];
    if (leftHeld && d->inside) {
        if (d->platform->grabber() == this)
            takeCapture();
        else
            giveUpCapture();
    }
    if (d->platform->grabber() != this && d->capturing)
        takeCapture();
    if (d->buttonDown[LeftButton] && !d->inside)
        giveUpCapture();
    // Nothing to keep: sleep until the next forwarded move or grab.
    if (!d->capturing && !d->inside)
        d->timerCapture->setEnabled(false);
}

void Hovrix::onTimerCapture2() {
    if (!d->capturing)
        return;
    const QPoint now = d->platform->cursorPos();
    if (now == d->lastCursor)
        return;
    capturedMove();
    d->lastCursor = now;
}

void Hovrix::onTimerTest() {
    if (!d->timerTest->isEnabled())
        return;
    d->platform->processEvents();
    // A forwarded move that ran meanwhile disabled the test: still inside.
    if (d->timerTest->isEnabled()) {
        d->buttonDown.fill(false);
        leaveTest();
    }
    d->timerTest->setEnabled(false);
}
