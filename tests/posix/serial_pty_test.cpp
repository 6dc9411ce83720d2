// The termios serial layer on pseudo-terminals the test opens itself. Time bounds catch gross
// faults only (a read that returns early, spins or hangs); the exact lateness is a benchmark.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/posix/line_mapping.h"
#include "platform/serial_api.h"
#include "posix/pty.h"
#include "posix/temp_dir.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using platform::Handle;
using platform::kInvalidHandle;

namespace {

constexpr platform::CommTimeouts kScannerTimeouts{100, 0, 1000, 0, 0};

struct Read {
    bool ok = false;
    std::string bytes;
    double ms = 0;
};

class SerialOnPty : public ::testing::Test {
protected:
    void SetUp() override {
        api = platform::makeSerialApi();
        port = api->createFile(pty.slavePath().c_str());
        ASSERT_NE(port, kInvalidHandle) << api->lastOpenError();
        ASSERT_TRUE(api->setCommTimeouts(port, kScannerTimeouts));
        platform::Dcb dcb{};
        ASSERT_TRUE(api->getCommState(port, dcb));
        dcb.BaudRate = 9600;
        dcb.fInX = 0;
        dcb.fOutX = 0;
        api->setCommState(port, dcb);  // raw mode: bytes arrive as sent
    }
    void TearDown() override {
        if (port != kInvalidHandle) {
            api->closeHandle(port);
        }
    }

    Read read(Handle h = -2) {
        unsigned char buffer[32];
        std::uint32_t received = 0;
        const auto t0 = Clock::now();
        Read r;
        r.ok = api->readFile(h == -2 ? port : h, buffer, sizeof buffer, received);
        r.ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
        r.bytes.assign(reinterpret_cast<char*>(buffer), received);
        return r;
    }

    // Runs a timing scenario up to three times: a busy machine may stall the writer or the
    // reader long enough to change what one attempt sees, never all three.
    template <typename Attempt>
    void withRetries(Attempt attempt) {
        std::string why;
        for (int i = 0; i < 3; ++i) {
            why = attempt();
            if (why.empty()) {
                return;
            }
        }
        ADD_FAILURE() << why;
    }

    testutil::Pty pty;
    std::unique_ptr<platform::SerialApi> api;
    Handle port = kInvalidHandle;
};

std::string text(const Read& r) {
    return "'" + r.bytes + "' ok=" + std::to_string(r.ok) + " after " + std::to_string(r.ms) +
           " ms";
}

}  // namespace

TEST_F(SerialOnPty, ABurstOf40ComesAs32ThenTheRestAfterTheGap) {
    std::string burst;
    for (int i = 0; i < 40; ++i) {
        burst += static_cast<char>('A' + i % 26);
    }
    pty.send(burst);
    const Read first = read();
    EXPECT_TRUE(first.ok);
    EXPECT_EQ(first.bytes, burst.substr(0, 32));
    EXPECT_LT(first.ms, 90) << "a full buffer returns without waiting for a gap";
    const Read second = read();
    EXPECT_TRUE(second.ok);
    EXPECT_EQ(second.bytes, burst.substr(32));
    EXPECT_GE(second.ms, 99) << "the rest waits out the 100 ms gap";
    EXPECT_LT(second.ms, 900) << "and not the total time-out";
}

TEST_F(SerialOnPty, SilenceEndsAfterTheTotalTimeoutWithNoBytes) {
    const Read r = read();
    EXPECT_TRUE(r.ok) << "silence is not a failure";
    EXPECT_EQ(r.bytes, "");
    EXPECT_GE(r.ms, 999);
    EXPECT_LT(r.ms, 5000);
}

TEST_F(SerialOnPty, AGapOfMoreThan100MsSplitsTheRead) {
    withRetries([&]() -> std::string {
        std::thread scanner([&] {
            pty.send("abc");
            std::this_thread::sleep_for(150ms);
            pty.send("def");
        });
        const Read first = read();
        const Read second = read();
        scanner.join();
        if (first.bytes != "abc" || second.bytes != "def" || !first.ok || !second.ok) {
            return "split as " + text(first) + " / " + text(second);
        }
        if (first.ms < 99 || first.ms > 900) {
            return "first part " + text(first);
        }
        return "";
    });
}

TEST_F(SerialOnPty, ASlowTrickleIsCutByTheTotalTimeout) {
    withRetries([&]() -> std::string {
        std::atomic<bool> stop{false};
        std::thread scanner([&] {
            auto next = Clock::now();
            for (int i = 0; i < 30 && !stop.load(); ++i) {
                pty.send(std::string(1, static_cast<char>('a' + i % 26)));
                next += 50ms;
                std::this_thread::sleep_until(next);
            }
        });
        const Read r = read();
        stop.store(true);
        scanner.join();
        // Drain what came after the cut, for the next attempt.
        while (!read().bytes.empty()) {
        }
        if (!r.ok || r.bytes.size() < 15 || r.bytes.size() > 21 || r.ms < 999 || r.ms > 1500) {
            return "one byte per 50 ms gave " + text(r);
        }
        return "";
    });
}

TEST_F(SerialOnPty, AHangUpDuringAReadFailsIt) {
    std::atomic<bool> done{false};
    Read r;
    std::thread reader([&] {
        r = read();
        done.store(true);
    });
    std::this_thread::sleep_for(200ms);
    pty.closeMaster();  // the adapter is unplugged
    reader.join();
    EXPECT_FALSE(r.ok) << "a hang-up is never silence: " << text(r);
    EXPECT_LT(r.ms, 5000);
    // And every later read fails at once rather than spinning on zero bytes.
    const Read again = read();
    EXPECT_FALSE(again.ok);
    EXPECT_LT(again.ms, 500);
}

TEST_F(SerialOnPty, BytesBeforeAHangUpAreDeliveredThenTheReadFails) {
    pty.send("xy");
    std::this_thread::sleep_for(20ms);
    const Read data = read();
    pty.closeMaster();
    EXPECT_TRUE(data.ok);
    EXPECT_EQ(data.bytes, "xy");
    EXPECT_FALSE(read().ok);
}

TEST_F(SerialOnPty, CancelReadsWakesABlockedReadAndEveryLaterOne) {
    // No time-outs at all: only the cancel can end this read.
    ASSERT_TRUE(api->setCommTimeouts(port, {0, 0, 0, 0, 0}));
    std::atomic<bool> done{false};
    Read r;
    std::thread reader([&] {
        r = read();
        done.store(true);
    });
    std::this_thread::sleep_for(100ms);
    EXPECT_FALSE(done.load());
    const auto t0 = Clock::now();
    api->cancelReads();
    ASSERT_TRUE(testutil::waitFor([&] { return done.load(); }, 5000ms));
    reader.join();
    EXPECT_LT(Clock::now() - t0, 1000ms);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.bytes, "");
    pty.send("late");
    const Read later = read();
    EXPECT_TRUE(later.ok);
    EXPECT_EQ(later.bytes, "");
    EXPECT_LT(later.ms, 500);
}

TEST_F(SerialOnPty, APortInUseIsRefusedAndFreedByClose) {
    // Held by this program: a second open fails, through this object or another.
    EXPECT_EQ(api->createFile(pty.slavePath().c_str()), kInvalidHandle);
    EXPECT_NE(api->lastOpenError().find("busy"), std::string::npos) << api->lastOpenError();
    auto other = platform::makeSerialApi();
    EXPECT_EQ(other->createFile(pty.slavePath().c_str()), kInvalidHandle);
    EXPECT_NE(other->lastOpenError().find("busy"), std::string::npos);

    // Closing clears the exclusive flag, which on a pseudo-terminal outlives the descriptor.
    ASSERT_TRUE(api->closeHandle(port));
    port = kInvalidHandle;
    int exclusive = -1;
    ASSERT_EQ(::ioctl(pty.slave(), TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);
    const Handle again = other->createFile(pty.slavePath().c_str());
    ASSERT_NE(again, kInvalidHandle) << other->lastOpenError();
    EXPECT_EQ(other->lastOpenError(), "");
    EXPECT_TRUE(other->closeHandle(again));
    EXPECT_FALSE(other->closeHandle(again)) << "a handle closes once";
}

TEST_F(SerialOnPty, APortHeldByAnotherProgramIsRefused) {
    api->closeHandle(port);
    port = kInvalidHandle;
    {
        // A program that locks the device.
        const int fd = ::open(pty.slavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::flock(fd, LOCK_EX), 0);
        EXPECT_EQ(api->createFile(pty.slavePath().c_str()), kInvalidHandle);
        EXPECT_EQ(api->lastOpenError(), platform::line::kBusyText);
        ::close(fd);
    }
    {
        // A program that asked for exclusive use (root would get past TIOCEXCL itself).
        ASSERT_EQ(::ioctl(pty.slave(), TIOCEXCL), 0);
        EXPECT_EQ(api->createFile(pty.slavePath().c_str()), kInvalidHandle);
        EXPECT_EQ(api->lastOpenError(), platform::line::kBusyText);
        ASSERT_EQ(::ioctl(pty.slave(), TIOCNXCL), 0);
    }
    port = api->createFile(pty.slavePath().c_str());
    EXPECT_NE(port, kInvalidHandle) << api->lastOpenError();
}

TEST_F(SerialOnPty, AMissingDeviceSaysSo) {
    EXPECT_EQ(api->createFile("/dev/pelmora-no-such-device"), kInvalidHandle);
    EXPECT_EQ(api->lastOpenError(), "no such device");
    EXPECT_EQ(api->createFile("/nonexistent-folder/tty"), kInvalidHandle);
    EXPECT_EQ(api->lastOpenError(), "no such device");
}

TEST_F(SerialOnPty, TheLineIsSetAndReadBack) {
    platform::Dcb dcb{};
    ASSERT_TRUE(api->getCommState(port, dcb));
    EXPECT_EQ(dcb.DCBlength, sizeof dcb);
    // What a pseudo-terminal can hold; CS7 and parity are checked in the mapping tables.
    dcb.ByteSize = 8;
    dcb.Parity = platform::NOPARITY;
    dcb.StopBits = platform::TWOSTOPBITS;
    dcb.fParity = 1;
    dcb.fOutxCtsFlow = 1;
    dcb.fOutxDsrFlow = 1;
    dcb.fDtrControl = platform::DTR_CONTROL_HANDSHAKE;
    dcb.fInX = 1;
    dcb.fOutX = 0;
    for (const std::uint32_t rate : {110u, 300u, 600u, 1200u, 2400u, 4800u, 9600u, 14400u, 19200u,
                                     38400u, 56000u, 57600u, 115200u, 128000u, 256000u}) {
        dcb.BaudRate = rate;
        EXPECT_TRUE(api->setCommState(port, dcb)) << rate;
        const termios2 t = testutil::lineOf(pty);
        EXPECT_EQ(platform::line::rateOf(t), rate);
        EXPECT_EQ(t.c_cflag & (CSIZE | CSTOPB | CRTSCTS | PARENB),
                  static_cast<tcflag_t>(CS8 | CSTOPB | CRTSCTS));
        EXPECT_EQ(t.c_iflag & (INPCK | IXON | IXOFF), static_cast<tcflag_t>(INPCK | IXOFF));
        EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
        EXPECT_EQ(t.c_oflag & OPOST, 0u);
        EXPECT_EQ(t.c_iflag & ICRNL, 0u);
        // What stty reads (the classic call): the rate's own code, BOTHER only where none exists.
        termios classic{};
        ASSERT_EQ(::ioctl(pty.slave(), TCGETS, &classic), 0);
        const bool odd = rate == 14400 || rate == 56000 || rate == 128000 || rate == 256000;
        EXPECT_EQ((classic.c_cflag & CBAUD) == BOTHER, odd) << rate;
        platform::Dcb back{};
        ASSERT_TRUE(api->getCommState(port, back));
        EXPECT_EQ(back.BaudRate, rate);
        EXPECT_EQ(back.StopBits, platform::TWOSTOPBITS);
        EXPECT_EQ(back.fOutxCtsFlow, 1u);
        EXPECT_EQ(back.fInX, 1u);
        EXPECT_EQ(back.fOutX, 0u);
        EXPECT_EQ(back.fParity, 1u);
        // No modem lines on a pseudo-terminal: kept as set.
        EXPECT_EQ(back.fDtrControl, platform::DTR_CONTROL_HANDSHAKE);
        EXPECT_EQ(back.fOutxDsrFlow, 1u);
    }

    // What the pseudo-terminal drops is reported, not pretended.
    dcb.ByteSize = 7;
    dcb.Parity = platform::EVENPARITY;
    EXPECT_FALSE(api->setCommState(port, dcb));
    // A request no line can meet leaves the line as it was.
    dcb.ByteSize = 8;
    dcb.Parity = platform::NOPARITY;
    dcb.BaudRate = 0;
    EXPECT_FALSE(api->setCommState(port, dcb));
    EXPECT_EQ(platform::line::rateOf(testutil::lineOf(pty)), 256000u);
}

TEST(SerialRawLine, AnyTerminalIsReadRawFromTheOpenEvenWhenItsLineIsRefused) {
    // A fresh pseudo-terminal is cooked and echoing, as a USB serial port is before anyone sets
    // it up; a port read as a plain stream never gets its line set.
    testutil::Pty pty;
    auto api = platform::makeSerialApi();
    const Handle port = api->createFile(pty.slavePath().c_str());
    ASSERT_NE(port, kInvalidHandle) << api->lastOpenError();
    ASSERT_TRUE(api->setCommTimeouts(port, kScannerTimeouts));
    auto expectRawScan = [&](const std::string& what) {
        const termios2 t = testutil::lineOf(pty);
        EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u) << what;
        EXPECT_EQ(t.c_iflag & (ICRNL | IGNCR | INLCR), 0u) << what;
        // No line end, a 0xFF (which the line marks as 0xFF 0xFF) and a DEL: as sent.
        pty.send("SCAN\xFF\x7F");
        unsigned char buffer[32];
        std::uint32_t received = 0;
        EXPECT_TRUE(api->readFile(port, buffer, sizeof buffer, received)) << what;
        EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), received), "SCAN\xFF\x7F") << what;
        char echo[16];
        ::fcntl(pty.master(), F_SETFL, O_NONBLOCK);
        EXPECT_LT(::read(pty.master(), echo, sizeof echo), 1) << what << ": echoed to the scanner";
    };
    expectRawScan("never set up");

    platform::Dcb dcb{};
    ASSERT_TRUE(api->getCommState(port, dcb));
    dcb.BaudRate = 19200;
    dcb.Parity = 7;  // hand-edited: no line has it
    EXPECT_FALSE(api->setCommState(port, dcb));
    EXPECT_EQ(platform::line::rateOf(testutil::lineOf(pty)), 19200u) << "the rest still applies";
    expectRawScan("parity refused");
    api->closeHandle(port);
}

TEST(SerialPlainStream, AFifoIsReadAsAByteStreamWithoutALine) {
    testutil::TempDir dir;
    const std::string fifo = dir / "scanner";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    auto api = platform::makeSerialApi();
    const Handle h = api->createFile(fifo.c_str());
    ASSERT_NE(h, kInvalidHandle) << api->lastOpenError();
    platform::Dcb dcb{};
    EXPECT_FALSE(api->getCommState(h, dcb)) << "no serial line behind a FIFO";
    EXPECT_TRUE(api->setCommTimeouts(h, kScannerTimeouts));
    const int writer = ::open(fifo.c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_GE(writer, 0);
    ASSERT_EQ(::write(writer, "hello", 5), 5);
    unsigned char buffer[32];
    std::uint32_t received = 0;
    EXPECT_TRUE(api->readFile(h, buffer, sizeof buffer, received));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), received), "hello");
    // The writer going away is not the end: the FIFO is ours to read until closed.
    ::close(writer);
    const auto t0 = Clock::now();
    EXPECT_TRUE(api->readFile(h, buffer, sizeof buffer, received));
    EXPECT_EQ(received, 0u);
    EXPECT_GE(Clock::now() - t0, 999ms);
    EXPECT_TRUE(api->closeHandle(h));
}

TEST(SerialPlainStream, AFileIsReadOnceAndThenWatchedWithoutSpinning) {
    testutil::TempDir dir;
    const std::string file = dir / "scans.txt";
    testutil::writeAll(file, "first");
    auto api = platform::makeSerialApi();
    const Handle h = api->createFile(file.c_str());
    ASSERT_NE(h, kInvalidHandle) << api->lastOpenError();
    EXPECT_TRUE(api->setCommTimeouts(h, kScannerTimeouts));
    unsigned char buffer[32];
    std::uint32_t received = 0;
    EXPECT_TRUE(api->readFile(h, buffer, sizeof buffer, received));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), received), "first");
    // At its end a file is a silent line: no failure, no busy loop.
    clock_t cpu0 = std::clock();
    EXPECT_TRUE(api->readFile(h, buffer, sizeof buffer, received));
    EXPECT_EQ(received, 0u);
    EXPECT_LT(double(std::clock() - cpu0) / CLOCKS_PER_SEC, 0.5) << "spun while waiting";
    {
        std::ofstream out(file, std::ios::app);
        out << "more";
    }
    EXPECT_TRUE(api->readFile(h, buffer, sizeof buffer, received));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), received), "more");
    EXPECT_TRUE(api->closeHandle(h));
}

TEST(SerialHandles, UnknownHandlesAreRefusedNotClosed) {
    auto api = platform::makeSerialApi();
    const int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    unsigned char buffer[4];
    std::uint32_t received = 7;
    EXPECT_FALSE(api->readFile(fd, buffer, sizeof buffer, received));
    EXPECT_EQ(received, 0u);
    EXPECT_FALSE(api->setCommTimeouts(fd, kScannerTimeouts));
    EXPECT_FALSE(api->closeHandle(fd));
    EXPECT_EQ(::fcntl(fd, F_GETFD), FD_CLOEXEC) << "someone else's descriptor stays open";
    ::close(fd);
}
