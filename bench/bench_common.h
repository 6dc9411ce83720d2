// What the typing benchmarks share: how they score what a receiver got, the receiver's timing
// lines and the percentiles of their tables.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

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

}  // namespace bench
