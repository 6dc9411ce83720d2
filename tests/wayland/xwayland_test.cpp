// X clients under a Wayland compositor: a pseudo-terminal as the scanner's port, pelmorad (sink
// auto, which picks the compositor's virtual keyboard) typing into xterm on the Xwayland of a
// private headless sway; xterm's cat writes what arrives to a file. Exits with 77 (skipped) when
// sway, Xwayland or xterm is not installed.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

#include "wayland/sway_session.h"
#include "x11/x_session.h"

// After gtest, whose own None Xlib's macro would replace.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

std::string readFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

// What the X server holds down: keys of the core keyboard and modifiers not locked.
struct Held {
    int keys = 0;
    unsigned mods = 0;
};

// Empty when Xwayland, queried as X clients do, is fine; else what went wrong.
std::string keymapReadBack(const std::string& display, const std::string& into) {
    // xkbcomp reads the whole keymap, lock lights included, as toolkits do; Xwayland must
    // survive that with our keymap. (It replaces its output file: never name a device.)
    if (xtest::run({"xkbcomp", "-w0", display, into}, 10000) != 0) {
        return "xkbcomp could not read the keymap back (Xwayland crashed?)";
    }
    return {};
}

Held heldOn(const std::string& display) {
    Held held{-1, ~0u};
    Display* dpy = XOpenDisplay(display.c_str());
    if (dpy == nullptr) {
        return held;  // gone, or restarted without our access
    }
    char keys[32] = {};
    XQueryKeymap(dpy, keys);
    held.keys = 0;
    for (char k : keys) {
        held.keys += __builtin_popcount(static_cast<unsigned char>(k));
    }
    XkbStateRec state{};
    XkbGetState(dpy, XkbUseCoreKbd, &state);
    held.mods = state.base_mods | state.latched_mods;
    XCloseDisplay(dpy);
    return held;
}

class XwaylandPelmorad : public ::testing::Test {
protected:
    void SetUp() override {
        sway = std::make_unique<swaytest::SwaySession>(true);
        ASSERT_TRUE(sway->ok()) << sway->why();
        display = sway->xDisplay();
        ASSERT_FALSE(display.empty()) << sway->why();
        ASSERT_TRUE(pty.ok());
        char dir[] = "/tmp/pelmora-xwl-XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        configDir = dir;
        config = configDir + "/settings.conf";
        output = configDir + "/typed";
        // A store that ignored PELMORA_CONFIG would give pelmorad the default device, a real port.
        ASSERT_TRUE(xtest::configHonoured(config)) << "the settings store ignores PELMORA_CONFIG";
        std::ofstream f(config);
        f << "DeviceName=\"" << pty.slave() << "\"\n"
          << "SerialDevice=1\nBaudRate=115200\nParity=0\nStopBits=0\nDataBits=8\n"
          << "bParity=0\nbDSR=0\nbDTR=0\nbCTS=0\nbXIN=0\nbXOUT=0\nbCRLF=0\nbSkipFirstChar=0\n";
        f.close();
        std::vector<std::string> env = sway->env();
        env.push_back("DISPLAY=" + display);
        terminal = xtest::Child(
            {"xterm", "-u8", "-e", "sh", "-c", "stty raw -echo; exec cat > '" + output + "'"}, env,
            false, true);
        ASSERT_TRUE(terminal.running());
    }
    void TearDown() override {
        if (sway) {
            sway->freeze(false);
        }
        daemon.stop();
        terminal.stop();
        if (!configDir.empty()) {
            xtest::run({"rm", "-rf", configDir});
        }
    }

    void startDaemon(const std::string& sink) {
        // DISPLAY too, as in a real session: auto must still pick the virtual keyboard.
        std::vector<std::string> env = sway->env();
        env.insert(env.end(), {"PELMORA_CONFIG=" + config, "XDG_CONFIG_HOME=" + configDir,
                               "HOME=" + configDir, "DISPLAY=" + display});
        daemon = xtest::Child({PELMORA_PELMORAD, "--sink", sink}, env, false, true);
        ASSERT_TRUE(daemon.running());
    }

    std::string typed() { return readFile(output); }

    // What arrived once `bytes` have or nothing new came for `quiet`.
    std::string collect(std::size_t bytes, std::chrono::milliseconds quiet = 2000ms) {
        std::string got = typed();
        auto last = Clock::now();
        while (got.size() < bytes && Clock::now() - last < quiet) {
            std::this_thread::sleep_for(50ms);
            std::string now = typed();
            if (now.size() != got.size()) {
                last = Clock::now();
            }
            got = std::move(now);
        }
        return got;
    }

    // Probes until one arrives (xterm is up, has the focus and gets our keyboard), then waits
    // until nothing more comes; what arrived so far.
    std::size_t waitForTyping() {
        const auto end = Clock::now() + 30s;
        while (typed().empty() && Clock::now() < end) {
            EXPECT_TRUE(pty.send({'.'}));
            std::this_thread::sleep_for(300ms);
        }
        EXPECT_FALSE(typed().empty()) << daemon.errors() << terminal.errors();
        return collect(~std::size_t{0}, 600ms).size();
    }

    // Sends the text as a scanner on a continuous line would: blocks of 32, 40 ms apart.
    void scan(const std::vector<std::uint16_t>& text, std::size_t from = 0,
              std::size_t to = ~std::size_t{0}) {
        to = std::min(to, text.size());
        for (std::size_t i = from; i < to; i += 32) {
            const auto first = text.begin() + static_cast<std::ptrdiff_t>(i);
            ASSERT_TRUE(pty.send(
                {first, text.begin() + static_cast<std::ptrdiff_t>(std::min(to, i + 32))}));
            std::this_thread::sleep_for(40ms);
        }
    }

    // The key state is clear and the output stays as it is (a key left down would repeat).
    void expectNothingHeld(const char* when) {
        const std::size_t size = collect(~std::size_t{0}, 800ms).size();
        std::this_thread::sleep_for(1500ms);  // more than Xwayland's repeat delay
        EXPECT_EQ(typed().size(), size) << when << ": typing went on by itself";
        EXPECT_EQ(keymapReadBack(display, configDir + "/keymap.xkb"), "") << when;
        const Held held = heldOn(display);
        EXPECT_EQ(held.keys, 0) << when << ": keys held down on the X server";
        EXPECT_EQ(held.mods, 0u) << when << ": modifiers held on the X server";
    }

    std::unique_ptr<swaytest::SwaySession> sway;
    std::string display;
    xtest::Pty pty;
    std::string configDir;
    std::string config;
    std::string output;
    xtest::Child terminal;
    xtest::Child daemon;
};

TEST_F(XwaylandPelmorad, RandomLatin1ExactOnTwoLayoutsAndNoKeyRepeats) {
    startDaemon("auto");
    std::size_t start = waitForTyping();
    unsigned seed = 17;
    for (const char* layout : {"us", "de"}) {
        SCOPED_TRACE(layout);
        ASSERT_TRUE(sway->swaymsg({"input", "*", "xkb_layout", layout}));
        const std::vector<std::uint16_t> text = xtest::randomLatin1(1500, seed++);
        scan(text);
        const std::string wanted = xtest::utf8(text);
        const std::string got = collect(start + wanted.size()).substr(start);
        std::size_t firstDiff = 0;
        while (firstDiff < got.size() && firstDiff < wanted.size() &&
               got[firstDiff] == wanted[firstDiff]) {
            ++firstDiff;
        }
        EXPECT_TRUE(got == wanted)
            << got.size() << " bytes of " << wanted.size() << ", first difference at byte "
            << firstDiff << "; " << daemon.errors();
        expectNothingHeld(layout);
        start = typed().size();
    }
}

TEST_F(XwaylandPelmorad, NothingStaysPressedWhenTheCompositorStallsOrTheDaemonStopsMidScan) {
    // The virtual keyboard alone: auto would try other ways while the compositor stalls.
    startDaemon("wayland");
    std::size_t start = waitForTyping();
    // Mostly Shift-level characters, so that most moments of a block have Shift down.
    std::vector<std::uint16_t> text;
    for (std::uint16_t c : xtest::randomLatin1(3000, 5)) {
        text.push_back(c >= 'a' && c <= 'z' ? static_cast<std::uint16_t>(c - 0x20) : c);
    }

    // The compositor stops answering for longer than the sink waits: the sink is dropped
    // mid-scan and a new one types the rest.
    std::thread stall([this] {
        std::this_thread::sleep_for(300ms);
        sway->freeze(true);
        std::this_thread::sleep_for(3000ms);
        sway->freeze(false);
    });
    scan(text, 0, 1500);
    stall.join();
    std::this_thread::sleep_for(1s);
    scan({'e', 'n', 'd'});
    const std::string resumed = collect(~std::size_t{0});
    EXPECT_TRUE(resumed.size() >= 3 && resumed.substr(resumed.size() - 3) == "end")
        << "typing did not resume: " << daemon.errors();
    EXPECT_EQ(daemon.wait(0), -1) << daemon.errors();
    EXPECT_NE(daemon.errors().find("stopped answering"), std::string::npos)
        << "the sink was not dropped: " << daemon.errors();
    expectNothingHeld("after the stall");

    // SIGTERM in the middle of a scan: the block being typed is finished, nothing more.
    start = typed().size();
    std::thread stopper([this] {
        std::this_thread::sleep_for(500ms);
        ::kill(daemon.pid(), SIGTERM);
    });
    scan(text, 1500);
    stopper.join();
    EXPECT_EQ(daemon.wait(5000), 0) << daemon.errors();
    const std::string got = collect(~std::size_t{0}).substr(start);
    const std::string wanted = xtest::utf8({text.begin() + 1500, text.end()}).substr(0, got.size());
    EXPECT_FALSE(got.empty());
    EXPECT_EQ(got, wanted) << "what arrived before the stop must be the scan's beginning";
    expectNothingHeld("after SIGTERM");
}

}  // namespace

int main(int argc, char** argv) {
    for (const char* program : {"sway", "Xwayland", "xterm", "xhost", "xkbcomp"}) {
        if (!xtest::haveProgram(program)) {
            std::printf("%s is not installed (tools/bootstrap.sh wayland): skipped\n", program);
            return 77;
        }
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
