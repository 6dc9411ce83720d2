// One virtual keyboard for the life of the sink: creating and destroying keyboards per scan makes
// some compositors reset the user's layout. The compositor may replace our keymap with the user's
// (sway does on a reload or an input configuration change), so our keymap goes out again at the
// start of a block, in the same write as the block's keys: the compositor reads such a write and
// handles it whole, so no change can come between the keymap and the keys. Each block first waits
// for the compositor to have handled everything before it, so that the write arrives alone.
// The seat forwards every keymap to every client, with a file descriptor each, and a busy client
// that falls behind a stream of them is disconnected; Xwayland runs a keymap compiler for each one
// and falls behind at a few dozen a second (then sway 1.7 hangs restarting it). So blocks that
// follow each other closely (a continuous stream rather than scans) carry the keymap only at once
// after the seat announced a keymap that was not ours (watched through a wl_keyboard, as any
// client), and otherwise once every kKeymapAtLeast.
// Press and release of a character go out together: key repeat is the client's business on
// Wayland, and a release that came late would let it repeat the key.
// The compositor passes keys on at once, whoever reads them: a client that cannot keep up
// (Xwayland, fed 200,000 characters a second) has its connection closed, and sway 1.7 then hangs
// restarting Xwayland. So after a burst the keys are paced, well above any serial line's speed.
#include "platform/wayland/wayland_key_sink.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <time.h>
#include <unistd.h>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "platform/wayland/fixed_keymap.h"
#include "virtual-keyboard-unstable-v1-client-protocol.h"

namespace platform {

namespace {

using Clock = std::chrono::steady_clock;

// How long one exchange with the compositor may hold up the reader thread.
constexpr std::chrono::milliseconds kReplyLimit{2000};
// The last try at handing over what is queued to a compositor that stopped answering before.
constexpr std::chrono::milliseconds kLastFlushLimit{300};
constexpr unsigned kSyncEvery = 256;  // characters between round trips
// A block that starts sooner than this after the previous one continues a stream. A scanner's
// codes (a block ends only after 100 ms of silence or at 32 bytes), and any serial line up to
// 6,400 bit/s, get the keymap with every block.
constexpr std::chrono::milliseconds kStreamGap{50};
constexpr std::chrono::milliseconds kKeymapAtLeast{1000};
// 20,000 characters a second after a burst of 512 (a long 2D code), sleeping 2 ms at a time.
constexpr std::chrono::microseconds kCharInterval{50};
constexpr std::chrono::microseconds kBurstSpan = 512 * kCharInterval;
constexpr std::chrono::milliseconds kPaceSleep{2};

std::uint32_t nowMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(ts.tv_sec) * 1000u +
                                      static_cast<std::uint64_t>(ts.tv_nsec) / 1000000u);
}

int remainingMs(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// The keymap in a sealed memory file: the same descriptor is sent with every block.
int keymapFile(std::size_t& size) {
    const std::string& text = wayland::fixedKeymapText();
    size = text.size() + 1;  // compositors read it as a C string
    const int fd = memfd_create("pelmora-keymap", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    if (fd < 0) {
        return -1;
    }
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = write(fd, text.c_str() + done, size - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            close(fd);
            return -1;
        }
        done += static_cast<std::size_t>(n);
    }
    fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL);
    return fd;
}

class WaylandKeySink : public KeySink {
public:
    ~WaylandKeySink() override { disconnect(); }
    WaylandKeySink() = default;
    WaylandKeySink(const WaylandKeySink&) = delete;
    WaylandKeySink& operator=(const WaylandKeySink&) = delete;

    bool connect(const std::string& name, std::string& error) {
        m_display = wl_display_connect(name.empty() ? nullptr : name.c_str());
        if (m_display == nullptr) {
            const char* env = std::getenv("WAYLAND_DISPLAY");
            const std::string shown = !name.empty() ? name : env != nullptr ? env : "";
            error = "cannot connect to the Wayland compositor" +
                    (shown.empty() ? std::string() : " \"" + shown + "\"");
            return false;
        }
        m_registry = wl_display_get_registry(m_display);
        static const wl_registry_listener listener = {&WaylandKeySink::global,
                                                      &WaylandKeySink::globalRemove};
        wl_registry_add_listener(m_registry, &listener, this);
        if (!roundtrip()) {
            error = "the Wayland compositor did not answer (" + m_reason + ")";
            return false;
        }
        if (m_manager == nullptr) {
            error =
                "the Wayland compositor offers no virtual keyboard "
                "(zwp_virtual_keyboard_manager_v1)";
            return false;
        }
        if (m_seat == nullptr) {
            error = "the Wayland compositor has no seat";
            return false;
        }
        m_keymapFd = keymapFile(m_keymapSize);
        if (m_keymapFd < 0) {
            error = std::string("cannot make the keymap file: ") + std::strerror(errno);
            return false;
        }
        m_keyboard = zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(m_manager, m_seat);
        sendKeymap();
        if (!roundtrip()) {
            error = "the Wayland compositor refused a virtual keyboard (" + m_reason + ")";
            return false;
        }
        // Only now does the seat surely have a keyboard: a wl_keyboard asked for earlier would
        // hear nothing.
        m_announced = expectedAnnouncement();
        m_seatKeyboard = wl_seat_get_keyboard(m_seat);
        static const wl_keyboard_listener keyboardListener = {
            &WaylandKeySink::seatKeymap,    &WaylandKeySink::seatEnter,
            &WaylandKeySink::seatLeave,     &WaylandKeySink::seatKey,
            &WaylandKeySink::seatModifiers, &WaylandKeySink::seatRepeat};
        wl_keyboard_add_listener(m_seatKeyboard, &keyboardListener, this);
        m_keymapStale = true;
        return true;
    }

    void beginBlock() override {
        if (!alive()) {
            return;
        }
        // Also shows a compositor that went away, before we type into it.
        if (!roundtrip()) {
            return;
        }
        const Clock::time_point now = Clock::now();
        if (m_keymapStale || now - m_lastBlock >= kStreamGap ||
            now - m_keymapSent >= kKeymapAtLeast) {
            sendKeymap();
            m_keymapSent = now;
            m_keymapStale = false;
        }
        m_lastBlock = now;
        m_inBlock = true;
    }

    void sendKey(std::uint16_t codeUnit) override {
        if (!alive()) {
            return;
        }
        const bool alone = !m_inBlock;
        if (alone) {
            beginBlock();
        }
        if (const std::optional<wayland::FixedStroke> stroke = wayland::fixedStroke(codeUnit)) {
            if (stroke->shift != m_shift) {
                setShift(stroke->shift);
            }
            const std::uint32_t key = stroke->keycode - 8;
            const std::uint32_t t = nowMs();
            zwp_virtual_keyboard_v1_key(m_keyboard, t, key, WL_KEYBOARD_KEY_STATE_PRESSED);
            zwp_virtual_keyboard_v1_key(m_keyboard, t, key, WL_KEYBOARD_KEY_STATE_RELEASED);
            if (++m_sinceSync >= kSyncEvery) {
                m_sinceSync = 0;
                roundtrip();
            }
            pace();
        }
        if (alone) {
            endBlock();
        }
    }

    void endBlock() override {
        m_inBlock = false;
        if (!alive()) {
            return;
        }
        if (m_shift) {
            setShift(false);
        }
        flush();
    }

    std::string failure() const override {
        return m_reason.empty() ? std::string()
                                : "the Wayland compositor went away (" + m_reason + ")";
    }

private:
    static void global(void* data, wl_registry* registry, std::uint32_t name, const char* interface,
                       std::uint32_t) {
        auto* self = static_cast<WaylandKeySink*>(data);
        if (std::strcmp(interface, wl_seat_interface.name) == 0 && self->m_seat == nullptr) {
            self->m_seat =
                static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
        } else if (std::strcmp(interface, zwp_virtual_keyboard_manager_v1_interface.name) == 0 &&
                   self->m_manager == nullptr) {
            self->m_manager = static_cast<zwp_virtual_keyboard_manager_v1*>(
                wl_registry_bind(registry, name, &zwp_virtual_keyboard_manager_v1_interface, 1));
        }
    }
    static void globalRemove(void*, wl_registry*, std::uint32_t) {}

    // Our keymap as the compositor announces it: recompiled and written out by xkbcommon, as
    // wlroots does. Empty when it does not compile (then every keymap seen counts as foreign).
    static std::string expectedAnnouncement() {
        std::string out;
        xkb_context* context = xkb_context_new(static_cast<xkb_context_flags>(
            XKB_CONTEXT_NO_DEFAULT_INCLUDES | XKB_CONTEXT_NO_ENVIRONMENT_NAMES));
        if (context == nullptr) {
            return out;
        }
        if (xkb_keymap* keymap = xkb_keymap_new_from_string(
                context, wayland::fixedKeymapText().c_str(), XKB_KEYMAP_FORMAT_TEXT_V1,
                XKB_KEYMAP_COMPILE_NO_FLAGS)) {
            if (char* text = xkb_keymap_get_as_string(keymap, XKB_KEYMAP_FORMAT_TEXT_V1)) {
                out = text;
                std::free(text);
            }
            xkb_keymap_unref(keymap);
        }
        xkb_context_unref(context);
        return out;
    }

    // The seat's keymap changed (another keyboard typed, or the compositor replaced ours).
    static void seatKeymap(void* data, wl_keyboard*, std::uint32_t, int fd, std::uint32_t size) {
        auto* self = static_cast<WaylandKeySink*>(data);
        bool ours = false;
        const std::string& want = self->m_announced;
        if (!want.empty() && size >= want.size() && size <= want.size() + 1) {
            void* map = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
            if (map != MAP_FAILED) {
                ours = std::memcmp(map, want.data(), want.size()) == 0;
                munmap(map, size);
            }
        }
        close(fd);
        if (!ours) {
            self->m_keymapStale = true;
        }
    }
    static void seatEnter(void*, wl_keyboard*, std::uint32_t, wl_surface*, wl_array*) {}
    static void seatLeave(void*, wl_keyboard*, std::uint32_t, wl_surface*) {}
    static void seatKey(void*, wl_keyboard*, std::uint32_t, std::uint32_t, std::uint32_t,
                        std::uint32_t) {}
    static void seatModifiers(void*, wl_keyboard*, std::uint32_t, std::uint32_t, std::uint32_t,
                              std::uint32_t, std::uint32_t) {}
    static void seatRepeat(void*, wl_keyboard*, std::int32_t, std::int32_t) {}

    static void syncDone(void* data, wl_callback*, std::uint32_t) {
        *static_cast<bool*>(data) = true;
    }

    bool alive() const { return m_display != nullptr && m_reason.empty(); }

    void fail(const std::string& why) {
        if (m_reason.empty()) {
            m_reason = why;
        }
    }

    // Checks the display for a protocol or connection error; true while it has none.
    bool check() {
        const int err = wl_display_get_error(m_display);
        if (err != 0) {
            fail(std::strerror(err));
            return false;
        }
        return m_reason.empty();
    }

    void sendKeymap() {
        zwp_virtual_keyboard_v1_keymap(m_keyboard, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, m_keymapFd,
                                       static_cast<std::uint32_t>(m_keymapSize));
        m_shift = false;  // a new keymap starts with no modifier set
        zwp_virtual_keyboard_v1_modifiers(m_keyboard, 0, 0, 0, 0);
    }

    // Books one character; once the burst is spent, hands over what is queued and waits.
    void pace() {
        const Clock::time_point now = Clock::now();
        m_paidUntil = std::max(m_paidUntil, now) + kCharInterval;
        if (m_paidUntil - now > kBurstSpan + kPaceSleep) {
            flush();
            std::this_thread::sleep_until(m_paidUntil - kBurstSpan);
        }
    }

    void setShift(bool down) {
        zwp_virtual_keyboard_v1_modifiers(m_keyboard, down ? wayland::kFixedShiftMask : 0, 0, 0, 0);
        m_shift = down;
    }

    // Sends what is queued, waiting for room in the socket no longer than the reply limit. Also
    // after a time-out: the connection itself may still carry it.
    bool flush(Clock::time_point deadline = Clock::now() + kReplyLimit) {
        for (;;) {
            if (const int err = wl_display_get_error(m_display); err != 0) {
                fail(std::strerror(err));
                return false;
            }
            if (wl_display_flush(m_display) >= 0) {
                return true;
            }
            if (errno != EAGAIN) {
                fail(std::strerror(errno));
                return false;
            }
            pollfd p{wl_display_get_fd(m_display), POLLOUT, 0};
            if (poll(&p, 1, remainingMs(deadline)) <= 0) {
                fail("it stopped reading");
                return false;
            }
        }
    }

    // Reads and handles what the compositor sent, waiting up to `waitMs` for something to come.
    bool readEvents(int waitMs) {
        while (wl_display_prepare_read(m_display) != 0) {
            if (wl_display_dispatch_pending(m_display) < 0) {
                return check();
            }
        }
        pollfd p{wl_display_get_fd(m_display), POLLIN, 0};
        const int ready = poll(&p, 1, waitMs);
        if (ready > 0) {
            if (wl_display_read_events(m_display) < 0) {
                fail(std::strerror(errno));
                return false;
            }
        } else {
            wl_display_cancel_read(m_display);
        }
        wl_display_dispatch_pending(m_display);
        return check();
    }

    // A round trip that gives up after the reply limit: a compositor that stopped answering
    // must not stall the reader.
    bool roundtrip() {
        bool done = false;
        wl_callback* callback = wl_display_sync(m_display);
        static const wl_callback_listener listener = {&WaylandKeySink::syncDone};
        wl_callback_add_listener(callback, &listener, &done);
        const Clock::time_point deadline = Clock::now() + kReplyLimit;
        while (!done && flush(deadline) && readEvents(remainingMs(deadline))) {
            if (!done && Clock::now() >= deadline) {
                fail("it stopped answering");
            }
        }
        wl_callback_destroy(callback);
        return done && check();
    }

    void disconnect() {
        if (m_display == nullptr) {
            return;
        }
        // A compositor that only stopped answering for a while still gets what is queued, the
        // releases among it, and no modifier held: some compositors keep a destroyed keyboard's
        // state in the focused client, where Xwayland would repeat a key held there.
        const bool connected = wl_display_get_error(m_display) == 0;
        if (m_keyboard != nullptr) {
            if (connected && m_shift) {
                setShift(false);
            }
            zwp_virtual_keyboard_v1_destroy(m_keyboard);
        }
        if (m_seatKeyboard != nullptr) {
            wl_keyboard_destroy(m_seatKeyboard);
        }
        if (m_manager != nullptr) {
            zwp_virtual_keyboard_manager_v1_destroy(m_manager);
        }
        if (m_seat != nullptr) {
            wl_seat_destroy(m_seat);
        }
        if (m_registry != nullptr) {
            wl_registry_destroy(m_registry);
        }
        if (connected) {
            flush(Clock::now() + (alive() ? kReplyLimit : kLastFlushLimit));
        }
        wl_display_disconnect(m_display);
        m_display = nullptr;
        if (m_keymapFd >= 0) {
            close(m_keymapFd);
        }
    }

    wl_display* m_display = nullptr;
    wl_registry* m_registry = nullptr;
    wl_seat* m_seat = nullptr;
    zwp_virtual_keyboard_manager_v1* m_manager = nullptr;
    zwp_virtual_keyboard_v1* m_keyboard = nullptr;
    wl_keyboard* m_seatKeyboard = nullptr;  // what the seat tells every client
    std::string m_announced;                // our keymap as the seat announces it
    bool m_keymapStale = true;              // the seat may hold a keymap other than ours
    Clock::time_point m_keymapSent{};
    Clock::time_point m_lastBlock{};
    Clock::time_point m_paidUntil{};  // when the characters sent so far are paid for
    int m_keymapFd = -1;
    std::size_t m_keymapSize = 0;
    bool m_inBlock = false;
    bool m_shift = false;
    unsigned m_sinceSync = 0;
    std::string m_reason;  // why the connection failed; empty while it works
};

}  // namespace

std::unique_ptr<KeySink> makeWaylandKeySink(std::string& error, const std::string& display) {
    if (display.empty()) {
        const char* env = std::getenv("WAYLAND_DISPLAY");
        if (env == nullptr || env[0] == '\0') {
            error = "no Wayland display (WAYLAND_DISPLAY is not set)";
            return nullptr;
        }
    }
    auto sink = std::make_unique<WaylandKeySink>();
    if (!sink->connect(display, error)) {
        return nullptr;
    }
    return sink;
}

}  // namespace platform
