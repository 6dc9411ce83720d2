// pelmora-xreceiver: a small X window that takes the input focus and prints every character it
// is typed, as a client reads it (KeyPress through an input context and Xutf8LookupString).
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <poll.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "tools/lib/receiver_io.h"

namespace {

const char kUsage[] =
    "Usage: pelmora-xreceiver [options]\n"
    "Opens a window that takes the keyboard focus and writes every character typed into it to\n"
    "standard output, UTF-8 encoded, as the window's input context delivers it.\n"
    "\n"
    "Options:\n"
    "  --display NAME     X display (default: $DISPLAY)\n"
    "  --escape           write \\xNN for control characters and DEL, \\\\ for a backslash;\n"
    "                     other characters as UTF-8 (default: the received bytes unchanged)\n"
    "  --stall-ms N       a busy client: sleep N ms when the first key arrives, before reading on\n"
    "  --idle-exit-ms N   exit once N ms passed without a character (counted from the first one,\n"
    "                     or from start when nothing arrives)\n"
    "  --count N          exit after N characters\n"
    "  --ready-file PATH  create PATH once the window has the focus\n"
    "  --stats            at exit, write to standard error one line:\n"
    "                     \"chars N first_ns F last_ns L\" (CLOCK_MONOTONIC of the first and last\n"
    "                     character)\n"
    "  --enter-times      for each carriage return received, write \"enter_ns T\" "
    "(CLOCK_MONOTONIC)\n"
    "                     to standard error\n"
    "  --help             this text\n";

using receiver::monotonicNs;
using receiver::parseCount;
using receiver::writeAll;

}  // namespace

int main(int argc, char** argv) {
    const char* displayName = nullptr;
    bool escape = false;
    bool stats = false;
    bool enterTimes = false;
    long long stallMs = 0;
    long long idleExitMs = -1;
    long long countLimit = -1;
    const char* readyFile = nullptr;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--escape") {
            escape = true;
        } else if (arg == "--stats") {
            stats = true;
        } else if (arg == "--enter-times") {
            enterTimes = true;
        } else if (arg == "--display" && hasValue) {
            displayName = argv[++i];
        } else if (arg == "--ready-file" && hasValue) {
            readyFile = argv[++i];
        } else if (arg == "--stall-ms" && hasValue && parseCount(argv[i + 1], stallMs)) {
            ++i;
        } else if (arg == "--idle-exit-ms" && hasValue && parseCount(argv[i + 1], idleExitMs)) {
            ++i;
        } else if (arg == "--count" && hasValue && parseCount(argv[i + 1], countLimit)) {
            ++i;
        } else {
            std::fprintf(stderr, "pelmora-xreceiver: bad option '%s' (try --help)\n", argv[i]);
            return 2;
        }
    }

    if (std::setlocale(LC_CTYPE, "C.UTF-8") == nullptr) {
        std::setlocale(LC_CTYPE, "");
    }
    XSetLocaleModifiers("@im=none");
    Display* dpy = XOpenDisplay(displayName);
    if (dpy == nullptr) {
        std::fprintf(stderr, "pelmora-xreceiver: cannot open the X display\n");
        return 1;
    }
    const int screen = DefaultScreen(dpy);
    const Window win = XCreateSimpleWindow(dpy, RootWindow(dpy, screen), 0, 0, 400, 100, 0,
                                           BlackPixel(dpy, screen), WhitePixel(dpy, screen));
    XStoreName(dpy, win, "pelmora-xreceiver");
    XIM im = XOpenIM(dpy, nullptr, nullptr, nullptr);
    XIC ic = im != nullptr ? XCreateIC(im, XNInputStyle, XIMPreeditNothing | XIMStatusNothing,
                                       XNClientWindow, win, XNFocusWindow, win, nullptr)
                           : nullptr;
    if (ic == nullptr) {
        std::fprintf(stderr, "pelmora-xreceiver: no input context\n");
        return 1;
    }
    long imEvents = 0;
    XGetICValues(ic, XNFilterEvents, &imEvents, nullptr);
    XSelectInput(dpy, win,
                 KeyPressMask | KeyReleaseMask | FocusChangeMask | StructureNotifyMask | imEvents);
    XMapRaised(dpy, win);
    XFlush(dpy);

    long long chars = 0;
    long long firstNs = 0;
    long long lastNs = 0;
    long long lastActivity = monotonicNs();
    bool stalled = false;
    bool ready = false;
    std::string out;
    const int fd = ConnectionNumber(dpy);
    bool done = false;
    while (!done) {
        while (!done && XPending(dpy) > 0) {
            XEvent ev;
            XNextEvent(dpy, &ev);
            if (XFilterEvent(&ev, None)) {
                continue;
            }
            switch (ev.type) {
                case MapNotify:
                case FocusOut:
                    // No window manager hands out the focus under Xvfb: take it, and take it back.
                    XSetInputFocus(dpy, win, RevertToParent, CurrentTime);
                    break;
                case FocusIn:
                    XSetICFocus(ic);
                    if (!ready && readyFile != nullptr) {
                        if (FILE* f = std::fopen(readyFile, "w")) {
                            std::fclose(f);
                        }
                    }
                    ready = true;
                    break;
                case KeyPress: {
                    if (!stalled && stallMs > 0) {
                        stalled = true;
                        std::this_thread::sleep_for(std::chrono::milliseconds(stallMs));
                    }
                    char buf[64];
                    KeySym sym = NoSymbol;
                    Status status = 0;
                    const int n = Xutf8LookupString(ic, &ev.xkey, buf, sizeof buf, &sym, &status);
                    if (n <= 0 || (status != XLookupChars && status != XLookupBoth)) {
                        break;
                    }
                    const long long now = monotonicNs();
                    for (int i = 0; i < n; ++i) {
                        const unsigned char b = static_cast<unsigned char>(buf[i]);
                        if (enterTimes && b == '\r') {
                            std::fprintf(stderr, "enter_ns %lld\n", now);
                            std::fflush(stderr);
                        }
                        if ((b & 0xc0) != 0x80) {
                            ++chars;
                            if (firstNs == 0) {
                                firstNs = now;
                            }
                        }
                        if (escape && (b < 0x20 || b == 0x7f || b == '\\')) {
                            char esc[8];
                            std::snprintf(esc, sizeof esc, b == '\\' ? "\\\\" : "\\x%02X", b);
                            out += esc;
                        } else {
                            out += static_cast<char>(b);
                        }
                    }
                    lastNs = now;
                    lastActivity = now;
                    if (countLimit >= 0 && chars >= countLimit) {
                        done = true;
                    }
                    break;
                }
                default:
                    break;
            }
        }
        if (!out.empty()) {
            writeAll(out);
            out.clear();
        }
        if (done) {
            break;
        }
        int waitMs = 1000;
        if (idleExitMs >= 0) {
            const long long left = idleExitMs - (monotonicNs() - lastActivity) / 1000000;
            if (left <= 0) {
                break;
            }
            waitMs = static_cast<int>(std::min<long long>(left, 1000));
        }
        pollfd p{fd, POLLIN, 0};
        if (XPending(dpy) == 0) {
            poll(&p, 1, waitMs);
        }
    }
    if (stats) {
        std::fprintf(stderr, "chars %lld first_ns %lld last_ns %lld\n", chars, firstNs, lastNs);
    }
    XDestroyIC(ic);
    XCloseIM(im);
    XCloseDisplay(dpy);
    return 0;
}
