// What the typing receivers (pelmora-xreceiver, pelmora-wreceiver) share: their clock, their
// option numbers and a write of what they were typed that loses nothing.
#pragma once

#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

namespace receiver {

// CLOCK_MONOTONIC, the clock the benchmarks compare the receivers' times with.
inline long long monotonicNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

// A whole non-negative decimal number.
inline bool parseCount(const char* text, long long& out) {
    char* end = nullptr;
    errno = 0;
    out = std::strtoll(text, &end, 10);
    return errno == 0 && end != text && *end == '\0' && out >= 0;
}

// All of `data` to standard output; the receiver exits when it cannot.
inline void writeAll(const std::string& data) {
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = write(STDOUT_FILENO, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            std::exit(1);
        }
        done += static_cast<std::size_t>(n);
    }
}

}  // namespace receiver
