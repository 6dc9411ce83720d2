// Typing into a real X client on a private Xvfb: Pelmora's X11 sink against `xdotool type
// --delay 0` on the same server and receiver, per layout; then the time from a scan's arrival to
// its Enter reaching the client.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "bench_common.h"
#include "fakes/fake_serial.h"
#include "platform/x11/x11_key_sink.h"
#include "reader/device_reader_thread.h"
#include "settings/product_info.h"
#include "settings/scanner_settings.h"
#include "x11/x_session.h"

#include <stdlib.h>

util::VLAppConfig theConfig(kProductName, kCompanyName, kCompanyWebAddress);

namespace {

using bench::finish;
using bench::percentile;
using bench::Run;

constexpr std::size_t kChars = 10000;

Run typePelmora(xtest::XSession& x, const std::vector<std::uint16_t>& text) {
    xtest::Child receiver = x.startReceiver(
        {"--stats", "--count", std::to_string(text.size()), "--idle-exit-ms", "5000"});
    std::string error;
    auto sink = platform::makeX11KeySink(error, x.display());
    if (!sink) {
        std::fprintf(stderr, "typing: %s\n", error.c_str());
        return {};
    }
    // Blocks as the reader types them.
    for (std::size_t i = 0; i < text.size(); i += DeviceReaderThread::kReadBlockSize) {
        sink->beginBlock();
        for (std::size_t j = i; j < text.size() && j < i + DeviceReaderThread::kReadBlockSize;
             ++j) {
            sink->sendKey(text[j]);
        }
        sink->endBlock();
    }
    Run r = finish(receiver, text);
    return r;
}

Run typeXdotool(xtest::XSession& x, const std::vector<std::uint16_t>& text) {
    xtest::Child receiver = x.startReceiver({"--stats", "--idle-exit-ms", "3000"});
    xtest::Child tool({"xdotool", "type", "--delay", "0", "--", xtest::utf8(text)},
                      {"DISPLAY=" + x.display()}, true, true);
    tool.wait(300000);
    return finish(receiver, text);
}

// Scan-to-typed through the reader thread and the sink, from the moment the port hands over a
// block: the part of the delay that is Pelmora's own, above the serial line's 100 ms gap.
std::vector<double> readerOverheadMs(xtest::XSession& x, int scans) {
    bench::useScriptedPort();
    xtest::Child receiver = x.startReceiver({"--enter-times", "--idle-exit-ms", "20000"});
    auto serial = std::make_shared<fakes::SerialLog>();
    std::string error;
    auto sink = platform::makeX11KeySink(error, x.display());
    if (!sink) {
        return {};
    }
    DeviceReaderThread reader(std::make_unique<fakes::FakeSerialApi>(serial), std::move(sink));
    reader.start();
    std::vector<double> out = bench::scansThroughPort(receiver, *serial, scans);
    reader.stop(true);
    return out;
}

#ifdef PELMORA_PELMORAD
// Scan-to-typed through a pseudo-terminal and pelmorad: from the write of a scan's last byte to
// its Enter at the client, less the 100 ms gap after which the port hands over the block.
std::vector<double> daemonOverheadMs(xtest::XSession& x, int scans) {
    xtest::Pty pty;
    char dir[] = "/tmp/pelmora-bench-XXXXXX";
    if (!pty.ok() || mkdtemp(dir) == nullptr) {
        return {};
    }
    const std::string config = std::string(dir) + "/settings.conf";
    if (!bench::writePtyConfig(config, pty.slave())) {
        return {};
    }
    xtest::Child receiver = x.startReceiver({"--enter-times", "--idle-exit-ms", "60000"});
    xtest::Child daemon({PELMORA_PELMORAD, "--sink", "x11"},
                        {"PELMORA_CONFIG=" + config, "XDG_CONFIG_HOME=" + std::string(dir),
                         "HOME=" + std::string(dir), "DISPLAY=" + x.display()},
                        false, true);
    std::vector<double> out = bench::scansThroughPty(receiver, pty, scans);
    daemon.stop();
    xtest::run({"rm", "-rf", dir});
    return out;
}
#endif

}  // namespace

// --pelmora-only leaves xdotool out (a quick look at the sink alone).
int main(int argc, char** argv) {
    const bool pelmoraOnly = argc > 1 && std::strcmp(argv[1], "--pelmora-only") == 0;
    if (!xtest::haveProgram("Xvfb") || !xtest::haveProgram("xdotool")) {
        std::printf("## Typing\n\nskipped: Xvfb or xdotool missing (tools/bootstrap.sh x11)\n");
        return 0;
    }
    xtest::XSession x;
    if (!x.ok()) {
        std::printf("## Typing\n\nskipped: %s\n", x.why().c_str());
        return 0;
    }
    std::printf("## Typing into an X client (Xvfb, %zu random Latin-1 characters)\n\n", kChars);
    std::printf("| layout | Pelmora chars/s | errors | xdotool chars/s | errors | ratio |\n");
    std::printf("|---|---:|---:|---:|---:|---:|\n");
    const std::vector<std::uint16_t> text = xtest::randomLatin1(kChars, 2026);
    for (const char* layout : {"us", "de", "fr"}) {
        if (!x.setLayout(layout)) {
            std::printf("| %s | setxkbmap failed | | | | |\n", layout);
            continue;
        }
        const Run p = typePelmora(x, text);
        x.setLayout(layout);
        const Run d = pelmoraOnly ? Run{} : typeXdotool(x, text);
        std::printf("| %s | %.0f | %zu | %.0f | %zu | %.1f× |\n", layout, p.charsPerSecond,
                    p.errors, d.charsPerSecond, d.errors,
                    d.charsPerSecond > 0 ? p.charsPerSecond / d.charsPerSecond : 0.0);
        std::fflush(stdout);
    }
    x.setLayout("us");
    const std::vector<double> ms = readerOverheadMs(x, 200);
    std::printf(
        "\n## Scan to typed, above the serial gap floor (%zu scans of 13 chars + Enter)\n\n",
        ms.size());
    std::printf("| path | median ms | p99 ms | max ms |\n|---|---:|---:|---:|\n");
    std::printf("| scripted port → reader thread → XTest → client | %.3f | %.3f | %.3f |\n",
                percentile(ms, 0.5), percentile(ms, 0.99), percentile(ms, 1.0));
#ifdef PELMORA_PELMORAD
    const std::vector<double> pty = daemonOverheadMs(x, 100);
    if (pty.empty()) {
        std::printf(
            "| pty → pelmorad → XTest → client | not available: the settings store or the "
            "serial layer is missing | | |\n");
    } else {
        std::printf(
            "| pty → pelmorad → XTest → client (%zu scans, less 100 ms) | %.3f | %.3f | "
            "%.3f |\n",
            pty.size(), percentile(pty, 0.5), percentile(pty, 0.99), percentile(pty, 1.0));
    }
#endif
    return 0;
}
