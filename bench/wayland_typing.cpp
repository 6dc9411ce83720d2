// Typing into a Wayland client of ours on a private headless sway: Pelmora's virtual keyboard
// against wtype in the same compositor and client; then the time from a scan's arrival to its
// Enter reaching the client.
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>
#include <thread>

#include "fakes/fake_serial.h"
#include "platform/wayland/wayland_key_sink.h"
#include "reader/device_reader_thread.h"
#include "settings/product_info.h"
#include "settings/scanner_settings.h"
#include "wayland/sway_session.h"
#include "x11/x_session.h"

util::VLAppConfig theConfig(kProductName, kCompanyName, kCompanyWebAddress);

namespace {

constexpr std::size_t kChars = 10000;
constexpr std::size_t kWtypeChars = 1000;  // wtype needs about 5 s for these

std::vector<std::uint16_t> randomLatin1(std::size_t count, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> pick(0, 190);
    std::vector<std::uint16_t> out;
    for (std::size_t i = 0; i < count; ++i) {
        const int n = pick(rng);
        out.push_back(static_cast<std::uint16_t>(n < 95 ? 0x20 + n : 0xa0 + (n - 95)));
    }
    return out;
}

std::vector<std::uint32_t> decodeUtf8(const std::string& s) {
    std::vector<std::uint32_t> out;
    for (std::size_t i = 0; i < s.size();) {
        const auto b = static_cast<unsigned char>(s[i]);
        const int len = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : 4;
        std::uint32_t cp = len == 1 ? b : len == 2 ? (b & 0x1f) : len == 3 ? (b & 0x0f) : (b & 7);
        for (int k = 1; k < len && i + static_cast<std::size_t>(k) < s.size(); ++k) {
            cp =
                (cp << 6) | (static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]) & 0x3f);
        }
        out.push_back(cp);
        i += static_cast<std::size_t>(len);
    }
    return out;
}

// Wrong, missing and extra characters: the edit distance between what was sent and received.
std::size_t errors(const std::vector<std::uint16_t>& sent, const std::vector<std::uint32_t>& got) {
    std::vector<std::size_t> prev(got.size() + 1);
    std::vector<std::size_t> cur(got.size() + 1);
    for (std::size_t j = 0; j <= got.size(); ++j) {
        prev[j] = j;
    }
    for (std::size_t i = 1; i <= sent.size(); ++i) {
        cur[0] = i;
        for (std::size_t j = 1; j <= got.size(); ++j) {
            const std::size_t sub = prev[j - 1] + (sent[i - 1] == got[j - 1] ? 0 : 1);
            cur[j] = std::min({sub, prev[j] + 1, cur[j - 1] + 1});
        }
        std::swap(prev, cur);
    }
    return prev[got.size()];
}

struct Run {
    double charsPerSecond = 0;
    std::size_t errors = 0;
    bool ok = false;
};

// Reads the receiver's "chars N first_ns F last_ns L" line.
Run finish(xtest::Child& receiver, const std::vector<std::uint16_t>& sent) {
    Run r;
    if (receiver.wait(120000) < 0) {
        receiver.stop();
    }
    long long chars = 0;
    long long first = 0;
    long long last = 0;
    const std::string& err = receiver.errors();
    const std::size_t at = err.rfind("chars ");
    if (at == std::string::npos ||
        std::sscanf(err.c_str() + at, "chars %lld first_ns %lld last_ns %lld", &chars, &first,
                    &last) != 3) {
        return r;
    }
    r.errors = errors(sent, decodeUtf8(receiver.output()));
    r.charsPerSecond =
        last > first ? static_cast<double>(chars - 1) * 1e9 / static_cast<double>(last - first) : 0;
    r.ok = true;
    return r;
}

// Blocks as the reader types them.
Run typePelmora(swaytest::SwaySession& sway, platform::KeySink& sink,
                const std::vector<std::uint16_t>& text) {
    xtest::Child receiver = sway.startReceiver(
        {"--stats", "--count", std::to_string(text.size()), "--idle-exit-ms", "5000"});
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

double percentile(std::vector<double> v, double p) {
    if (v.empty()) {
        return 0;
    }
    std::sort(v.begin(), v.end());
    const std::size_t i = std::min(
        v.size() - 1, static_cast<std::size_t>(p * static_cast<double>(v.size() - 1) + 0.5));
    return v[i];
}

long long monotonicNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Waits for the next "enter_ns T" after `before` in the receiver's errors; T or 0.
long long nextEnter(xtest::Child& receiver, std::size_t before, long long waitNs) {
    const long long end = monotonicNs() + waitNs;
    std::size_t at = std::string::npos;
    while (monotonicNs() < end &&
           (at = receiver.errors().find("enter_ns ", before)) == std::string::npos) {
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    long long t = 0;
    if (at != std::string::npos) {
        std::sscanf(receiver.errors().c_str() + at, "enter_ns %lld", &t);
    }
    return t;
}

// Scan-to-typed through the reader thread and the sink, from the moment the port hands over a
// block: the part of the delay that is Pelmora's own, above the serial line's 100 ms gap.
std::vector<double> readerOverheadMs(swaytest::SwaySession& sway, int scans) {
    auto store = std::make_shared<util::MemorySettingsStore>();
    theConfig.setStore(store);
    store->writeString("", ScannerSettings::DeviceName.name, "/dev/scripted");
    store->writeInteger("", ScannerSettings::bSkipFirstChar.name, 0);
    store->writeInteger("", ScannerSettings::bCRLF.name, 1);
    xtest::Child receiver = sway.startReceiver({"--enter-times", "--idle-exit-ms", "20000"});
    auto serial = std::make_shared<fakes::SerialLog>();
    std::string error;
    auto sink = platform::makeWaylandKeySink(error);
    if (!sink) {
        return {};
    }
    DeviceReaderThread reader(std::make_unique<fakes::FakeSerialApi>(serial), std::move(sink));
    reader.start();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const std::string code = "4006381333931";  // an EAN-13
    std::vector<double> out;
    for (int i = 0; i < scans; ++i) {
        const std::size_t before = receiver.errors().size();
        long long t0 = 0;
        {
            std::lock_guard<std::mutex> guard(serial->mutex);
            serial->reads_queue.push_back({true, {code.begin(), code.end()}});
            t0 = monotonicNs();
            serial->changed.notify_all();
        }
        if (const long long t1 = nextEnter(receiver, before, 5'000'000'000LL)) {
            out.push_back(static_cast<double>(t1 - t0) / 1e6);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    reader.stop(true);
    return out;
}

// Scan-to-typed through a pseudo-terminal and pelmorad: from the write of a scan's last byte to
// its Enter at the client, less the 100 ms gap after which the port hands over the block.
std::vector<double> daemonOverheadMs(swaytest::SwaySession& sway, int scans) {
    xtest::Pty pty;
    char dir[] = "/tmp/pelmora-bench-XXXXXX";
    if (!pty.ok() || mkdtemp(dir) == nullptr) {
        return {};
    }
    const std::string config = std::string(dir) + "/settings.conf";
    if (!xtest::configHonoured(config)) {
        return {};  // pelmorad would read the default device, a real port
    }
    if (FILE* f = std::fopen(config.c_str(), "w")) {
        std::fprintf(f,
                     "DeviceName=\"%s\"\nSerialDevice=1\nBaudRate=115200\nbCRLF=1\n"
                     "bSkipFirstChar=0\nbDSR=0\nbDTR=0\nbCTS=0\nbXIN=0\nbXOUT=0\n",
                     pty.slave().c_str());
        std::fclose(f);
    }
    xtest::Child receiver = sway.startReceiver({"--enter-times", "--idle-exit-ms", "60000"});
    std::vector<std::string> env = sway.env();
    env.insert(env.end(), {"PELMORA_CONFIG=" + config, "XDG_CONFIG_HOME=" + std::string(dir),
                           "HOME=" + std::string(dir)});
    xtest::Child daemon({PELMORA_PELMORAD, "--sink", "wayland"}, env, false, true);
    std::vector<double> out;
    const std::vector<std::uint16_t> code = {'4', '0', '0', '6', '3', '8', '1',
                                             '3', '3', '3', '9', '3', '1'};
    bool open = false;
    for (int i = 0; i < scans + 50 && static_cast<int>(out.size()) < scans; ++i) {
        const std::size_t before = receiver.errors().size();
        pty.send(code);
        const long long t0 = monotonicNs();
        if (const long long t1 =
                nextEnter(receiver, before, open ? 5'000'000'000LL : 500'000'000LL)) {
            if (open) {  // the first scan through only shows that the port is open
                out.push_back(static_cast<double>(t1 - t0) / 1e6 - 100.0);
            }
            open = true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
    }
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
    swaytest::SwaySession sway;
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
    std::printf("## Typing into a Wayland client (headless sway %s, random Latin-1 characters)\n\n",
                "1.7");
    std::printf("| sink | characters | chars/s | errors |\n|---|---:|---:|---:|\n");
    const std::vector<std::uint16_t> text = randomLatin1(kChars, 2026);
    const Run p = typePelmora(sway, *sink, text);
    std::printf("| Pelmora's virtual keyboard | %zu | %.0f | %zu |\n", text.size(),
                p.charsPerSecond, p.errors);
    std::fflush(stdout);
    const std::vector<std::uint16_t> few(text.begin(),
                                         text.begin() + static_cast<std::ptrdiff_t>(kWtypeChars));
    const Run w = typeWtype(sway, few);
    std::printf("| wtype (%s) | %zu | %.0f | %zu |\n", "Debian 0.4", few.size(), w.charsPerSecond,
                w.errors);
    std::printf("\nPelmora / wtype: %.0f× (target ≥ 50× with 0 errors)\n",
                w.charsPerSecond > 0 ? p.charsPerSecond / w.charsPerSecond : 0.0);
    std::fflush(stdout);

    const std::vector<double> ms = readerOverheadMs(sway, 200);
    std::printf(
        "\n## Scan to typed on Wayland, above the serial gap floor (%zu scans of 13 chars + "
        "Enter)\n\n",
        ms.size());
    std::printf("| path | median ms | p99 ms | max ms |\n|---|---:|---:|---:|\n");
    std::printf(
        "| scripted port → reader thread → virtual keyboard → client | %.3f | %.3f | %.3f |\n",
        percentile(ms, 0.5), percentile(ms, 0.99), percentile(ms, 1.0));
    const std::vector<double> pty = daemonOverheadMs(sway, 100);
    if (pty.empty()) {
        std::printf("| pty → pelmorad → virtual keyboard → client | not available | | |\n");
    } else {
        std::printf(
            "| pty → pelmorad → virtual keyboard → client (%zu scans, less 100 ms) | %.3f | %.3f "
            "| %.3f |\n",
            pty.size(), percentile(pty, 0.5), percentile(pty, 0.99), percentile(pty, 1.0));
    }
    return 0;
}
