// What the typing benchmarks share: how they score what a receiver got, the receiver's timing
// lines, the scan-to-typed loops and the percentiles of their tables.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "fakes/fake_serial.h"
#include "settings/scanner_settings.h"
#include "support/settings_store.h"
#include "x11/x_session.h"

namespace bench {

inline std::vector<std::uint32_t> decodeUtf8(const std::string& s) {
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
inline std::size_t errors(const std::vector<std::uint16_t>& sent,
                          const std::vector<std::uint32_t>& got) {
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

// Waits for the receiver to end and reads its "chars N first_ns F last_ns L" line.
inline Run finish(xtest::Child& receiver, const std::vector<std::uint16_t>& sent) {
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

inline double percentile(std::vector<double> v, double p) {
    if (v.empty()) {
        return 0;
    }
    std::sort(v.begin(), v.end());
    const std::size_t i = std::min(
        v.size() - 1, static_cast<std::size_t>(p * static_cast<double>(v.size() - 1) + 0.5));
    return v[i];
}

inline long long monotonicNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Waits for the next "enter_ns T" after `before` in the receiver's errors; T, or 0 when none came
// within `waitNs`.
inline long long nextEnter(xtest::Child& receiver, std::size_t before, long long waitNs) {
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

// Settings for a reader on a scripted port: Enter after each scan, no character dropped.
inline void useScriptedPort() {
    auto store = std::make_shared<util::MemorySettingsStore>();
    theConfig.setStore(store);
    store->writeString("", ScannerSettings::DeviceName.name, "/dev/scripted");
    store->writeInteger("", ScannerSettings::bSkipFirstChar.name, 0);
    store->writeInteger("", ScannerSettings::bCRLF.name, 1);
}

// Hands `scans` EAN-13 codes to a reader through its scripted port; for each one that the
// receiver saw end in Enter, the milliseconds from the hand-over to that Enter.
inline std::vector<double> scansThroughPort(xtest::Child& receiver, fakes::SerialLog& serial,
                                            int scans) {
    const std::string code = "4006381333931";
    std::vector<double> out;
    for (int i = 0; i < scans; ++i) {
        const std::size_t before = receiver.errors().size();
        long long t0 = 0;
        {
            std::lock_guard<std::mutex> guard(serial.mutex);
            serial.reads_queue.push_back({true, {code.begin(), code.end()}});
            t0 = monotonicNs();
            serial.changed.notify_all();
        }
        if (const long long t1 = nextEnter(receiver, before, 5'000'000'000LL)) {
            out.push_back(static_cast<double>(t1 - t0) / 1e6);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return out;
}

// A pelmorad settings file at `config` for the pseudo-terminal `port` at 115200 8N1, Enter after
// each scan; false when the settings store would not read it (pelmorad would open the default
// device, a real port).
inline bool writePtyConfig(const std::string& config, const std::string& port) {
    if (!xtest::configHonoured(config)) {
        return false;
    }
    FILE* f = std::fopen(config.c_str(), "w");
    if (f == nullptr) {
        return false;
    }
    std::fprintf(f,
                 "DeviceName=\"%s\"\nSerialDevice=1\nBaudRate=115200\nbCRLF=1\n"
                 "bSkipFirstChar=0\nbDSR=0\nbDTR=0\nbCTS=0\nbXIN=0\nbXOUT=0\n",
                 port.c_str());
    std::fclose(f);
    return true;
}

// Writes EAN-13 codes to a pelmorad reading `pty` until `scans` came through; for each, the
// milliseconds from the write of its last byte to its Enter at the receiver, less the 100 ms gap
// after which the port hands the block over. The first scan only shows that the port is open.
inline std::vector<double> scansThroughPty(xtest::Child& receiver, xtest::Pty& pty, int scans) {
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
            if (open) {
                out.push_back(static_cast<double>(t1 - t0) / 1e6 - 100.0);
            }
            open = true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
    }
    return out;
}

}  // namespace bench
