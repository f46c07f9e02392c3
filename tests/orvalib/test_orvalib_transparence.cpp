// Window translucency through the program's binding, on windows of a virtual
// X display started by the test; the opacity property is read back from the
// display server.

#include "core/base/mTavCommon.h"

#include <QProcess>
#include <QStandardPaths>

#include <dlfcn.h>
#include <gtest/gtest.h>

using namespace mTavCommon;

namespace {

// The few libX11 calls the test needs to make a window and read it back.
struct XClient {
    using Display = void;
    void *lib = ::dlopen("libX11.so.6", RTLD_NOW | RTLD_LOCAL);
    Display *display = nullptr;

    template <class Fn> Fn fn(const char *name) { return reinterpret_cast<Fn>(::dlsym(lib, name)); }

    explicit XClient(const QByteArray &name) {
        if (lib)
            display = fn<Display *(*)(const char *)>("XOpenDisplay")(name.constData());
    }
    ~XClient() {
        if (display)
            fn<int (*)(Display *)>("XCloseDisplay")(display);
    }
    int32_t newWindow() {
        const unsigned long root = fn<unsigned long (*)(Display *)>("XDefaultRootWindow")(display);
        const unsigned long window =
            fn<unsigned long (*)(Display *, unsigned long, int, int, unsigned, unsigned, unsigned, unsigned long,
                                 unsigned long)>("XCreateSimpleWindow")(display, root, 0, 0, 200, 100, 0, 0, 0);
        fn<int (*)(Display *, int)>("XSync")(display, 0);
        return int32_t(window);
    }
    // The opacity property's value, -1 when the window has none.
    qint64 opacity(int32_t window) {
        const unsigned long atom =
            fn<unsigned long (*)(Display *, const char *, int)>("XInternAtom")(display, "_NET_WM_WINDOW_OPACITY", 0);
        unsigned long type = 0, count = 0, after = 0;
        int format = 0;
        unsigned char *data = nullptr;
        fn<int (*)(Display *, unsigned long, unsigned long, long, long, int, unsigned long, unsigned long *, int *,
                   unsigned long *, unsigned long *, unsigned char **)>("XGetWindowProperty")(
            display, uint32_t(window), atom, 0, 1, 0, 6, &type, &format, &count, &after, &data);
        qint64 value = -1;
        if (data) {
            if (count == 1 && format == 32)
                value = qint64(*reinterpret_cast<unsigned long *>(data) & 0xFFFFFFFFul); // libX11 widens with the sign
            fn<int (*)(void *)>("XFree")(data);
        }
        return value;
    }
};

struct Translucency : ::testing::Test {
    QByteArray savedDisplay = qgetenv("DISPLAY");
    QProcess server;

    void TearDown() override {
        if (server.state() != QProcess::NotRunning) {
            server.terminate();
            server.waitForFinished();
        }
        if (savedDisplay.isNull())
            qunsetenv("DISPLAY");
        else
            qputenv("DISPLAY", savedDisplay);
    }
    // Starts a virtual display and points DISPLAY at it; empty on failure.
    QByteArray startDisplay() {
        const QString xvfb = QStandardPaths::findExecutable("Xvfb");
        if (xvfb.isEmpty())
            return QByteArray();
        server.start(xvfb, {"-displayfd", "1", "-noreset", "-screen", "0", "640x480x24", "-nolisten", "tcp"});
        if (!server.waitForStarted())
            return QByteArray();
        QByteArray number;
        for (int i = 0; i < 100 && !number.contains('\n') && server.state() == QProcess::Running; ++i) {
            server.waitForReadyRead(100);
            number += server.readAllStandardOutput();
        }
        if (number.trimmed().isEmpty())
            return QByteArray();
        const QByteArray display = ":" + number.trimmed();
        qputenv("DISPLAY", display);
        return display;
    }
};

} // namespace

TEST_F(Translucency, WithoutADisplayNothingIsDoneAndAllThreeFail) {
    for (const char *display : {"", ":9875"}) { // none, and one nobody serves
        SCOPED_TRACE(display);
        qputenv("DISPLAY", display);
        EXPECT_FALSE(TavActiveTransparence(0x400001));
        EXPECT_FALSE(TavChangeTransparence(0x400001, 128));
        EXPECT_FALSE(TavDesactiveTransparence(0x400001));
    }
    qunsetenv("DISPLAY");
}

TEST_F(Translucency, TheOpacityPropertyFollowsTheThreeCalls) {
    const QByteArray display = startDisplay();
    if (display.isEmpty())
        GTEST_SKIP() << "no virtual X display could be started (Xvfb missing or failing)";
    XClient x(display);
    ASSERT_NE(x.display, nullptr);
    const int32_t window = x.newWindow();
    const int32_t untouched = x.newWindow();

    // Not made ready: no opacity can be set.
    EXPECT_FALSE(TavChangeTransparence(window, 128));
    EXPECT_EQ(x.opacity(window), -1);

    EXPECT_TRUE(TavActiveTransparence(window));
    EXPECT_EQ(x.opacity(window), 0xFFFFFFFFll) << "ready, still opaque";
    EXPECT_TRUE(TavChangeTransparence(window, 128));
    EXPECT_EQ(x.opacity(window), 0x80808080ll);
    EXPECT_TRUE(TavChangeTransparence(window, 0));
    EXPECT_EQ(x.opacity(window), 0);
    EXPECT_FALSE(TavChangeTransparence(window, 256));
    EXPECT_FALSE(TavChangeTransparence(window, -1));
    EXPECT_EQ(x.opacity(window), 0);
    EXPECT_TRUE(TavChangeTransparence(window, 255));
    EXPECT_EQ(x.opacity(window), 0xFFFFFFFFll);
    EXPECT_TRUE(TavChangeTransparence(window, 51));
    // Made ready again: the opacity set stays.
    EXPECT_TRUE(TavActiveTransparence(window));
    EXPECT_EQ(x.opacity(window), 0x33333333ll);

    EXPECT_TRUE(TavDesactiveTransparence(window));
    EXPECT_EQ(x.opacity(window), -1);
    EXPECT_FALSE(TavChangeTransparence(window, 128));
    EXPECT_EQ(x.opacity(window), -1);

    // A window never made ready is left as it was; the other one untouched throughout.
    EXPECT_TRUE(TavDesactiveTransparence(untouched));
    EXPECT_EQ(x.opacity(untouched), -1);

    // A window that does not exist: false, and the process goes on.
    EXPECT_FALSE(TavActiveTransparence(0x7ffffff0));
    EXPECT_FALSE(TavChangeTransparence(0x7ffffff0, 10));
    EXPECT_TRUE(TavDesactiveTransparence(0x7ffffff0));
    EXPECT_FALSE(TavActiveTransparence(0));
}
