// Typing through XTest. Clients turn a key press into a character with the core keyboard's keymap,
// which the server copies from whichever device sent the last event; so the keysyms a layout lacks
// are bound on spare keys of the XTest device's own keymap, once, and left there while typing.
// Binding a key per character and unbinding it right after races with every client that reads the
// keymap later than the event, and each change floods all clients with mapping notifications.
#include "platform/x11/x11_key_sink.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XInput.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/XTest.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <vector>

#include "platform/x11/x11_key_plan.h"
#include "platform/x11/xlib_dead.h"

namespace platform {

namespace {

using x11::Keymap;
using x11::KeyStroke;
using x11::Keysym;

constexpr unsigned kSyncEvery = 256;  // events between round trips, to keep the server in step

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

void installErrorHandler() {
    static std::once_flag once;
    std::call_once(once, [] {
        XSetErrorHandler(ignoreXError);
        XSetIOErrorHandler(quietIOError);
    });
}

Keymap snapshotOf(XkbDescPtr xkb) {
    Keymap m;
    m.minKeycode = xkb->min_key_code;
    m.maxKeycode = xkb->max_key_code;
    for (int i = 0; i < xkb->map->num_types; ++i) {
        const XkbKeyTypeRec& t = xkb->map->types[i];
        x11::KeyType type;
        type.mask = t.mods.mask;
        for (int j = 0; j < t.map_count; ++j) {
            if (!t.map[j].active) {
                continue;
            }
            type.entries.push_back(
                {t.map[j].mods.mask, t.map[j].level, t.preserve ? t.preserve[j].mask : 0u});
        }
        m.types.push_back(std::move(type));
    }
    for (int kc = m.minKeycode; kc <= m.maxKeycode; ++kc) {
        x11::Key key;
        const int groups = XkbKeyNumGroups(xkb, kc);
        for (int g = 0; g < groups; ++g) {
            x11::KeyGroup group;
            group.type = XkbKeyKeyTypeIndex(xkb, kc, g);
            const int width = XkbKeyGroupWidth(xkb, kc, g);
            for (int level = 0; level < width; ++level) {
                group.levels.push_back(static_cast<Keysym>(XkbKeySymEntry(xkb, kc, level, g)));
            }
            key.groups.push_back(std::move(group));
        }
        const unsigned info = XkbKeyGroupInfo(xkb, kc);
        switch (XkbOutOfRangeGroupAction(info)) {
            case XkbClampIntoRange:
                key.outOfRange = x11::OutOfRange::Clamp;
                break;
            case XkbRedirectIntoRange:
                key.outOfRange = x11::OutOfRange::Redirect;
                key.redirectGroup = XkbOutOfRangeGroupNumber(info);
                break;
            default:
                break;
        }
        key.modifiers = xkb->map->modmap ? xkb->map->modmap[kc] : 0u;
        m.keys.push_back(std::move(key));
    }
    return m;
}

int groupCountOf(const Keymap& m) {
    std::size_t count = 1;
    for (const x11::Key& k : m.keys) {
        count = std::max(count, k.groups.size());
    }
    return static_cast<int>(count);
}

class X11KeySink : public KeySink {
public:
    explicit X11KeySink(std::string display) : m_displayName(std::move(display)) {}
    ~X11KeySink() override { disconnect(); }
    X11KeySink(const X11KeySink&) = delete;
    X11KeySink& operator=(const X11KeySink&) = delete;

    void beginBlock() override {
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

    void sendKey(std::uint16_t codeUnit) override {
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

    void endBlock() override {
        if (m_dpy == nullptr || m_lost) {
            return;
        }
        releaseShift();
        XFlush(m_dpy);
        m_inBlock = false;
    }

    std::string failure() const override {
        if (m_lost) {
            return "lost the X display " + shownName();
        }
        if (m_failed) {
            return m_failReason;
        }
        return {};
    }

private:
    struct OwnedKey {
        std::vector<std::uint32_t> original;  // the key's core keysyms before we bound it
        std::vector<std::uint32_t> bound;     // what we put there
    };

    // Xlib ends the process once a connection is lost unless told otherwise; the display
    // then only refuses further requests, and the sink reports itself failed.
    static void connectionLost(Display*, void* self) {
        static_cast<X11KeySink*>(self)->m_lost = true;
    }

    std::string shownName() const {
        const char* env = std::getenv("DISPLAY");
        return "\"" + (!m_displayName.empty() ? m_displayName : env != nullptr ? env : "") + "\"";
    }

    // Whether the server closed the connection, looked at before Xlib reads from it: when
    // Xlib finds the loss itself and our exit handler returns, libX11 releases the display's
    // lock once too often. The handler still covers a server that goes in mid-block.
    bool serverGone() const {
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

    bool connect() {
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

    // Another keyboard on the same master: a release from it makes the master switch away from
    // the XTest device, so that our next key makes it copy the XTest keymap again.
    static int findOtherKeyboard(Display* dpy, int xtestId) {
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

    static int findXTestKeyboard(Display* dpy) {
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

    std::optional<Keymap> readDeviceKeymap() {
        XkbDescPtr xkb = XkbGetMap(m_dpy, XkbKeyTypesMask | XkbKeySymsMask | XkbModifierMapMask,
                                   static_cast<unsigned>(m_xtestId));
        if (xkb == nullptr) {
            return std::nullopt;
        }
        Keymap m = snapshotOf(xkb);
        XkbFreeKeyboard(xkb, 0, True);
        return m;
    }

    // libXi moves device keymaps as the protocol's 32-bit words, whatever the size of KeySym:
    // the arrays XGetDeviceKeyMapping returns and XChangeDeviceKeyMapping takes are packed.
    std::vector<std::uint32_t> readRows(int first, int count, int& perKeycode) {
        perKeycode = 0;
        KeySym* syms =
            XGetDeviceKeyMapping(m_dpy, m_device, static_cast<KeyCode>(first), count, &perKeycode);
        std::vector<std::uint32_t> out;
        if (syms != nullptr) {
            const auto* words = reinterpret_cast<const std::uint32_t*>(syms);
            out.assign(words, words + static_cast<std::ptrdiff_t>(perKeycode) * count);
            XFree(syms);
        }
        return out;
    }

    void writeRows(int first, int perKeycode, std::vector<std::uint32_t> rows) {
        const int count = static_cast<int>(rows.size()) / perKeycode;
        rows.resize(rows.size() * sizeof(KeySym) / sizeof(std::uint32_t));  // room as KeySym[]
        XChangeDeviceKeyMapping(m_dpy, m_device, first, perKeycode,
                                reinterpret_cast<KeySym*>(rows.data()), count);
    }

    // Whether a key still holds what we bound (the server mirrors group 1 into the core
    // columns of group 2, so only the first two are compared).
    bool stillBound(int keycode, const OwnedKey& owned) {
        int per = 0;
        const std::vector<std::uint32_t> now = readRows(keycode, 1, per);
        return now.size() >= 2 && owned.bound.size() >= 2 && now[0] == owned.bound[0] &&
               now[1] == owned.bound[1];
    }

    // Puts the keysyms the layout lacks on spare keys of the XTest device. Keys bound earlier
    // that still hold what we put there stay ours; a new layout replaced the others.
    void bindSpareKeys() {
        for (auto it = m_owned.begin(); it != m_owned.end();) {
            it = stillBound(it->first, it->second) ? std::next(it) : m_owned.erase(it);
        }
        std::optional<Keymap> map = readDeviceKeymap();
        if (!map) {
            return;
        }
        const int groups = groupCountOf(*map);
        const std::vector<Keysym> missing = x11::missingKeysyms(*map, groups);
        const std::vector<x11::SpareBinding> spares = x11::assignSpareKeys(*map, missing, groups);
        int perKeycode = 0;
        const std::vector<std::uint32_t> rows =
            readRows(map->minKeycode, map->maxKeycode - map->minKeycode + 1, perKeycode);
        const std::size_t keyCount =
            static_cast<std::size_t>(map->maxKeycode - map->minKeycode + 1);
        if (perKeycode < 2 || rows.size() < keyCount * static_cast<std::size_t>(perKeycode)) {
            return;
        }
        for (const x11::SpareBinding& b : spares) {
            const auto first =
                rows.begin() +
                static_cast<std::ptrdiff_t>(b.keycode - map->minKeycode) * perKeycode;
            OwnedKey owned;
            owned.original.assign(first, first + perKeycode);
            owned.bound.assign(static_cast<std::size_t>(perKeycode), NoSymbol);
            owned.bound[0] = b.lower;
            owned.bound[1] = b.upper;
            m_owned[b.keycode] = owned;
        }
        std::set<int> fresh;
        for (const x11::SpareBinding& b : spares) {
            fresh.insert(b.keycode);
        }
        writeKeys(fresh, perKeycode, false);
        m_copyPending = true;
        XSync(m_dpy, False);
        m_keymap = readDeviceKeymap();
        m_planned = false;
        drainEvents();
        if (m_keymap) {
            m_shiftKeycode = findShiftKey(*m_keymap);
            reportUntypable();
        }
    }

    // One request per run of consecutive keycodes: each request notifies every client once.
    void writeKeys(const std::set<int>& keycodes, int perKeycode, bool original) {
        std::vector<std::uint32_t> run;
        int runStart = -1;
        int previous = -2;
        for (int kc : keycodes) {
            if (kc != previous + 1 && !run.empty()) {
                writeRows(runStart, perKeycode, std::move(run));
                run.clear();
            }
            if (run.empty()) {
                runStart = kc;
            }
            std::vector<std::uint32_t> syms = original ? m_owned[kc].original : m_owned[kc].bound;
            syms.resize(static_cast<std::size_t>(perKeycode), NoSymbol);
            run.insert(run.end(), syms.begin(), syms.end());
            previous = kc;
        }
        if (!run.empty()) {
            writeRows(runStart, perKeycode, std::move(run));
        }
    }

    static int findShiftKey(const Keymap& m) {
        for (int kc = m.minKeycode; kc <= m.maxKeycode; ++kc) {
            const x11::Key* key = m.key(kc);
            if (key == nullptr || (key->modifiers & x11::kShiftMask) == 0 || key->groups.empty()) {
                continue;
            }
            const std::vector<Keysym>& levels = key->groups[0].levels;
            if (!levels.empty() && (levels[0] == 0xffe1 || levels[0] == 0xffe2)) {
                return kc;
            }
        }
        return 0;
    }

    void reportUntypable() {
        std::string list;
        for (std::uint16_t c = 1; c <= 0xff; ++c) {
            const std::optional<Keysym> k = x11::keysymForCodeUnit(c);
            if (k && !x11::findStroke(*m_keymap, *k, 0, 0)) {
                char buf[8];
                std::snprintf(buf, sizeof buf, " %02X", c);
                list += buf;
            }
        }
        if (!list.empty()) {
            warn(("no key types these characters (hex):" + list).c_str());
        }
    }

    // True when a keymap change was announced.
    bool drainEvents() {
        bool changed = false;
        while (XPending(m_dpy) > 0) {
            XEvent ev;
            XNextEvent(m_dpy, &ev);
            if (ev.type == m_xkbEvent) {
                const int kind = reinterpret_cast<XkbAnyEvent*>(&ev)->xkb_type;
                changed = changed || kind == XkbNewKeyboardNotify || kind == XkbMapNotify;
            }
        }
        return changed;
    }

    // Before typing: pick up layout and lock changes, and make sure the core keyboard will use
    // the XTest device's keymap.
    void prepare() {
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
                const std::optional<Keysym> k =
                    x11::keysymForCodeUnit(static_cast<std::uint16_t>(c));
                m_strokes[c] = k ? x11::findStroke(*m_keymap, *k, locked, group) : std::nullopt;
            }
            m_plannedLocks = locked;
            m_plannedGroup = group;
            m_planned = true;
        }
        if ((state.base_mods & ~ShiftMask) != 0 ||
            ((state.base_mods & ShiftMask) && !m_shiftDown)) {
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

    // The core keyboard copies a device's map only when the source device changes, so after a
    // change of the XTest map (or of the core map behind its back) an event from elsewhere is
    // needed: the release of a key that is not down, which no client turns into text.
    void switchCoreKeyboardAway() {
        if (m_otherDevice != nullptr && m_keymap) {
            XTestFakeDeviceKeyEvent(m_dpy, m_otherDevice,
                                    static_cast<unsigned>(m_keymap->maxKeycode), False, nullptr, 0,
                                    CurrentTime);
        }
    }

    static bool sameKeys(const Keymap& a, const Keymap& b) {
        if (a.minKeycode != b.minKeycode || a.maxKeycode != b.maxKeycode ||
            a.keys.size() != b.keys.size() || a.types.size() != b.types.size()) {
            return false;
        }
        for (std::size_t i = 0; i < a.keys.size(); ++i) {
            const x11::Key& x = a.keys[i];
            const x11::Key& y = b.keys[i];
            if (x.groups.size() != y.groups.size() || x.modifiers != y.modifiers) {
                return false;
            }
            for (std::size_t g = 0; g < x.groups.size(); ++g) {
                if (x.groups[g].levels != y.groups[g].levels ||
                    x.groups[g].type != y.groups[g].type) {
                    return false;
                }
            }
        }
        return true;
    }

    std::optional<KeyStroke> strokeFor(std::uint16_t codeUnit) {
        if (!m_planned) {
            return std::nullopt;
        }
        if (codeUnit < m_strokes.size()) {
            return m_strokes[codeUnit];
        }
        const std::optional<Keysym> k = x11::keysymForCodeUnit(codeUnit);
        return k ? x11::findStroke(*m_keymap, *k, m_plannedLocks, m_plannedGroup) : std::nullopt;
    }

    void fakeKey(int keycode, bool press) {
        XTestFakeKeyEvent(m_dpy, static_cast<unsigned>(keycode), press ? True : False, CurrentTime);
        if (++m_sinceSync >= kSyncEvery) {
            m_sinceSync = 0;
            XSync(m_dpy, False);
        }
    }

    void releaseShift() {
        if (m_shiftDown) {
            fakeKey(m_shiftKeycode, false);
            m_shiftDown = false;
        }
    }

    void disconnect() {
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

    static void warn(const char* text) { std::fprintf(stderr, "pelmora: X11 typing: %s\n", text); }
    void fail(std::string reason) { m_failReason = "X11 typing: " + std::move(reason); }

    std::string m_displayName;
    Display* m_dpy = nullptr;
    XDevice* m_device = nullptr;
    XDevice* m_otherDevice = nullptr;
    bool m_copyPending = true;
    int m_xtestId = -1;
    int m_xkbEvent = 0;
    bool m_failed = false;
    std::string m_failReason;
    bool m_lost = false;  // set by Xlib's handler when the connection broke
    bool m_inBlock = false;
    bool m_shiftDown = false;
    bool m_warnedHeld = false;
    int m_shiftKeycode = 0;
    unsigned m_sinceSync = 0;
    std::map<int, OwnedKey> m_owned;
    std::optional<Keymap> m_keymap;
    bool m_planned = false;
    unsigned m_plannedLocks = 0;
    int m_plannedGroup = 0;
    std::array<std::optional<KeyStroke>, 256> m_strokes{};
};

}  // namespace

std::unique_ptr<KeySink> makeX11KeySink(std::string& error, const std::string& display) {
    installErrorHandler();
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
    return std::make_unique<X11KeySink>(display);
}

}  // namespace platform
