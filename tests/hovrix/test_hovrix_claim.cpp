// One hovered control per user: the claim shared by windows and processes.

#include "FakePlatform.h"
#include "HovrixTestUtil.h"
#include "QtPrinters.h"
#include "TestPaths.h"

#include <QProcess>
#include <gtest/gtest.h>

namespace {

const QRect FirstArea(0, 0, 100, 20);
const QRect SecondArea(0, 100, 100, 20);

class HovrixClaim : public ::testing::Test {
protected:
    void SetUp() override {
        setStoredClaim(QString());
        platform = std::make_shared<FakePlatform>();
    }
    void TearDown() override { setStoredClaim(QString()); }

    std::shared_ptr<FakePlatform> platform;
};

// A second program holding the claim with a control of its own.
class Holder {
public:
    Holder() {
        process.setProgram(QStringLiteral(TAV_BUILD_BIN_DIR "/hovrix_claim_holder"));
        process.start();
        if (process.waitForReadyRead(30000))
            line = QString::fromLatin1(process.readLine()).trimmed();
    }
    ~Holder() {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(30000);
        }
    }
    void quit() {
        process.write("quit\n");
        process.closeWriteChannel();
        process.waitForFinished(30000);
    }
    void kill() {
        process.kill();
        process.waitForFinished(30000);
    }

    QProcess process;
    QString line;
};

qint64 deadProcessId() {
    QProcess gone;
    gone.start(QStringLiteral("true"), {});
    if (!gone.waitForStarted(30000))
        return 0;
    const qint64 pid = gone.processId();
    gone.waitForFinished(30000);
    return pid;
}

TEST_F(HovrixClaim, ASecondControlStaysOutWhileTheFirstIsHovered) {
    QWidget firstWindow, secondWindow;
    Hovrix first(platform, &firstWindow), second(platform, &secondWindow);
    first.SetTestInterval(5);
    platform->addArea(FirstArea, &first);
    platform->addArea(SecondArea, &second);
    EventLog firstLog(first), secondLog(second);

    platform->moveTo(FirstArea.center());
    ASSERT_EQ(firstLog.take(), (QStringList{"MouseOver(0)", "MouseMove(0,0)"}));
    const QString claim = storedClaim();

    // The second window's host forwards moves while the first is hovered.
    second.ForwardMouseMove(0, 0);
    second.ForwardMouseMove(0, 1);
    EXPECT_EQ(secondLog.take(), (QStringList{"MouseMove(0,0)", "MouseMove(0,1)"}));
    EXPECT_EQ(platform->grabber(), &first) << "the second control never takes the grab";
    EXPECT_EQ(storedClaim(), claim);
    EXPECT_TRUE(firstLog.events.isEmpty());

    // Once the first has left, the second enters on its next move.
    platform->moveTo(SecondArea.center());
    platform->advance(6);
    EXPECT_EQ(firstLog.take(), QStringList{"MouseOut(0)"});
    platform->moveTo(SecondArea.center() + QPoint(1, 0));
    EXPECT_EQ(secondLog.take(), (QStringList{"MouseMove(0,0)", "MouseOver(0)", "MouseMove(0,0)"}))
        << "the move that found the first still hovered, then the entry";
    EXPECT_EQ(platform->grabber(), &second);
    EXPECT_NE(storedClaim(), claim);
}

TEST_F(HovrixClaim, AClaimLeftByAWindowOrProcessThatIsGoneDoesNotBlock) {
    QWidget window;
    Hovrix control(platform, &window);
    platform->addArea(FirstArea, &control);
    EventLog log(control);

    const qint64 dead = deadProcessId();
    ASSERT_GT(dead, 0);
    QString leftBehind;
    {
        // A control of this process that ends without its claim being cleared.
        QWidget other;
        Hovrix gone(platform, &other);
        gone.ForwardMouseMove(0, 0);
        leftBehind = storedClaim();
    }
    ASSERT_FALSE(leftBehind.isEmpty());

    for (const QString &stale :
         {QStringLiteral("%1:0:1").arg(dead), leftBehind, QStringLiteral("garbage"), QStringLiteral("0")}) {
        setStoredClaim(stale);
        platform->moveTo(FirstArea.center());
        EXPECT_EQ(log.take(), (QStringList{"MouseOver(0)", "MouseMove(0,0)"})) << stale.toStdString();
        EXPECT_NE(storedClaim(), stale);
        control.SetEnabled(false);
        control.SetEnabled(true);
        log.take();
        platform->moveTo({-50, -50});
    }
}

TEST_F(HovrixClaim, AnotherProcessBlocksWhileItRunsAndReleasesWhenItEnds) {
    QWidget window;
    Hovrix control(platform, &window);
    platform->addArea(FirstArea, &control);
    EventLog log(control);

    {
        Holder holder;
        ASSERT_EQ(holder.line, "claimed") << holder.process.readAllStandardError().toStdString();
        const QString held = storedClaim();
        EXPECT_TRUE(held.startsWith(QString::number(holder.process.processId()) + ':')) << held.toStdString();

        platform->moveTo(FirstArea.center());
        EXPECT_EQ(log.take(), QStringList{"MouseMove(0,0)"}) << "held by a live process";
        EXPECT_EQ(platform->grabber(), nullptr);

        holder.quit();
        EXPECT_EQ(holder.process.exitCode(), 0);
        EXPECT_TRUE(storedClaim().isEmpty()) << "a control that ends clears its claim";
    }
    platform->moveTo(FirstArea.center() + QPoint(1, 0));
    EXPECT_EQ(log.take(), (QStringList{"MouseOver(0)", "MouseMove(0,0)"}));
    control.SetEnabled(false);
    log.take();
    control.SetEnabled(true);

    // A process killed while hovering leaves its claim behind; it is ignored.
    Holder killed;
    ASSERT_EQ(killed.line, "claimed");
    killed.kill();
    ASSERT_FALSE(storedClaim().isEmpty());
    platform->moveTo(FirstArea.center());
    EXPECT_EQ(log.take(), (QStringList{"MouseOver(0)", "MouseMove(0,0)"}));
}

TEST_F(HovrixClaim, DestroyingTheHoveredControlClearsOnlyItsOwnClaim) {
    QWidget window;
    auto *first = new Hovrix(platform, &window);
    Hovrix second(platform, &window);
    platform->addArea(FirstArea, first);
    first->ForwardMouseMove(0, 0);
    const QString claim = storedClaim();
    ASSERT_FALSE(claim.isEmpty());

    // A control that never entered leaves the claim alone, even forced out
    // by a press that reaches it.
    second.ForwardMouseMove(0, 0);
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(1, 1), QPointF(1, 1), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(&second, &press);
    EXPECT_EQ(storedClaim(), claim);

    delete first;
    EXPECT_TRUE(storedClaim().isEmpty());
}

} // namespace
