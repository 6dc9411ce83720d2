// The XTest sink's connection: opening the display with XKB, XTEST and XInput 2, finding the
// XTest keyboard and another keyboard on its master, noticing a server that went away, and
// giving everything back.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XInput.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/XTest.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>

#include "platform/x11/x11_xtest_sink.h"

namespace platform::x11 {

namespace {

// Xlib's default handler ends the process on any protocol error; a refused keymap change or a
// device that went away must not take the program down.
int ignoreXError(Display*, XErrorEvent*) {
    return 0;
}

// A lost connection (logout, a display manager restart) is the sink's to report, once; Xlib's
// own handler would print its line at every sink that notices.
int quietIOError(Display*) {
    return 0;
}

}  // namespace

void installErrorHandler() {
    static std::once_flag once;
    std::call_once(once, [] {
        XSetErrorHandler(ignoreXError);
        XSetIOErrorHandler(quietIOError);
    });
}

void X11KeySink::connectionLost(Display*, void* self) {
    static_cast<X11KeySink*>(self)->m_lost = true;
}

std::string X11KeySink::shownName() const {
    const char* env = std::getenv("DISPLAY");
    return "\"" + (!m_displayName.empty() ? m_displayName : env != nullptr ? env : "") + "\"";
}

bool X11KeySink::serverGone() const {
    pollfd p{ConnectionNumber(m_dpy), POLLIN, 0};
    if (::poll(&p, 1, 0) <= 0) {
        return false;
    }
    if ((p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
        return true;
    }
    char c = 0;
    return ::recv(p.fd, &c, 1, MSG_PEEK | MSG_DONTWAIT) == 0;
}

bool X11KeySink::connect() {
    if (m_lost) {
        return false;
    }
    if (m_dpy != nullptr) {
        return true;
    }
    if (m_failed) {
        return false;
    }
    m_failed = true;  // one attempt: a sink without display types nothing, quietly after that
    installErrorHandler();
    int major = XkbMajorVersion;
    int minor = XkbMinorVersion;
    int reason = 0;
    int xkbEvent = 0;
    int xkbError = 0;
    int opcode = 0;
    Display* dpy = XkbOpenDisplay(m_displayName.empty() ? nullptr : m_displayName.c_str(),
                                  &xkbEvent, &xkbError, &major, &minor, &reason);
    if (dpy == nullptr) {
        fail("cannot open the X display " + shownName() + " with XKB");
        return false;
    }
    XSetIOErrorExitHandler(dpy, &X11KeySink::connectionLost, this);
    int ev = 0;
    int err = 0;
    int xtMajor = 0;
    int xtMinor = 0;
    int xiMajor = 2;
    int xiMinor = 0;
    if (!XTestQueryExtension(dpy, &ev, &err, &xtMajor, &xtMinor) ||
        !XQueryExtension(dpy, "XInputExtension", &opcode, &ev, &err) ||
        XIQueryVersion(dpy, &xiMajor, &xiMinor) != Success) {
        fail("the X server lacks XTEST or XInput 2");
        XCloseDisplay(dpy);
        return false;
    }
    const int xtestId = findXTestKeyboard(dpy);
    XDevice* device = xtestId >= 0 ? XOpenDevice(dpy, static_cast<XID>(xtestId)) : nullptr;
    if (device == nullptr) {
        fail("the X server has no XTEST keyboard device");
        XCloseDisplay(dpy);
        return false;
    }
    m_dpy = dpy;
    m_xkbEvent = xkbEvent;
    m_xtestId = xtestId;
    m_device = device;
    const int otherId = findOtherKeyboard(dpy, xtestId);
    m_otherDevice = otherId >= 0 ? XOpenDevice(dpy, static_cast<XID>(otherId)) : nullptr;
    XkbSelectEvents(m_dpy, XkbUseCoreKbd, XkbNewKeyboardNotifyMask | XkbMapNotifyMask,
                    XkbNewKeyboardNotifyMask | XkbMapNotifyMask);
    XkbSelectEvents(m_dpy, static_cast<unsigned>(m_xtestId),
                    XkbNewKeyboardNotifyMask | XkbMapNotifyMask,
                    XkbNewKeyboardNotifyMask | XkbMapNotifyMask);
    m_failed = false;
    bindSpareKeys();
    return true;
}

int X11KeySink::findOtherKeyboard(Display* dpy, int xtestId) {
    int count = 0;
    XIDeviceInfo* info = XIQueryDevice(dpy, XIAllDevices, &count);
    int master = -1;
    for (int i = 0; i < count && info != nullptr; ++i) {
        if (info[i].deviceid == xtestId) {
            master = info[i].attachment;
        }
    }
    int id = -1;
    for (int i = 0; i < count && info != nullptr; ++i) {
        if (info[i].use == XISlaveKeyboard && info[i].deviceid != xtestId &&
            info[i].attachment == master && std::strstr(info[i].name, "XTEST") == nullptr) {
            id = info[i].deviceid;
            break;
        }
    }
    XIFreeDeviceInfo(info);
    return id;
}

int X11KeySink::findXTestKeyboard(Display* dpy) {
    int count = 0;
    XIDeviceInfo* info = XIQueryDevice(dpy, XIAllDevices, &count);
    int id = -1;
    for (int i = 0; i < count && info != nullptr; ++i) {
        if (info[i].use == XISlaveKeyboard && std::strstr(info[i].name, "XTEST") != nullptr) {
            id = info[i].deviceid;
            break;
        }
    }
    XIFreeDeviceInfo(info);
    return id;
}

void X11KeySink::disconnect() {
    if (m_dpy == nullptr) {
        return;
    }
    if (m_lost) {
        // Nothing to give back to a server that is gone; free what Xlib holds for it.
        XFree(m_device);
        if (m_otherDevice != nullptr) {
            XFree(m_otherDevice);
        }
        XCloseDisplay(m_dpy);
        m_dpy = nullptr;
        return;
    }
    releaseShift();
    // Give back the keys we bound, unless a layout change replaced them meanwhile.
    std::set<int> ours;
    int perKeycode = 0;
    for (auto& [kc, owned] : m_owned) {
        perKeycode = std::max(perKeycode, static_cast<int>(owned.bound.size()));
        if (stillBound(kc, owned)) {
            ours.insert(kc);
        }
    }
    if (!ours.empty() && perKeycode > 0) {
        writeKeys(ours, perKeycode, true);
        // The core keyboard holds a copy of the XTest map with our keys: switching it to
        // another keyboard gives it that one's map; without one, a Shift tap copies the
        // restored XTest map.
        if (m_otherDevice != nullptr) {
            switchCoreKeyboardAway();
        } else if (m_shiftKeycode != 0) {
            fakeKey(m_shiftKeycode, true);
            fakeKey(m_shiftKeycode, false);
        }
    }
    XSync(m_dpy, False);
    XCloseDevice(m_dpy, m_device);
    if (m_otherDevice != nullptr) {
        XCloseDevice(m_dpy, m_otherDevice);
    }
    XCloseDisplay(m_dpy);
    m_dpy = nullptr;
}

}  // namespace platform::x11
