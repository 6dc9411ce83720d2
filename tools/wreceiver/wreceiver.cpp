// pelmora-wreceiver: a small Wayland window that takes the keyboard focus and prints every
// character it is typed, as a client reads it: the keymap the compositor sends, an xkb_state fed
// with the compositor's modifiers, and xkb_state_key_get_utf8 for each key pressed.
#include <poll.h>
#include <sys/mman.h>
#include <time.h>
#include <unistd.h>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tools/lib/receiver_io.h"
#include "xdg-shell-client-protocol.h"

namespace {

const char kUsage[] =
    "Usage: pelmora-wreceiver [options]\n"
    "Opens a window on the Wayland compositor named by WAYLAND_DISPLAY and writes every\n"
    "character typed into it to standard output, UTF-8 encoded, as xkbcommon gives it from the\n"
    "keymap and modifiers the compositor sends.\n"
    "\n"
    "Options:\n"
    "  --idle-exit-ms N   exit once N ms passed without a character (counted from the first one,\n"
    "                     or from start when nothing arrives)\n"
    "  --count N          exit after N characters\n"
    "  --ready-file PATH  create PATH once the window is shown\n"
    "  --stats            at exit, write to standard error one line:\n"
    "                     \"chars N first_ns F last_ns L\" (CLOCK_MONOTONIC of the first and last\n"
    "                     character)\n"
    "  --enter-times      for each carriage return received, write \"enter_ns T\" "
    "(CLOCK_MONOTONIC)\n"
    "                     to standard error\n"
    "  --keymaps          for each keymap received, write \"keymap NAME\" to standard error, NAME\n"
    "                     its first layout's name or - when it has none\n"
    "  --help             this text\n";

using receiver::monotonicNs;
using receiver::parseCount;
using receiver::writeAll;

struct Receiver {
    // options
    bool stats = false;
    bool enterTimes = false;
    bool keymaps = false;
    long long idleExitMs = -1;
    long long countLimit = -1;
    const char* readyFile = nullptr;

    wl_compositor* compositor = nullptr;
    wl_shm* shm = nullptr;
    xdg_wm_base* wmBase = nullptr;
    wl_seat* seat = nullptr;
    wl_keyboard* keyboard = nullptr;
    wl_surface* surface = nullptr;
    wl_buffer* buffer = nullptr;
    bool shown = false;

    xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    xkb_keymap* keymap = nullptr;
    xkb_state* state = nullptr;

    long long chars = 0;
    long long firstNs = 0;
    long long lastNs = 0;
    long long lastActivity = monotonicNs();
    std::string out;
    bool done = false;
};

wl_buffer* whiteBuffer(wl_shm* shm, int width, int height) {
    const int stride = width * 4;
    const int size = stride * height;
    const int fd = memfd_create("pelmora-wreceiver", MFD_CLOEXEC);
    if (fd < 0 || ftruncate(fd, size) != 0) {
        return nullptr;
    }
    void* data =
        mmap(nullptr, static_cast<std::size_t>(size), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (data == MAP_FAILED) {
        close(fd);
        return nullptr;
    }
    std::memset(data, 0xff, static_cast<std::size_t>(size));
    munmap(data, static_cast<std::size_t>(size));
    wl_shm_pool* pool = wl_shm_create_pool(shm, fd, size);
    wl_buffer* b =
        wl_shm_pool_create_buffer(pool, 0, width, height, stride, WL_SHM_FORMAT_XRGB8888);
    wl_shm_pool_destroy(pool);
    close(fd);
    return b;
}

// Keyboard events.
void onKeymap(void* data, wl_keyboard*, std::uint32_t format, int fd, std::uint32_t size) {
    auto* r = static_cast<Receiver*>(data);
    if (format != WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1) {
        close(fd);
        return;
    }
    void* map = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    close(fd);
    if (map == MAP_FAILED) {
        return;
    }
    xkb_keymap* km =
        xkb_keymap_new_from_string(r->context, static_cast<const char*>(map),
                                   XKB_KEYMAP_FORMAT_TEXT_V1, XKB_KEYMAP_COMPILE_NO_FLAGS);
    munmap(map, size);
    if (km == nullptr) {
        std::fprintf(stderr, "pelmora-wreceiver: a keymap that does not compile\n");
        return;
    }
    xkb_state_unref(r->state);
    xkb_keymap_unref(r->keymap);
    r->keymap = km;
    r->state = xkb_state_new(km);
    if (r->keymaps) {
        const char* name = xkb_keymap_layout_get_name(km, 0);
        std::fprintf(stderr, "keymap %s\n", name != nullptr && name[0] != '\0' ? name : "-");
        std::fflush(stderr);
    }
}

void onEnter(void*, wl_keyboard*, std::uint32_t, wl_surface*, wl_array*) {}
void onLeave(void*, wl_keyboard*, std::uint32_t, wl_surface*) {}

void onKey(void* data, wl_keyboard*, std::uint32_t, std::uint32_t, std::uint32_t key,
           std::uint32_t keyState) {
    auto* r = static_cast<Receiver*>(data);
    if (r->state == nullptr || keyState != WL_KEYBOARD_KEY_STATE_PRESSED) {
        return;
    }
    char buf[64];
    const int n = xkb_state_key_get_utf8(r->state, key + 8, buf, sizeof buf);
    if (n <= 0) {
        return;
    }
    const long long now = monotonicNs();
    for (int i = 0; i < n; ++i) {
        const auto b = static_cast<unsigned char>(buf[i]);
        if (r->enterTimes && b == '\r') {
            std::fprintf(stderr, "enter_ns %lld\n", now);
            std::fflush(stderr);
        }
        if ((b & 0xc0) != 0x80) {
            ++r->chars;
            if (r->firstNs == 0) {
                r->firstNs = now;
            }
        }
        r->out += static_cast<char>(b);
    }
    r->lastNs = now;
    r->lastActivity = now;
    if (r->countLimit >= 0 && r->chars >= r->countLimit) {
        r->done = true;
    }
}

void onModifiers(void* data, wl_keyboard*, std::uint32_t, std::uint32_t depressed,
                 std::uint32_t latched, std::uint32_t locked, std::uint32_t group) {
    auto* r = static_cast<Receiver*>(data);
    if (r->state != nullptr) {
        xkb_state_update_mask(r->state, depressed, latched, locked, 0, 0, group);
    }
}

void onRepeatInfo(void*, wl_keyboard*, std::int32_t, std::int32_t) {}

const wl_keyboard_listener kKeyboardListener = {onKeymap, onEnter,     onLeave,
                                                onKey,    onModifiers, onRepeatInfo};

// The headless compositor has no keyboard until a virtual one appears.
void onCapabilities(void* data, wl_seat* seat, std::uint32_t caps) {
    auto* r = static_cast<Receiver*>(data);
    if ((caps & WL_SEAT_CAPABILITY_KEYBOARD) != 0 && r->keyboard == nullptr) {
        r->keyboard = wl_seat_get_keyboard(seat);
        wl_keyboard_add_listener(r->keyboard, &kKeyboardListener, r);
    } else if ((caps & WL_SEAT_CAPABILITY_KEYBOARD) == 0 && r->keyboard != nullptr) {
        wl_keyboard_release(r->keyboard);
        r->keyboard = nullptr;
    }
}
void onSeatName(void*, wl_seat*, const char*) {}
const wl_seat_listener kSeatListener = {onCapabilities, onSeatName};

void onPing(void*, xdg_wm_base* base, std::uint32_t serial) {
    xdg_wm_base_pong(base, serial);
}
const xdg_wm_base_listener kWmBaseListener = {onPing};

void onSurfaceConfigure(void* data, xdg_surface* xs, std::uint32_t serial) {
    auto* r = static_cast<Receiver*>(data);
    xdg_surface_ack_configure(xs, serial);
    if (r->buffer == nullptr) {
        r->buffer = whiteBuffer(r->shm, 320, 100);
    }
    wl_surface_attach(r->surface, r->buffer, 0, 0);
    wl_surface_commit(r->surface);
    if (!r->shown) {
        r->shown = true;
        if (r->readyFile != nullptr) {
            if (FILE* f = std::fopen(r->readyFile, "w")) {
                std::fclose(f);
            }
        }
    }
}
const xdg_surface_listener kXdgSurfaceListener = {onSurfaceConfigure};

void onToplevelConfigure(void*, xdg_toplevel*, std::int32_t, std::int32_t, wl_array*) {}
void onToplevelClose(void* data, xdg_toplevel*) {
    static_cast<Receiver*>(data)->done = true;
}
void onToplevelBounds(void*, xdg_toplevel*, std::int32_t, std::int32_t) {}
void onToplevelCapabilities(void*, xdg_toplevel*, wl_array*) {}
const xdg_toplevel_listener kToplevelListener = {onToplevelConfigure, onToplevelClose,
                                                 onToplevelBounds, onToplevelCapabilities};

void onGlobal(void* data, wl_registry* registry, std::uint32_t name, const char* interface,
              std::uint32_t version) {
    auto* r = static_cast<Receiver*>(data);
    auto bind = [&](const wl_interface* iface, std::uint32_t want) {
        return wl_registry_bind(registry, name, iface, version < want ? version : want);
    };
    if (std::strcmp(interface, wl_compositor_interface.name) == 0) {
        r->compositor = static_cast<wl_compositor*>(bind(&wl_compositor_interface, 4));
    } else if (std::strcmp(interface, wl_shm_interface.name) == 0) {
        r->shm = static_cast<wl_shm*>(bind(&wl_shm_interface, 1));
    } else if (std::strcmp(interface, xdg_wm_base_interface.name) == 0) {
        r->wmBase = static_cast<xdg_wm_base*>(bind(&xdg_wm_base_interface, 1));
        xdg_wm_base_add_listener(r->wmBase, &kWmBaseListener, r);
    } else if (std::strcmp(interface, wl_seat_interface.name) == 0 && r->seat == nullptr) {
        r->seat = static_cast<wl_seat*>(bind(&wl_seat_interface, 5));
        wl_seat_add_listener(r->seat, &kSeatListener, r);
    }
}
void onGlobalRemove(void*, wl_registry*, std::uint32_t) {}
const wl_registry_listener kRegistryListener = {onGlobal, onGlobalRemove};

}  // namespace

int main(int argc, char** argv) {
    Receiver r;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--stats") {
            r.stats = true;
        } else if (arg == "--enter-times") {
            r.enterTimes = true;
        } else if (arg == "--keymaps") {
            r.keymaps = true;
        } else if (arg == "--ready-file" && hasValue) {
            r.readyFile = argv[++i];
        } else if (arg == "--idle-exit-ms" && hasValue && parseCount(argv[i + 1], r.idleExitMs)) {
            ++i;
        } else if (arg == "--count" && hasValue && parseCount(argv[i + 1], r.countLimit)) {
            ++i;
        } else {
            std::fprintf(stderr, "pelmora-wreceiver: bad option '%s' (try --help)\n", argv[i]);
            return 2;
        }
    }
    wl_display* display = wl_display_connect(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "pelmora-wreceiver: cannot connect to the Wayland compositor\n");
        return 1;
    }
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &kRegistryListener, &r);
    wl_display_roundtrip(display);
    if (r.compositor == nullptr || r.shm == nullptr || r.wmBase == nullptr || r.seat == nullptr) {
        std::fprintf(stderr,
                     "pelmora-wreceiver: the compositor lacks a compositor, shm, "
                     "xdg_wm_base or seat global\n");
        return 1;
    }
    r.surface = wl_compositor_create_surface(r.compositor);
    xdg_surface* xs = xdg_wm_base_get_xdg_surface(r.wmBase, r.surface);
    xdg_surface_add_listener(xs, &kXdgSurfaceListener, &r);
    xdg_toplevel* top = xdg_surface_get_toplevel(xs);
    xdg_toplevel_add_listener(top, &kToplevelListener, &r);
    xdg_toplevel_set_title(top, "pelmora-wreceiver");
    wl_surface_commit(r.surface);

    const int fd = wl_display_get_fd(display);
    while (!r.done) {
        while (wl_display_prepare_read(display) != 0) {
            wl_display_dispatch_pending(display);
        }
        wl_display_flush(display);
        pollfd p{fd, POLLIN, 0};
        const int ready = poll(&p, 1, 50);
        if (ready > 0) {
            if (wl_display_read_events(display) < 0) {
                std::fprintf(stderr, "pelmora-wreceiver: lost the compositor: %s\n",
                             std::strerror(errno));
                break;
            }
        } else {
            wl_display_cancel_read(display);
        }
        if (wl_display_dispatch_pending(display) < 0) {
            std::fprintf(stderr, "pelmora-wreceiver: lost the compositor: %s\n",
                         std::strerror(wl_display_get_error(display)));
            break;
        }
        if (!r.out.empty()) {
            writeAll(r.out);
            r.out.clear();
        }
        if (r.idleExitMs >= 0 && (monotonicNs() - r.lastActivity) / 1000000 >= r.idleExitMs) {
            break;
        }
    }
    writeAll(r.out);
    if (r.stats) {
        std::fprintf(stderr, "chars %lld first_ns %lld last_ns %lld\n", r.chars, r.firstNs,
                     r.lastNs);
    }
    wl_display_disconnect(display);
    xkb_state_unref(r.state);
    xkb_keymap_unref(r.keymap);
    xkb_context_unref(r.context);
    return 0;
}
