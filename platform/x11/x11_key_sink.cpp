// Typing through XTest. Clients turn a key press into a character with the core keyboard's keymap,
// which the server copies from whichever device sent the last event; so the keysyms a layout lacks
// are bound on spare keys of the XTest device's own keymap, once, and left there while typing.
// Binding a key per character and unbinding it right after races with every client that reads the
// keymap later than the event, and each change floods all clients with mapping notifications.
#include "platform/x11/x11_key_sink.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include <cstdlib>
#include <optional>

#include "platform/x11/x11_xtest_sink.h"
#include "platform/x11/xlib_dead.h"

namespace platform {

namespace x11 {

namespace {

constexpr unsigned kSyncEvery = 256;  // events between round trips, to keep the server in step

}  // namespace

void X11KeySink::beginBlock() {
    if (m_dpy != nullptr && !m_lost && serverGone()) {
        // Marked dead as Xlib marks it itself: every later call, closing included, then
        // sends and waits for nothing.
        x11::markDisplayDead(m_dpy);
        m_lost = true;
    }
    if (connect()) {
        prepare();
        m_inBlock = true;
    }
}

void X11KeySink::sendKey(std::uint16_t codeUnit) {
    if (!connect()) {
        return;
    }
    if (!m_inBlock) {
        prepare();
    }
    const std::optional<KeyStroke> stroke = strokeFor(codeUnit);
    if (stroke) {
        if (stroke->shift != m_shiftDown) {
            fakeKey(m_shiftKeycode, stroke->shift);
            m_shiftDown = stroke->shift;
        }
        fakeKey(stroke->keycode, true);
        fakeKey(stroke->keycode, false);
    }
    if (!m_inBlock) {
        releaseShift();
        XFlush(m_dpy);
    }
}

void X11KeySink::endBlock() {
    if (m_dpy == nullptr || m_lost) {
        return;
    }
    releaseShift();
    XFlush(m_dpy);
    m_inBlock = false;
}

std::string X11KeySink::failure() const {
    if (m_lost) {
        return "lost the X display " + shownName();
    }
    if (m_failed) {
        return m_failReason;
    }
    return {};
}

void X11KeySink::prepare() {
    bool changed = drainEvents();
    XkbStateRec state{};
    XkbGetState(m_dpy, XkbUseCoreKbd, &state);
    changed = drainEvents() || changed;
    if (changed) {
        std::optional<Keymap> now = readDeviceKeymap();
        if (!now || !m_keymap || !sameKeys(*now, *m_keymap)) {
            bindSpareKeys();
        }
    }
    if (!m_keymap || m_shiftKeycode == 0) {
        return;
    }
    const unsigned locked = state.locked_mods;
    const int group = state.group;
    if (!m_planned || locked != m_plannedLocks || group != m_plannedGroup) {
        for (std::size_t c = 0; c < m_strokes.size(); ++c) {
            const std::optional<Keysym> k = x11::keysymForCodeUnit(static_cast<std::uint16_t>(c));
            m_strokes[c] = k ? x11::findStroke(*m_keymap, *k, locked, group) : std::nullopt;
        }
        m_plannedLocks = locked;
        m_plannedGroup = group;
        m_planned = true;
    }
    if ((state.base_mods & ~ShiftMask) != 0 || ((state.base_mods & ShiftMask) && !m_shiftDown)) {
        if (!m_warnedHeld) {
            m_warnedHeld = true;
            warn("modifier keys are held down: typed characters may be altered");
        }
    }
    // Our first key makes the core keyboard take the XTest map whenever another device typed
    // last, and clients receive the new map before that key. A change of the XTest map while
    // it was already the source is not copied, hence the switch away first.
    if (m_copyPending) {
        switchCoreKeyboardAway();
        m_copyPending = false;
    }
}

void X11KeySink::switchCoreKeyboardAway() {
    if (m_otherDevice != nullptr && m_keymap) {
        XTestFakeDeviceKeyEvent(m_dpy, m_otherDevice, static_cast<unsigned>(m_keymap->maxKeycode),
                                False, nullptr, 0, CurrentTime);
    }
}

std::optional<KeyStroke> X11KeySink::strokeFor(std::uint16_t codeUnit) {
    if (!m_planned) {
        return std::nullopt;
    }
    if (codeUnit < m_strokes.size()) {
        return m_strokes[codeUnit];
    }
    const std::optional<Keysym> k = x11::keysymForCodeUnit(codeUnit);
    return k ? x11::findStroke(*m_keymap, *k, m_plannedLocks, m_plannedGroup) : std::nullopt;
}

void X11KeySink::fakeKey(int keycode, bool press) {
    XTestFakeKeyEvent(m_dpy, static_cast<unsigned>(keycode), press ? True : False, CurrentTime);
    if (++m_sinceSync >= kSyncEvery) {
        m_sinceSync = 0;
        XSync(m_dpy, False);
    }
}

void X11KeySink::releaseShift() {
    if (m_shiftDown) {
        fakeKey(m_shiftKeycode, false);
        m_shiftDown = false;
    }
}

}  // namespace x11

std::unique_ptr<KeySink> makeX11KeySink(std::string& error, const std::string& display) {
    x11::installErrorHandler();
    Display* dpy = XOpenDisplay(display.empty() ? nullptr : display.c_str());
    if (dpy == nullptr) {
        const char* env = std::getenv("DISPLAY");
        const std::string name = !display.empty() ? display : env != nullptr ? env : "";
        error = name.empty() ? "no X display (DISPLAY is not set)"
                             : "cannot open the X display \"" + name + "\"";
        return nullptr;
    }
    int ev = 0;
    int err = 0;
    int major = 0;
    int minor = 0;
    const bool xtest = XTestQueryExtension(dpy, &ev, &err, &major, &minor) != 0;
    int opcode = 0;
    const bool xinput = XQueryExtension(dpy, "XInputExtension", &opcode, &ev, &err) != 0;
    XCloseDisplay(dpy);
    if (!xtest) {
        error = "the X display has no XTEST extension";
        return nullptr;
    }
    if (!xinput) {
        error = "the X display has no XInput extension";
        return nullptr;
    }
    return std::make_unique<x11::X11KeySink>(display);
}

}  // namespace platform
