// Typing into a Wayland client of ours on a private headless sway: Pelmora's virtual keyboard
// against wtype in the same compositor and client; then the time from a scan's arrival to its
// Enter reaching the client. The same into an X client of ours on that sway's Xwayland.
#include <stdlib.h>
#include <unistd.h>

#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <thread>

#include "bench_common.h"
#include "fakes/fake_serial.h"
#include "platform/wayland/wayland_key_sink.h"
#include "reader/device_reader_thread.h"
#include "settings/product_info.h"
#include "settings/scanner_settings.h"
#include "wayland/sway_session.h"
#include "x11/x_session.h"

util::VLAppConfig theConfig(kProductName, kCompanyName, kCompanyWebAddress);

namespace {

using bench::finish;
using bench::percentile;
using bench::Run;

constexpr std::size_t kChars = 10000;
constexpr std::size_t kWtypeChars = 1000;  // wtype needs about 5 s for these

// Starts a receiver with these options, its window focused: a Wayland or an X client.
using Receivers = std::function<xtest::Child(const std::vector<std::string>&)>;

Receivers waylandReceivers(swaytest::SwaySession& sway) {
    return [&sway](const std::vector<std::string>& options) { return sway.startReceiver(options); };
}

Receivers xwaylandReceivers(const std::string& display, const std::string& dir) {
    return [display, dir](const std::vector<std::string>& options) {
        static int count = 0;
        const std::string ready = dir + "/xready" + std::to_string(++count);
        std::vector<std::string> argv{PELMORA_XRECEIVER, "--display", display, "--ready-file",
                                      ready};
        argv.insert(argv.end(), options.begin(), options.end());
        xtest::Child c(argv, {}, true, true);
        struct stat st {};
        for (int i = 0; i < 2000 && c.running() && stat(ready.c_str(), &st) != 0; ++i) {
            if (c.wait(10) >= 0) {
                break;
            }
        }
        return c;
    };
}

// Blocks as the reader types them.
Run typePelmora(const Receivers& receivers, platform::KeySink& sink,
                const std::vector<std::uint16_t>& text) {
    xtest::Child receiver =
        receivers({"--stats", "--count", std::to_string(text.size()), "--idle-exit-ms", "5000"});
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the client binds its keyboard
    for (std::size_t i = 0; i < text.size(); i += DeviceReaderThread::kReadBlockSize) {
        sink.beginBlock();
        for (std::size_t j = i; j < text.size() && j < i + DeviceReaderThread::kReadBlockSize;
             ++j) {
            sink.sendKey(text[j]);
        }
        sink.endBlock();
    }
    return finish(receiver, text);
}

Run typeWtype(swaytest::SwaySession& sway, const std::vector<std::uint16_t>& text) {
    char path[] = "/tmp/pelmora-wtype-XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0) {
        return {};
    }
    const std::string bytes = xtest::utf8(text);
    const bool written =
        write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    close(fd);
    Run r;
    if (written) {
        xtest::Child receiver = sway.startReceiver({"--stats", "--idle-exit-ms", "3000"});
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        std::vector<std::string> argv{"env"};
        argv.insert(argv.end(), sway.env().begin(), sway.env().end());
        argv.insert(argv.end(), {"sh", "-c", std::string("exec wtype - < ") + path});
        xtest::run(argv, 300000);
        r = finish(receiver, text);
    }
    unlink(path);
    return r;
}

// Scan-to-typed through the reader thread and the sink, from the moment the port hands over a
// block: the part of the delay that is Pelmora's own, above the serial line's 100 ms gap.
std::vector<double> readerOverheadMs(const Receivers& receivers, int scans) {
    bench::useScriptedPort();
    xtest::Child receiver = receivers({"--enter-times", "--idle-exit-ms", "20000"});
    auto serial = std::make_shared<fakes::SerialLog>();
    std::string error;
    auto sink = platform::makeWaylandKeySink(error);
    if (!sink) {
        return {};
    }
    DeviceReaderThread reader(std::make_unique<fakes::FakeSerialApi>(serial), std::move(sink));
    reader.start();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    std::vector<double> out = bench::scansThroughPort(receiver, *serial, scans);
    reader.stop(true);
    return out;
}

// Scan-to-typed through a pseudo-terminal and pelmorad: from the write of a scan's last byte to
// its Enter at the client, less the 100 ms gap after which the port hands over the block.
std::vector<double> daemonOverheadMs(swaytest::SwaySession& sway, const Receivers& receivers,
                                     int scans) {
    xtest::Pty pty;
    char dir[] = "/tmp/pelmora-bench-XXXXXX";
    if (!pty.ok() || mkdtemp(dir) == nullptr) {
        return {};
    }
    const std::string config = std::string(dir) + "/settings.conf";
    if (!bench::writePtyConfig(config, pty.slave())) {
        return {};
    }
    xtest::Child receiver = receivers({"--enter-times", "--idle-exit-ms", "60000"});
    std::vector<std::string> env = sway.env();
    env.insert(env.end(), {"PELMORA_CONFIG=" + config, "XDG_CONFIG_HOME=" + std::string(dir),
                           "HOME=" + std::string(dir)});
    xtest::Child daemon({PELMORA_PELMORAD, "--sink", "wayland"}, env, false, true);
    std::vector<double> out = bench::scansThroughPty(receiver, pty, scans);
    daemon.stop();
    xtest::run({"rm", "-rf", dir});
    return out;
}

}  // namespace

int main() {
    if (!xtest::haveProgram("sway") || !xtest::haveProgram("wtype")) {
        std::printf(
            "## Typing on Wayland\n\nskipped: sway or wtype missing (tools/bootstrap.sh "
            "wayland)\n");
        return 0;
    }
    // With Xwayland, so that the native figures come from the same desktop as the X ones.
    swaytest::SwaySession sway(xtest::haveProgram("Xwayland") && xtest::haveProgram("xhost"));
    if (!sway.ok()) {
        std::printf("## Typing on Wayland\n\nskipped: %s\n", sway.why().c_str());
        return 0;
    }
    for (const std::string& e : sway.env()) {
        putenv(strdup(e.c_str()));  // for the sinks made in this process
    }
    std::string error;
    // One virtual keyboard for the whole run: the headless compositor has no keyboard of its own,
    // so with ours there the clients already hold a keyboard when wtype starts, as on a desktop.
    auto sink = platform::makeWaylandKeySink(error);
    if (!sink) {
        std::printf("## Typing on Wayland\n\nskipped: %s\n", error.c_str());
        return 0;
    }
    std::printf(
        "## Typing into a Wayland client and an X client on Xwayland (headless sway %s, random "
        "Latin-1 characters)\n\n",
        "1.7");
    std::printf("| sink | characters | chars/s | errors |\n|---|---:|---:|---:|\n");
    const std::vector<std::uint16_t> text = xtest::randomLatin1(kChars, 2026);
    const Run p = typePelmora(waylandReceivers(sway), *sink, text);
    std::printf("| Pelmora's virtual keyboard | %zu | %.0f | %zu |\n", text.size(),
                p.charsPerSecond, p.errors);
    std::fflush(stdout);
    // Xwayland's own figures beside the native ones, through the same virtual keyboard.
    std::string display;
    char dir[] = "/tmp/pelmora-bench-xwl-XXXXXX";
    const bool made = mkdtemp(dir) != nullptr;
    const bool xwayland = made && sway.withXwayland() && !(display = sway.xDisplay()).empty();
    if (xwayland) {
        const Run x = typePelmora(xwaylandReceivers(display, dir), *sink, text);
        std::printf("| Pelmora's virtual keyboard → X client on Xwayland | %zu | %.0f | %zu |\n",
                    text.size(), x.charsPerSecond, x.errors);
    } else {
        std::printf("| Pelmora's virtual keyboard → X client on Xwayland | skipped: %s | | |\n",
                    sway.withXwayland() ? sway.why().c_str() : "Xwayland or xhost missing");
    }
    std::fflush(stdout);

    const std::vector<std::uint16_t> few(text.begin(),
                                         text.begin() + static_cast<std::ptrdiff_t>(kWtypeChars));
    const Run w = typeWtype(sway, few);
    std::printf("| wtype (%s) | %zu | %.0f | %zu |\n", "Debian 0.4", few.size(), w.charsPerSecond,
                w.errors);
    std::printf("\nPelmora / wtype: %.0f× (target ≥ 50× with 0 errors)\n",
                w.charsPerSecond > 0 ? p.charsPerSecond / w.charsPerSecond : 0.0);
    std::fflush(stdout);

    std::printf(
        "\n## Scan to typed on Wayland, above the serial gap floor (scans of 13 chars + "
        "Enter)\n\n");
    std::printf("| path | scans | median ms | p99 ms | max ms |\n|---|---:|---:|---:|---:|\n");
    auto row = [](const char* path, const std::vector<double>& ms) {
        if (ms.empty()) {
            std::printf("| %s | not available | | | |\n", path);
        } else {
            std::printf("| %s | %zu | %.3f | %.3f | %.3f |\n", path, ms.size(), percentile(ms, 0.5),
                        percentile(ms, 0.99), percentile(ms, 1.0));
        }
        std::fflush(stdout);
    };
    const Receivers native = waylandReceivers(sway);
    row("scripted port → reader thread → virtual keyboard → Wayland client",
        readerOverheadMs(native, 200));
    row("pty → pelmorad → virtual keyboard → Wayland client (less 100 ms)",
        daemonOverheadMs(sway, native, 100));
    if (xwayland) {
        const Receivers xclients = xwaylandReceivers(display, dir);
        row("scripted port → reader thread → virtual keyboard → X client on Xwayland",
            readerOverheadMs(xclients, 200));
        row("pty → pelmorad → virtual keyboard → X client on Xwayland (less 100 ms)",
            daemonOverheadMs(sway, xclients, 100));
    }
    if (made) {
        xtest::run({"rm", "-rf", dir});
    }
    return 0;
}
