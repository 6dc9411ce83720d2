// pelmora-vscan seen from the port side: what a reader of its pseudo-terminal receives, and when.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <filesystem>
#include <thread>
#include <vector>

#include "daemon/child_process.h"
#include "daemon/temp_settings.h"

using namespace std::chrono_literals;
using daemon_test::ChildProcess;

namespace {

const std::string kVscan = VSCAN_PATH;
using Clock = std::chrono::steady_clock;

struct Received {
    std::string bytes;
    bool hungUp = false;
};

// Opens the port as a reader would and collects bytes until `count` arrived, the port hangs up
// or `limit` passes.
Received readPort(const std::string& path, std::size_t count, std::chrono::milliseconds limit) {
    Received r;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    EXPECT_GE(fd, 0) << path;
    if (fd < 0) {
        return r;
    }
    const auto end = Clock::now() + limit;
    while (r.bytes.size() < count && Clock::now() < end) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 20) <= 0) {
            continue;
        }
        char buffer[256];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            r.bytes.append(buffer, static_cast<std::size_t>(n));
        } else if (n == 0 || errno != EAGAIN) {
            r.hungUp = true;
            break;
        }
    }
    ::close(fd);
    return r;
}

std::string firstLine(ChildProcess& child) {
    EXPECT_TRUE(
        child.waitForOutput([](const std::string& out,
                               const std::string&) { return out.find('\n') != std::string::npos; },
                            20s));
    return child.out().substr(0, child.out().find('\n'));
}

TEST(Vscan, SendsPrefixCodeAndSuffixAsBytes) {
    struct Case {
        std::vector<std::string> args;
        std::string expected;
    } cases[] = {
        {{"ABC"}, "ABC\r"},
        {{"--suffix", "none", "ABC"}, "ABC"},
        {{"--suffix=crlf", "-p", "0x02", "A", "B"},
         "\x02"
         "A\r\n\x02"
         "B\r\n"},
        {{"--latin1", "-s", "none", "Crème"}, "Cr\xE8me"},
        {{"-e", "-s", "none", "\\x1D01\\\\"},
         "\x1D"
         "01\\"},
        {{"-s", "none", "!!bang"}, "!bang"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> argv{kVscan, "--gap", "0", "--settle", "0", "--linger", "300"};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        ChildProcess vscan(argv);
        const std::string port = firstLine(vscan);
        ASSERT_EQ(port.rfind("/dev/pts/", 0), 0u) << port;
        EXPECT_EQ(readPort(port, c.expected.size(), 10s).bytes, c.expected)
            << ::testing::PrintToString(c.args);
        EXPECT_EQ(vscan.wait(20s), 0);
    }
}

TEST(Vscan, WaitsForAReaderAndSendsStdinLines) {
    daemon_test::TempSettings dir;
    const std::string link = dir.dir() + "/scanner";
    ChildProcess vscan(
        {kVscan, "--link", link, "--gap", "0", "--settle", "0", "--linger", "2000", "-"});
    EXPECT_EQ(firstLine(vscan), link);
    ASSERT_EQ(std::filesystem::read_symlink(link).string().rfind("/dev/pts/", 0), 0u);
    // stdin is /dev/null in ChildProcess: no lines, so nothing but the linger.
    EXPECT_EQ(vscan.wait(20s), 0);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)))
        << "the link is removed at exit";

    ChildProcess late({kVscan, "--link", link, "--settle", "0", "--linger", "2000", "X1", "X2"});
    EXPECT_EQ(firstLine(late), link);
    std::this_thread::sleep_for(500ms);  // nobody has the port yet: nothing may be lost
    EXPECT_EQ(readPort(link, 6, 10s).bytes, "X1\rX2\r");
    EXPECT_EQ(late.wait(20s), 0);
}

TEST(Vscan, UnplugHangsUpAndTheLinkFollowsTheNewPort) {
    daemon_test::TempSettings dir;
    const std::string link = dir.dir() + "/scanner";
    ChildProcess vscan({kVscan, "--link", link, "--gap", "200", "--settle", "0", "--linger", "2000",
                        "BEFORE", "!unplug=1500", "AFTER"});
    EXPECT_EQ(firstLine(vscan), link);
    const Received before = readPort(link, 100, 10s);
    EXPECT_EQ(before.bytes, "BEFORE\r");
    EXPECT_TRUE(before.hungUp);
    // While unplugged the link leads nowhere, as a vanished adapter's does: the old port number
    // may already belong to someone else's pseudo-terminal.
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
    // Plugged in again within the pause plus a margin; the reader finds it by the same path.
    Received after;
    const auto end = Clock::now() + 10s;
    while (after.bytes.empty() && Clock::now() < end) {
        std::this_thread::sleep_for(50ms);
        if (std::filesystem::exists(link)) {
            after = readPort(link, 6, 5s);
        }
    }
    EXPECT_EQ(after.bytes, "AFTER\r");
    EXPECT_EQ(vscan.wait(20s), 0);
}

// Reads `count` bytes from the port one at a time; `spread` is the time from the first to the last.
struct Timed {
    std::string bytes;
    Clock::duration spread{};
    std::vector<Clock::time_point> at;  // when each byte was read
};
Timed readTimed(const std::string& port, std::size_t count) {
    Timed timed;
    const int fd = ::open(port.c_str(), O_RDONLY | O_NOCTTY);
    EXPECT_GE(fd, 0) << port;
    Clock::time_point first;
    char c;
    while (fd >= 0 && timed.bytes.size() < count && ::read(fd, &c, 1) == 1) {
        if (timed.bytes.empty()) {
            first = Clock::now();
        }
        timed.bytes += c;
        timed.at.push_back(Clock::now());
    }
    timed.spread = Clock::now() - first;
    ::close(fd);
    return timed;
}

// The pace tests run at 300 bit/s, 33 ms a byte, so that a late wake-up of the reading test
// cannot eat the margin between the paced and the unpaced stream.
TEST(Vscan, PacesBytesAtTheLineSpeed) {
    // 21 bytes: about 670 ms from the first to the last.
    ChildProcess vscan(
        {kVscan, "--baud", "300", "--settle", "0", "--linger", "1000", "ABCDEFGHIJKLMNOPQRST"});
    const Timed got = readTimed(firstLine(vscan), 21);
    EXPECT_EQ(got.bytes, "ABCDEFGHIJKLMNOPQRST\r");
    EXPECT_GE(got.spread, 450ms);
    EXPECT_EQ(vscan.wait(20s), 0);
}

TEST(Vscan, CodesBackToBackKeepTheLinePace) {
    // Ten 2-byte codes with no gap are one stream of 20 bytes: about 630 ms from the first to
    // the last. Sent at once after the code before, each code's first byte would bring that
    // down to about 330 ms.
    ChildProcess vscan({kVscan, "--baud", "300", "--gap", "0", "--settle", "0", "--linger", "1000",
                        "A", "B", "C", "D", "E", "F", "G", "H", "I", "J"});
    const Timed got = readTimed(firstLine(vscan), 20);
    EXPECT_EQ(got.bytes, "A\rB\rC\rD\rE\rF\rG\rH\rI\rJ\r");
    EXPECT_GE(got.spread, 450ms);
    EXPECT_EQ(vscan.wait(20s), 0);
}

TEST(Vscan, ACodeThatComesLateIsStillPaced) {
    // A line on standard input half a second after the one before: its 11 bytes still go at
    // the line's speed (about 330 ms), not at once to make up for the quiet time.
    ChildProcess vscan({"/bin/sh", "-c",
                        "(echo A; sleep 0.5; echo BCDEFGHIJK) | \"$0\" --baud 300 --gap 0 "
                        "--settle 0 --linger 1000",
                        kVscan});
    const Timed got = readTimed(firstLine(vscan), 13);
    ASSERT_EQ(got.bytes, "A\rBCDEFGHIJK\r");
    EXPECT_GE(got.at.back() - got.at[2], 200ms);
    EXPECT_EQ(vscan.wait(20s), 0);
}

TEST(Vscan, BadOptionsGiveStatus2) {
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"--suffix", "lf"}, {"--baud", "fast"}, {"--prefix", "300"}, {"--nope"}, {"-d"}}) {
        std::vector<std::string> argv{kVscan};
        argv.insert(argv.end(), args.begin(), args.end());
        ChildProcess vscan(argv);
        EXPECT_EQ(vscan.wait(10s), 2) << ::testing::PrintToString(args);
        EXPECT_EQ(vscan.out(), "");
    }
}

}  // namespace
