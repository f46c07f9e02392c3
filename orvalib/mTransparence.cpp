// Window translucency on X11: the whole-window opacity is the window's
// _NET_WM_WINDOW_OPACITY property (32 bits, 0 transparent to 0xFFFFFFFF
// opaque), which compositing window managers apply. A window with the
// property counts as ready for translucency ("layered"); without it the
// window is opaque. libX11 is loaded at run time, as for the screen size, so
// the library needs no graphics library to load.

#include "orvalib/Abi.h"

#include <QByteArray>

#include <dlfcn.h>
#include <mutex>

using namespace orva;

namespace {

using Display = void;
using XWindow = unsigned long;
using Atom = unsigned long;
using ErrorHandler = int (*)(Display *, void *);

constexpr Atom XaCardinal = 6;
constexpr int PropModeReplace = 0;
constexpr unsigned long Opaque = 0xFFFFFFFFul;

struct X11 {
    Display *(*openDisplay)(const char *) = nullptr;
    int (*closeDisplay)(Display *) = nullptr;
    Atom (*internAtom)(Display *, const char *, int) = nullptr;
    int (*changeProperty)(Display *, XWindow, Atom, Atom, int, int, const unsigned char *, int) = nullptr;
    int (*deleteProperty)(Display *, XWindow, Atom) = nullptr;
    int (*getWindowProperty)(Display *, XWindow, Atom, long, long, int, Atom, Atom *, int *, unsigned long *,
                             unsigned long *, unsigned char **) = nullptr;
    int (*getGeometry)(Display *, XWindow, XWindow *, int *, int *, unsigned *, unsigned *, unsigned *,
                       unsigned *) = nullptr;
    int (*free)(void *) = nullptr;
    int (*sync)(Display *, int) = nullptr;
    ErrorHandler (*setErrorHandler)(ErrorHandler) = nullptr;
    bool ok = false;
};

template <class Fn> void bind(void *lib, Fn &fn, const char *name, bool &ok) {
    fn = reinterpret_cast<Fn>(::dlsym(lib, name));
    ok = ok && fn;
}

// libX11 stays loaded once found: it registers handlers at exit.
const X11 &x11() {
    static const X11 api = [] {
        X11 x;
        void *lib = ::dlopen("libX11.so.6", RTLD_NOW | RTLD_LOCAL);
        if (!lib)
            return x;
        bool ok = true;
        bind(lib, x.openDisplay, "XOpenDisplay", ok);
        bind(lib, x.closeDisplay, "XCloseDisplay", ok);
        bind(lib, x.internAtom, "XInternAtom", ok);
        bind(lib, x.changeProperty, "XChangeProperty", ok);
        bind(lib, x.deleteProperty, "XDeleteProperty", ok);
        bind(lib, x.getWindowProperty, "XGetWindowProperty", ok);
        bind(lib, x.getGeometry, "XGetGeometry", ok);
        bind(lib, x.free, "XFree", ok);
        bind(lib, x.sync, "XSync", ok);
        bind(lib, x.setErrorHandler, "XSetErrorHandler", ok);
        x.ok = ok;
        return x;
    }();
    return api;
}

// The error handler is the process's: it is replaced only for the length of
// one call, one call at a time, and records instead of ending the process.
std::mutex g_mutex;
bool g_failed = false;
int recordError(Display *, void *) {
    g_failed = true;
    return 0;
}

// One connection to the display of $DISPLAY for one call on one window.
class WindowCall {
public:
    explicit WindowCall(uint32_t window) : m_lock(g_mutex), m_window(window) {
        const QByteArray name = qgetenv("DISPLAY");
        if (name.isEmpty() || !x11().ok)
            return;
        m_reachable = window == 0; // no window to ask about, display or not
        if (window == 0)
            return;
        m_display = x11().openDisplay(name.constData());
        if (!m_display)
            return;
        m_reachable = true;
        g_failed = false;
        m_previous = x11().setErrorHandler(&recordError);
        m_atom = x11().internAtom(m_display, "_NET_WM_WINDOW_OPACITY", 0);
    }
    ~WindowCall() {
        if (!m_display)
            return;
        x11().sync(m_display, 0);
        x11().setErrorHandler(m_previous);
        x11().closeDisplay(m_display);
    }

    // A display was there to ask (libX11 loaded, $DISPLAY opened).
    bool reachable() const { return m_reachable; }

    // The window exists on the display.
    bool valid() {
        if (!m_display || !m_atom)
            return false;
        XWindow root = 0;
        int x = 0, y = 0;
        unsigned width = 0, height = 0, border = 0, depth = 0;
        const int found = x11().getGeometry(m_display, m_window, &root, &x, &y, &width, &height, &border, &depth);
        x11().sync(m_display, 0);
        return found && !g_failed;
    }
    bool hasOpacity() {
        Atom type = 0;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char *data = nullptr;
        const int status = x11().getWindowProperty(m_display, m_window, m_atom, 0, 1, 0, XaCardinal, &type, &format,
                                                   &count, &after, &data);
        if (data)
            x11().free(data);
        return status == 0 && type == XaCardinal && format == 32 && count == 1;
    }
    bool setOpacity(unsigned long value) {
        x11().changeProperty(m_display, m_window, m_atom, XaCardinal, 32, PropModeReplace,
                             reinterpret_cast<const unsigned char *>(&value), 1);
        return synced();
    }
    void removeOpacity() {
        x11().deleteProperty(m_display, m_window, m_atom);
        synced();
    }

private:
    bool synced() {
        x11().sync(m_display, 0);
        return !g_failed;
    }

    std::lock_guard<std::mutex> m_lock;
    uint32_t m_window;
    Display *m_display = nullptr;
    bool m_reachable = false;
    ErrorHandler m_previous = nullptr;
    Atom m_atom = 0;
};

} // namespace

extern "C" {

TAV_API TavBool TavActiveTransparence(int32_t window) {
    return guarded<TavBool>(TAV_FALSE, [&] {
        WindowCall call{static_cast<uint32_t>(window)};
        if (!call.valid())
            return TAV_FALSE;
        // Ready for translucency, still opaque; an opacity already set stays.
        return tavBool(call.hasOpacity() || call.setOpacity(Opaque));
    });
}

TAV_API TavBool TavChangeTransparence(int32_t window, int32_t opacity) {
    return guarded<TavBool>(TAV_FALSE, [&] {
        if (opacity < 0 || opacity > 255)
            return TAV_FALSE;
        WindowCall call{static_cast<uint32_t>(window)};
        // As with layered windows, only a window made ready takes an opacity.
        if (!call.valid() || !call.hasOpacity())
            return TAV_FALSE;
        return tavBool(call.setOpacity(static_cast<unsigned long>(opacity) * 0x01010101ul));
    });
}

TAV_API TavBool TavDesactiveTransparence(int32_t window) {
    return guarded<TavBool>(TAV_TRUE, [&] {
        WindowCall call{static_cast<uint32_t>(window)};
        // Without a display nothing could be done: that is a failure. With one,
        // a window that is not ready, or gone, is left as it is.
        if (!call.reachable())
            return TAV_FALSE;
        if (call.valid())
            call.removeOpacity();
        return TAV_TRUE;
    });
}

} // extern "C"
