// The hover control's state machine, driven through a scripted pointer,
// buttons and clock.

#include "FakePlatform.h"
#include "HovrixTestUtil.h"
#include "QtPrinters.h"

#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

const QRect AreaRect(0, 0, 100, 20);
const QPoint Inside(10, 10);
const QPoint Outside(500, 500);

class HovrixControl : public ::testing::Test {
protected:
    void SetUp() override {
        setStoredClaim(QString());
        platform = std::make_shared<FakePlatform>();
        control = new Hovrix(platform, &window);
        platform->addArea(AreaRect, control);
        log = std::make_unique<EventLog>(*control);
    }
    void TearDown() override { setStoredClaim(QString()); }

    void enter() {
        platform->moveTo(Inside);
        ASSERT_TRUE(control->GetIsMouseOver());
        log->take();
    }

    QWidget window;
    std::shared_ptr<FakePlatform> platform;
    Hovrix *control = nullptr;
    std::unique_ptr<EventLog> log;
};

TEST_F(HovrixControl, EnteringRaisesMouseOverAndOneMouseMovePerForwardedMove) {
    platform->moveTo(Inside);
    EXPECT_EQ(log->take(), (QStringList{"MouseOver(0)", "MouseMove(0,0)"}));
    EXPECT_TRUE(control->GetIsMouseOver());
    EXPECT_EQ(platform->grabber(), control);
    EXPECT_FALSE(storedClaim().isEmpty());

    // Every later move goes through the grab, which is given up and taken
    // back by the host's forwarded move: one MouseMove each, never a leave.
    platform->modifiers = Qt::ShiftModifier | Qt::ControlModifier;
    platform->moveTo(Inside + QPoint(5, 0));
    platform->advance(30);
    platform->moveTo(Inside + QPoint(10, 2));
    platform->advance(30);
    platform->pressButton(Qt::RightButton);
    platform->moveTo(Inside + QPoint(20, 2));
    platform->advance(30);
    EXPECT_EQ(log->take(), (QStringList{"MouseMove(0,3)", "MouseMove(0,3)", "MouseDown(2,3)"}))
        << "the move right after a press is the press's own";
    EXPECT_TRUE(control->GetIsMouseOver());
    EXPECT_EQ(platform->grabber(), control);
}

TEST_F(HovrixControl, EnteringWithTheLeftButtonHeldRaisesOnlyOneMouseMove) {
    platform->buttons = Qt::LeftButton;
    platform->moveTo(Inside);
    EXPECT_EQ(log->take(), QStringList{"MouseMove(1,0)"});
    EXPECT_EQ(platform->grabber(), control);
}

TEST_F(HovrixControl, LeavingRaisesMouseOutAfterTheTestInterval) {
    control->SetTestInterval(10);
    enter();
    platform->moveTo(Outside);
    EXPECT_EQ(platform->grabber(), nullptr);
    platform->advance(9);
    EXPECT_TRUE(log->events.isEmpty()) << "no leave before the test interval";
    platform->advance(2);
    EXPECT_EQ(log->take(), QStringList{"MouseOut(0)"});
    EXPECT_FALSE(control->GetIsMouseOver());
    EXPECT_TRUE(storedClaim().isEmpty()) << "the claim goes with the leave";
    platform->advance(200);
    EXPECT_TRUE(log->events.isEmpty());

    // Coming back is a new entry; leaving with the right button held says so.
    platform->moveTo(Inside);
    EXPECT_EQ(log->take(), (QStringList{"MouseOver(0)", "MouseMove(0,0)"}));
    platform->buttons = Qt::RightButton;
    platform->moveTo(Outside);
    platform->advance(11);
    EXPECT_EQ(log->take(), QStringList{"MouseOut(2)"});
}

TEST_F(HovrixControl, AHeldLeftButtonKeepsTheControlInsideUntilReleased) {
    control->SetTestInterval(5);
    enter();
    platform->pressButton(Qt::LeftButton);
    EXPECT_EQ(log->take(), QStringList{"MouseDown(1,0)"});
    platform->moveTo(Outside);
    platform->advance(50);
    EXPECT_TRUE(log->events.isEmpty()) << "a drag out of the area is no leave";
    EXPECT_FALSE(control->GetIsMouseOver());
    EXPECT_EQ(platform->grabber(), control) << "the grab is kept for the release";

    platform->releaseButton(Qt::LeftButton);
    EXPECT_EQ(log->take(), QStringList{"MouseOut(0)"}) << "released outside: no click";
    EXPECT_EQ(platform->grabber(), nullptr);
    EXPECT_TRUE(storedClaim().isEmpty());
}

TEST_F(HovrixControl, ReleasesWithinTheDoubleClickTimeMakeADoubleClick) {
    enter();
    platform->click(Qt::LeftButton);
    platform->advance(100);
    platform->click(Qt::LeftButton);
    platform->advance(100);
    platform->click(Qt::LeftButton);
    EXPECT_EQ(log->take(), (QStringList{"MouseDown(1,0)", "MouseUp(1,0)", "Click(1)", "MouseDown(1,0)", "MouseUp(1,0)",
                                        "DblClick(1)", "MouseDown(1,0)", "MouseUp(1,0)", "Click(1)"}));

    // Slower than the platform's double-click time: two single clicks.
    platform->advance(platform->doubleClickMs + 1);
    platform->click(Qt::LeftButton);
    EXPECT_EQ(log->count("Click"), 1);
    EXPECT_EQ(log->count("DblClick"), 0);
    EXPECT_TRUE(control->GetIsMouseOver());
    EXPECT_EQ(platform->grabber(), control);

    log->take();
    platform->doubleClickMs = 50;
    platform->advance(60);
    platform->click(Qt::LeftButton);
    EXPECT_EQ(log->take(), (QStringList{"MouseDown(1,0)", "MouseUp(1,0)", "Click(1)"}));
}

TEST_F(HovrixControl, DisablingWhileHoveredLeavesOnceAndSilencesTheControl) {
    int changes = 0;
    QObject::connect(control, &Hovrix::EnabledChanged, [&](bool) { ++changes; });
    enter();
    control->SetEnabled(false);
    EXPECT_EQ(log->take(), QStringList{"MouseOut(0)"});
    EXPECT_FALSE(control->Enabled());
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(platform->grabber(), nullptr);
    EXPECT_TRUE(storedClaim().isEmpty());
    EXPECT_GE(platform->nudges, 1) << "the window under the pointer hears of it again";

    control->SetEnabled(false);
    platform->moveTo(Inside + QPoint(1, 0));
    platform->advance(50);
    platform->click(Qt::LeftButton);
    EXPECT_TRUE(log->events.isEmpty()) << "a disabled control raises nothing";
    EXPECT_EQ(changes, 1);

    control->SetEnabled(true);
    platform->moveTo(Inside);
    EXPECT_EQ(log->take(), (QStringList{"MouseOver(0)", "MouseMove(0,0)"}));
}

TEST_F(HovrixControl, TestIntervalIsClampedAndPropertiesAreSavedByName) {
    EXPECT_EQ(control->TestInterval(), 1);
    EXPECT_TRUE(control->Enabled());
    control->SetTestInterval(0);
    EXPECT_EQ(control->TestInterval(), 1);
    control->SetTestInterval(250);
    EXPECT_EQ(control->TestInterval(), 100);
    control->SetTestInterval(-3);
    EXPECT_EQ(control->TestInterval(), 1);
    EXPECT_TRUE(control->setProperty("TestInterval", 42));
    EXPECT_EQ(control->property("TestInterval").toInt(), 42);

    QTemporaryDir dir;
    const QString file = dir.filePath("form.ini");
    {
        QSettings form(file, QSettings::IniFormat);
        control->SetEnabled(false);
        control->WriteProperties(form);
        form.beginGroup("Other");
        form.setValue("TestInterval", 250);
        form.endGroup();
    }
    QSettings form(file, QSettings::IniFormat);
    EXPECT_EQ(form.value("TestInterval").toInt(), 42);
    EXPECT_FALSE(form.value("Enabled").toBool());

    Hovrix second(platform, &window);
    second.ReadProperties(form);
    EXPECT_EQ(second.TestInterval(), 42);
    EXPECT_FALSE(second.Enabled());
    form.beginGroup("Other");
    second.ReadProperties(form);
    EXPECT_EQ(second.TestInterval(), 100);
    EXPECT_TRUE(second.Enabled()) << "absent keys read as the defaults";
}

TEST_F(HovrixControl, KeepsItsSize) {
    const QSize designed = control->size();
    EXPECT_EQ(designed.width(), designed.height());
    EXPECT_EQ(designed.width(), (480 * control->logicalDpiX() + 720) / 1440);
    control->resize(300, 120);
    EXPECT_EQ(control->size(), designed);
}

} // namespace
