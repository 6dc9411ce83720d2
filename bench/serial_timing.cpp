// How late the serial reads return against their ideal times, on a pseudo-terminal: a full
// 32-byte block (ideal: when the 32nd byte arrives), the end of a block at a 100 ms gap (ideal:
// 100 ms after its last byte) and a silent line (ideal: 1000 ms after the read began). Baseline
// from the same run: how late a bare ppoll of 100 ms wakes on this machine.
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/serial_api.h"

namespace {

using Clock = std::chrono::steady_clock;

double ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

struct PtyPort {
    PtyPort() {
        master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        char name[256] = {};
        if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0 ||
            ::ptsname_r(master, name, sizeof name) != 0) {
            throw std::runtime_error("cannot create a pseudo-terminal");
        }
        api = platform::makeSerialApi();
        port = api->createFile(name);
        if (port == platform::kInvalidHandle) {
            throw std::runtime_error("cannot open " + std::string(name));
        }
        platform::Dcb dcb{};
        api->getCommState(port, dcb);
        dcb.BaudRate = 9600;
        dcb.ByteSize = 8;
        dcb.fInX = 0;
        dcb.fOutX = 0;
        api->setCommState(port, dcb);
        api->setCommTimeouts(port, {100, 0, 1000, 0, 0});
    }
    ~PtyPort() {
        api->closeHandle(port);
        ::close(master);
    }
    void send(const std::string& bytes) const {
        if (::write(master, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
            throw std::runtime_error("write failed");
        }
    }
    std::uint32_t read() {
        unsigned char buffer[32];
        std::uint32_t received = 0;
        api->readFile(port, buffer, sizeof buffer, received);
        return received;
    }

    int master = -1;
    std::unique_ptr<platform::SerialApi> api;
    platform::Handle port = platform::kInvalidHandle;
};

// The read is waiting when the bytes arrive: a helper thread would add its own wake-up time,
// so the block is written first and the lateness counted from the write.
double burstLateness(PtyPort& pty) {
    const std::string block(32, 'x');
    const Clock::time_point sent = Clock::now();
    pty.send(block);
    const std::uint32_t got = pty.read();
    const double late = ms(Clock::now() - sent);
    if (got != 32) {
        throw std::runtime_error("burst read returned " + std::to_string(got));
    }
    return late;
}

double gapLateness(PtyPort& pty) {
    const Clock::time_point sent = Clock::now();
    pty.send("12345");
    const std::uint32_t got = pty.read();
    const double late = ms(Clock::now() - sent) - 100.0;
    if (got != 5) {
        throw std::runtime_error("gap read returned " + std::to_string(got));
    }
    return late;
}

double silenceLateness(PtyPort& pty) {
    const Clock::time_point start = Clock::now();
    const std::uint32_t got = pty.read();
    if (got != 0) {
        throw std::runtime_error("silent read returned bytes");
    }
    return ms(Clock::now() - start) - 1000.0;
}

double ppollLateness() {
    const timespec timeout{0, 100000000};
    const Clock::time_point start = Clock::now();
    ::ppoll(nullptr, 0, &timeout, nullptr);
    return ms(Clock::now() - start) - 100.0;
}

void row(const char* what, std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    std::printf("| %-34s | %8.3f ms | %8.3f ms | %3zu |\n", what, samples[samples.size() / 2],
                samples.back(), samples.size());
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    const int silentRuns = std::max(1, runs / 4);
    PtyPort pty;
    std::vector<double> burst, gap, silence, baseline;
    for (int i = 0; i < runs; ++i) {
        burst.push_back(burstLateness(pty));
        gap.push_back(gapLateness(pty));
        baseline.push_back(ppollLateness());
    }
    for (int i = 0; i < silentRuns; ++i) {
        silence.push_back(silenceLateness(pty));
    }
    std::printf("| serial read lateness (pty)         | median      | max         | n   |\n");
    std::printf("|------------------------------------|-------------|-------------|-----|\n");
    row("32-byte burst (after the write)", burst);
    row("end at a 100 ms gap", gap);
    row("1000 ms silence", silence);
    row("baseline: bare ppoll of 100 ms", baseline);
    return 0;
}
