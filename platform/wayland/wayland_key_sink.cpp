// One virtual keyboard for the life of the sink: creating and destroying keyboards per scan makes
// some compositors reset the user's layout. Our keymap goes out again at the start of every block,
// since the compositor replaces it with the user's on a reload or an input configuration change.
// Such a change must not land inside a block, where it would turn the rest of the block into the
// user's layout: so each block waits for the compositor to have handled everything before it, and
// then goes out in one write, which the compositor reads and handles whole.
// Press and release of a character go out together: key repeat is the client's business on
// Wayland, and a release that came late would let it repeat the key.
#include "platform/wayland/wayland_key_sink.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <time.h>
#include <unistd.h>
#include <wayland-client.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "platform/wayland/fixed_keymap.h"
#include "virtual-keyboard-unstable-v1-client-protocol.h"

namespace platform {

namespace {

using Clock = std::chrono::steady_clock;

// How long one exchange with the compositor may hold up the reader thread.
constexpr std::chrono::milliseconds kReplyLimit{2000};
constexpr unsigned kSyncEvery = 256;  // characters between round trips

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
        sendKeymap();
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

    void setShift(bool down) {
        zwp_virtual_keyboard_v1_modifiers(m_keyboard, down ? wayland::kFixedShiftMask : 0, 0, 0, 0);
        m_shift = down;
    }

    // Sends what is queued, waiting for room in the socket no longer than the reply limit.
    bool flush(Clock::time_point deadline = Clock::now() + kReplyLimit) {
        while (check()) {
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
        return false;
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
        if (m_keyboard != nullptr) {
            if (alive() && m_shift) {
                setShift(false);
            }
            zwp_virtual_keyboard_v1_destroy(m_keyboard);
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
        if (alive()) {
            flush();
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
