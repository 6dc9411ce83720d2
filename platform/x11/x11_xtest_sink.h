// The XTest sink's one class, whose parts live in three files: the connection and its liveness
// with the XInput device lookup (x11_display.cpp), the XTest device's keymap
// (x11_device_keymap.cpp) and typing (x11_key_sink.cpp).
#pragma once

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XInput.h>

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/key_sink.h"
#include "platform/x11/x11_key_plan.h"

namespace platform::x11 {

// Once per process: Xlib's handlers would end it on a protocol error or a lost connection.
void installErrorHandler();

class X11KeySink : public KeySink {
public:
    explicit X11KeySink(std::string display) : m_displayName(std::move(display)) {}
    ~X11KeySink() override { disconnect(); }
    X11KeySink(const X11KeySink&) = delete;
    X11KeySink& operator=(const X11KeySink&) = delete;

    void beginBlock() override;

    void sendKey(std::uint16_t codeUnit) override;

    void endBlock() override;

    std::string failure() const override;

private:
    struct OwnedKey {
        std::vector<std::uint32_t> original;  // the key's core keysyms before we bound it
        std::vector<std::uint32_t> bound;     // what we put there
    };

    // Xlib ends the process once a connection is lost unless told otherwise; the display
    // then only refuses further requests, and the sink reports itself failed.
    static void connectionLost(Display*, void* self);

    std::string shownName() const;

    // Whether the server closed the connection, looked at before Xlib reads from it: when
    // Xlib finds the loss itself and our exit handler returns, libX11 releases the display's
    // lock once too often. The handler still covers a server that goes in mid-block.
    bool serverGone() const;

    bool connect();

    // Another keyboard on the same master: a release from it makes the master switch away from
    // the XTest device, so that our next key makes it copy the XTest keymap again.
    static int findOtherKeyboard(Display* dpy, int xtestId);

    static int findXTestKeyboard(Display* dpy);

    std::optional<Keymap> readDeviceKeymap();

    // libXi moves device keymaps as the protocol's 32-bit words, whatever the size of KeySym:
    // the arrays XGetDeviceKeyMapping returns and XChangeDeviceKeyMapping takes are packed.
    std::vector<std::uint32_t> readRows(int first, int count, int& perKeycode);

    void writeRows(int first, int perKeycode, std::vector<std::uint32_t> rows);

    // Whether a key still holds what we bound (the server mirrors group 1 into the core
    // columns of group 2, so only the first two are compared).
    bool stillBound(int keycode, const OwnedKey& owned);

    // Puts the keysyms the layout lacks on spare keys of the XTest device. Keys bound earlier
    // that still hold what we put there stay ours; a new layout replaced the others.
    void bindSpareKeys();

    // One request per run of consecutive keycodes: each request notifies every client once.
    void writeKeys(const std::set<int>& keycodes, int perKeycode, bool original);

    static int findShiftKey(const Keymap& m);

    void reportUntypable();

    // True when a keymap change was announced.
    bool drainEvents();

    // Before typing: pick up layout and lock changes, and make sure the core keyboard will use
    // the XTest device's keymap.
    void prepare();

    // The core keyboard copies a device's map only when the source device changes, so after a
    // change of the XTest map (or of the core map behind its back) an event from elsewhere is
    // needed: the release of a key that is not down, which no client turns into text.
    void switchCoreKeyboardAway();

    static bool sameKeys(const Keymap& a, const Keymap& b);

    std::optional<KeyStroke> strokeFor(std::uint16_t codeUnit);

    void fakeKey(int keycode, bool press);

    void releaseShift();

    void disconnect();

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

}  // namespace platform::x11
