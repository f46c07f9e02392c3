#pragma once
// Hovrix: tells its host when the pointer enters and leaves an area the host
// draws itself (a label, say), and turns presses over that area into clicks
// and double clicks.
//
// The host forwards the area's pointer moves to ForwardMouseMove (or lets
// forwardMovesFrom do it). While the pointer is over the area the control
// holds the pointer grab; every move releases it, and the host's next forwarded
// move takes it back. When no forwarded move comes within TestInterval ms, the
// pointer has left. Only one control per user counts as hovered at a time,
// across windows and processes: they share one claim in the per-user store.

#include "hovrix/HovrixExport.h"
#include "hovrix/HovrixPlatform.h"

#include <QWidget>
#include <memory>

class QSettings;

class HOVRIX_EXPORT Hovrix : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int TestInterval READ TestInterval WRITE SetTestInterval NOTIFY TestIntervalChanged)
    Q_PROPERTY(bool Enabled READ Enabled WRITE SetEnabled NOTIFY EnabledChanged)
    Q_PROPERTY(bool GetIsMouseOver READ GetIsMouseOver)

public:
    // Button values: 1 left, 2 right, 4 middle, summed when several are held.
    // Shift values: 1 Shift, 2 Control, 4 Alt.
    static int buttonValue(Qt::MouseButtons buttons);
    static int shiftValue(Qt::KeyboardModifiers modifiers);

    explicit Hovrix(QWidget *parent = nullptr);
    explicit Hovrix(std::shared_ptr<HovrixPlatform> platform, QWidget *parent = nullptr);
    ~Hovrix() override;

    // Milliseconds of the leave test, 1 to 100 (0 stores 1, more than 100 stores 100).
    int TestInterval() const;
    void SetTestInterval(int ms);

    // When false the control raises no event; switching it off while hovered
    // leaves at once with MouseOut(0).
    bool Enabled() const;
    void SetEnabled(bool on);

    bool GetIsMouseOver() const;

    // The host's pointer-move handler of the watched area calls this with the
    // buttons held and the shift state of the move.
    void ForwardMouseMove(int Button, int Shift);

    // Forwards area's pointer moves to ForwardMouseMove (turns on its mouse
    // tracking and filters its events). One area per control.
    void forwardMovesFrom(QWidget *area);

    // The saved properties, keys "TestInterval" and "Enabled", in the store's
    // current group. Reading clamps TestInterval; absent keys give 1 and true.
    void WriteProperties(QSettings &store) const;
    void ReadProperties(const QSettings &store);

    QSize sizeHint() const override;

signals:
    void Click(int Button);
    void DblClick(int Button);
    void MouseDown(int Button, int Shift);
    void MouseMove(int Button, int Shift);
    void MouseUp(int Button, int Shift);
    void MouseOver(int Button);
    void MouseOut(int Button);

    void TestIntervalChanged(int ms);
    void EnabledChanged(bool on);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void takeCapture();
    void giveUpCapture();
    int readHeldButtons();
    void enter(int Button, int Shift);
    void leaveTest();
    void forceLeave();
    void capturedMove();
    void clickOrDoubleClick(int button, int shift);
    void onTimerCapture();
    void onTimerCapture2();
    void onTimerTest();

    struct State;
    std::unique_ptr<State> d;
};
