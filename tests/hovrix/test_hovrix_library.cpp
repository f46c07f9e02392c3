// The library as a host gets it: loaded by name from the program's folder,
// the control class exported and nothing else, and the control working with
// Qt's own pointer grab and timers.

#include "HovrixTestUtil.h"
#include "QtPrinters.h"
#include "TestPaths.h"

#include <QCursor>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>
#include <dlfcn.h>
#include <gtest/gtest.h>

namespace {

const char LibraryPath[] = TAV_BUILD_BIN_DIR "/libhovrix.so";

TEST(HovrixLibrary, LoadsByNameAndExportsTheControlClassOnly) {
    void *lib = dlopen(LibraryPath, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(lib, nullptr) << dlerror();
    // Hovrix::Hovrix(QWidget*) and the forwarded-move method, by their linker names.
    EXPECT_NE(dlsym(lib, "_ZN6HovrixC1EP7QWidget"), nullptr);
    EXPECT_NE(dlsym(lib, "_ZN6Hovrix16ForwardMouseMoveEii"), nullptr);
    EXPECT_NE(dlsym(lib, "_ZN6Hovrix16staticMetaObjectE"), nullptr);
    dlclose(lib);

    const QString nm = QStandardPaths::findExecutable(QStringLiteral("nm"));
    if (nm.isEmpty())
        GTEST_SKIP() << "nm is not installed";
    QProcess run;
    run.start(nm, {"-D", "--defined-only", "-C", LibraryPath});
    ASSERT_TRUE(run.waitForFinished(30000));
    ASSERT_EQ(run.exitCode(), 0);
    QStringList functions;
    for (const QString &line : QString::fromLatin1(run.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts)) {
        const int space = line.indexOf(' ', line.indexOf(' ') + 1);
        if (line.mid(space - 1, 1) == "T") // the version node's suffix ("@@HOVRIX_…") is not part of the name
            functions << line.mid(space + 1).section(QStringLiteral("@@"), 0, 0);
    }
    for (const char *name : {"Hovrix::Hovrix(QWidget*)", "Hovrix::ForwardMouseMove(int, int)",
                             "Hovrix::SetTestInterval(int)", "Hovrix::TestInterval() const", "Hovrix::SetEnabled(bool)",
                             "Hovrix::Enabled() const", "Hovrix::GetIsMouseOver() const", "Hovrix::Click(int)",
                             "Hovrix::DblClick(int)", "Hovrix::MouseDown(int, int)", "Hovrix::MouseMove(int, int)",
                             "Hovrix::MouseUp(int, int)", "Hovrix::MouseOver(int)", "Hovrix::MouseOut(int)",
                             "Hovrix::WriteProperties(QSettings&) const", "Hovrix::ReadProperties(QSettings const&)"})
        EXPECT_TRUE(functions.contains(QLatin1String(name))) << name;
    for (const QString &f : functions) {
        const QString name = f.startsWith("non-virtual thunk to ") ? f.mid(21) : f;
        const bool ours =
            name.startsWith("Hovrix::") || name.startsWith("HovrixPlatform::") || name.startsWith("HovrixTimer::");
        EXPECT_TRUE(ours) << "exported by mistake: " << f.toStdString();
    }
}

// With Qt itself standing for the platform: a label forwards its moves, the
// control takes Qt's grab, and leaving is found by the real timers.
TEST(HovrixLibrary, HostedOnALabelWithQtsOwnGrab) {
    setStoredClaim(QString());
    QWidget window;
    window.resize(300, 200);
    auto *label = new QLabel(QStringLiteral("<Nom>"), &window);
    label->setGeometry(10, 10, 100, 20);
    auto *button = new QPushButton(QStringLiteral("OK"), &window);
    button->setGeometry(200, 140, 80, 40);
    auto *control = new Hovrix(&window);
    control->move(220, 145); // over the button, which stays clickable
    control->forwardMovesFrom(label);
    control->SetTestInterval(20);
    EventLog log(*control);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    QCursor::setPos(label->mapToGlobal(QPoint(5, 5)));
    QTest::mouseMove(label, QPoint(5, 5));
    QTRY_VERIFY(log.events.contains("MouseOver(0)"));
    EXPECT_EQ(QWidget::mouseGrabber(), control);
    EXPECT_TRUE(control->GetIsMouseOver());

    QCursor::setPos(window.mapToGlobal(QPoint(200, 100)));
    QTest::mouseMove(&window, QPoint(200, 100));
    QTRY_VERIFY(log.events.contains("MouseOut(0)"));
    EXPECT_FALSE(control->GetIsMouseOver());
    EXPECT_EQ(QWidget::mouseGrabber(), nullptr);
    EXPECT_TRUE(storedClaim().isEmpty());
    EXPECT_EQ(log.count("MouseOver"), 1);
    EXPECT_EQ(log.count("MouseOut"), 1);

    int clicked = 0;
    QObject::connect(button, &QPushButton::clicked, [&] { ++clicked; });
    // Through the window, so that Qt picks the widget under the pointer.
    QTest::mouseClick(window.windowHandle(), Qt::LeftButton, {}, QPoint(230, 150));
    EXPECT_EQ(clicked, 1);
    EXPECT_EQ(log.count("MouseDown"), 0);
}

} // namespace
