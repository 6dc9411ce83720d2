// pelmorad as a user runs it: options, exit statuses and stopping on a signal.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <regex>
#include <thread>

#include "daemon/child_process.h"
#include "daemon/temp_settings.h"
#include "platform/serial_api.h"

using namespace std::chrono_literals;
using daemon_test::ChildProcess;

namespace {

const std::string kPelmorad = PELMORAD_PATH;

int lineCount(const std::string& text) {
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

TEST(PelmoradOptions, VersionAndHelp) {
    ChildProcess version({kPelmorad, "--version"});
    EXPECT_EQ(version.wait(10s), 0);
    EXPECT_EQ(version.out(), "pelmorad (Pelmora) 1.0.3 build 5\n");
    EXPECT_EQ(version.err(), "");

    ChildProcess help({kPelmorad, "--help"});
    EXPECT_EQ(help.wait(10s), 0);
    EXPECT_NE(help.out().find("--sink auto|wayland|portal|uinput|x11|stdout"), std::string::npos)
        << help.out();
    EXPECT_NE(help.out().find("PELMORA_CONFIG"), std::string::npos);
    EXPECT_EQ(help.err(), "");
}

TEST(PelmoradOptions, BadCommandLinesGiveOneLineAndStatus2) {
    const std::vector<std::vector<std::string>> cases = {
        {"--bogus"}, {"-x"},
        {"--sink"},  {"--sink", "carrier-pigeon"},
        {"--sink="}, {"--sink=x11|stdout"},
        {"COM1"},    {"--verbose", "--sink", "stdout", "extra"}};
    for (const auto& args : cases) {
        std::vector<std::string> argv{kPelmorad};
        argv.insert(argv.end(), args.begin(), args.end());
        ChildProcess child(argv);
        const std::string label = ::testing::PrintToString(args);
        EXPECT_EQ(child.wait(10s), 2) << label;
        EXPECT_EQ(lineCount(child.err()), 1) << label << ": " << child.err();
        EXPECT_EQ(child.err().rfind("pelmorad: ", 0), 0u) << label << ": " << child.err();
        EXPECT_EQ(child.out(), "") << label;
    }
}

// Running the reader needs settings of our own: the program must never fall back to the user's
// settings or to the default port, which is this machine's console.
class PelmoradRun : public ::testing::Test {
protected:
    void SetUp() override {
        if (!settings.honoured()) {
            GTEST_SKIP() << "the settings store ignores PELMORA_CONFIG here; not starting pelmorad";
        }
    }
    daemon_test::TempSettings settings;
};

TEST_F(PelmoradRun, StopsOnSigtermAndSigintWhileTheDeviceIsMissing) {
    settings.write({{"DeviceName", settings.dir() + "/no-such-scanner"}});
    for (int signo : {SIGTERM, SIGINT}) {
        ChildProcess child({kPelmorad, "--sink", "stdout", "--verbose"}, settings.env());
        ASSERT_TRUE(child.waitForOutput(
            [](const std::string&, const std::string& err) {
                return err.find("state Halted") != std::string::npos;
            },
            20s))
            << child.err();
        EXPECT_NE(child.err().find("cannot open " + settings.dir() + "/no-such-scanner"),
                  std::string::npos)
            << child.err();
        child.signal(signo);
        EXPECT_EQ(child.wait(20s), 0) << child.err();
        EXPECT_NE(child.err().find("stopped; device closed"), std::string::npos) << child.err();
        EXPECT_EQ(child.out(), "");
    }
}

TEST_F(PelmoradRun, QuietWithoutVerbose) {
    settings.write({{"DeviceName", settings.dir() + "/no-such-scanner"}});
    ChildProcess child({kPelmorad, "--sink=stdout"}, settings.env());
    // No output to wait for: give it time to reach Halted, then stop it.
    std::this_thread::sleep_for(300ms);
    child.signal(SIGTERM);
    EXPECT_EQ(child.wait(20s), 0);
    EXPECT_EQ(child.err(), "");
    EXPECT_EQ(child.out(), "");
}

// The whole path: a pseudo-terminal as the scanner's port, pelmorad reading it, the scans on
// standard output.
class PelmoradPty : public PelmoradRun {
protected:
    void SetUp() override {
        PelmoradRun::SetUp();
        if (IsSkipped()) {
            return;
        }
        char name[128];
        int slave = -1;
        ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
        termios tio{};
        ::tcgetattr(slave, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(slave, TCSANOW, &tio);
        ::close(slave);
        port = name;
        auto serial = platform::makeSerialApi();
        const platform::Handle probe = serial->createFile(port.c_str());
        if (probe == platform::kInvalidHandle) {
            GTEST_SKIP() << "this build's serial layer cannot open a pseudo-terminal";
        }
        serial->closeHandle(probe);
    }
    void TearDown() override {
        if (master >= 0) {
            ::close(master);
        }
    }
    void send(const std::string& bytes) {
        ASSERT_EQ(::write(master, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    static bool waitForStderr(ChildProcess& child, const std::string& text) {
        return child.waitForOutput(
            [&text](const std::string&, const std::string& err) {
                return err.find(text) != std::string::npos;
            },
            20s);
    }
    static bool waitForStdout(ChildProcess& child, const std::string& text) {
        return child.waitForOutput(
            [&text](const std::string& out, const std::string&) { return out == text; }, 20s);
    }
    int master = -1;
    std::string port;
};

TEST_F(PelmoradPty, ScansArriveOnStdoutAsTheirBytesOneLineEach) {
    settings.write({{"DeviceName", port}, {"bCRLF", "1"}, {"bSkipFirstChar", "1"}});
    ChildProcess child({kPelmorad, "--sink", "stdout", "--verbose"}, settings.env());
    ASSERT_TRUE(waitForStderr(child, "state Reading")) << child.err();
    // The scanner's leading STX is dropped, Enter added; a CR suffix does not double the line.
    send(
        "\x02"
        "4006381333931");
    ASSERT_TRUE(waitForStdout(child, "4006381333931\n")) << child.out();
    send(
        "\x02"
        "Cr\xE8me br\xFBl\xE9"
        "e \x1D"
        "42\r");
    const std::string both =
        "4006381333931\nCr\xE8me br\xFBl\xE9"
        "e \x1D"
        "42\n";
    EXPECT_TRUE(waitForStdout(child, both)) << ::testing::PrintToString(child.out());
    child.signal(SIGTERM);
    EXPECT_EQ(child.wait(20s), 0) << child.err();
}

TEST_F(PelmoradPty, SigtermWhileReadingClosesTheDeviceAndExits) {
    settings.write({{"DeviceName", port}});
    ChildProcess child({kPelmorad, "--sink", "stdout", "--verbose"}, settings.env());
    ASSERT_TRUE(waitForStderr(child, "state Reading")) << child.err();
    std::this_thread::sleep_for(200ms);  // well inside a silent read of up to a second
    child.signal(SIGTERM);
    // How fast is a benchmark (bench_pelmorad_stop); here only that it ends, cleanly.
    EXPECT_EQ(child.wait(20s), 0) << child.err();
    EXPECT_NE(child.err().find("stopped; device closed"), std::string::npos) << child.err();
    // Closed by the reader, not just by the exit: the exclusive-use flag was cleared.
    const int again = ::open(port.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(again, 0);
    int exclusive = -1;
    EXPECT_EQ(::ioctl(again, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);
    ::close(again);
}

TEST_F(PelmoradPty, StopsWhenTheReaderOfItsOutputGoesAway) {
    settings.write({{"DeviceName", port}, {"bSkipFirstChar", "0"}});
    ChildProcess child({kPelmorad, "--sink", "stdout", "--verbose"}, settings.env());
    ASSERT_TRUE(waitForStderr(child, "state Reading")) << child.err();
    send("FIRST");
    ASSERT_TRUE(waitForStdout(child, "FIRST\n")) << child.out();
    child.closeStdout();
    send("SECOND");
    EXPECT_EQ(child.wait(20s), 1);
}

// A scanner plugged in after the start, and one that another program held at the start: each
// is opened once it is there, without SIGHUP. The scan is sent as a 9600 baud scanner sends it.
TEST_F(PelmoradPty, ADeviceThatComesAfterTheStartIsOpenedWhenItComes) {
    using Clock = std::chrono::steady_clock;
    const std::string link = settings.dir() + "/scanner";
    for (const std::string kind : {"plugged in", "released"}) {
        SCOPED_TRACE(kind);
        const bool plugged = kind == "plugged in";
        int holder = -1;
        if (!plugged) {
            // Another program with the port in exclusive use, as terminal programs take it.
            holder = ::open(port.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
            ASSERT_GE(holder, 0);
            ASSERT_EQ(::ioctl(holder, TIOCEXCL), 0);
        }
        settings.write({{"DeviceName", plugged ? link : port}});
        const auto start = Clock::now();
        ChildProcess child({kPelmorad, "--sink", "stdout", "--verbose"}, settings.env());
        ASSERT_TRUE(waitForStderr(child, "state Halted")) << child.err();
        EXPECT_NE(child.err().find(plugged ? "no such device" : "busy"), std::string::npos)
            << child.err();
        std::this_thread::sleep_until(start + 3s);
        ASSERT_EQ(child.err().find("state Reading"), std::string::npos) << child.err();

        const auto available = Clock::now();
        if (plugged) {
            ASSERT_EQ(::symlink(port.c_str(), link.c_str()), 0);
        } else {
            ::ioctl(holder, TIOCNXCL);
            ::close(holder);
        }
        ASSERT_TRUE(waitForStderr(child, "state Reading")) << child.err();
        const auto opened = Clock::now();
        const std::string scan =
            "\x02"
            "4006381333931\r";
        auto next = Clock::now();
        for (char byte : scan) {
            std::this_thread::sleep_until(next);
            send(std::string(1, byte));
            next += std::chrono::microseconds(1042);
        }
        ASSERT_TRUE(waitForStdout(child, "4006381333931\n")) << child.out() << child.err();
        const auto typed = Clock::now();
        using std::chrono::duration_cast;
        using std::chrono::milliseconds;
        const auto openMs = duration_cast<milliseconds>(opened - available).count();
        const auto typedMs = duration_cast<milliseconds>(typed - available).count();
        std::printf("%s: opened %lld ms and first scan typed %lld ms after the device was there\n",
                    kind.c_str(), static_cast<long long>(openMs), static_cast<long long>(typedMs));
        // "About a second" is a poll once a second; the bound only tells it from never.
        EXPECT_LT(openMs, 5000);
        child.signal(SIGTERM);
        EXPECT_EQ(child.wait(20s), 0) << child.err();
        ::unlink(link.c_str());
    }
}

#ifdef VSCAN_PATH
TEST_F(PelmoradPty, VirtualScannerUnpluggedAndPluggedInAgainKeepsTyping) {
    const std::string link = settings.dir() + "/scanner";
    ChildProcess vscan({VSCAN_PATH, "--link", link, "--prefix", "0x02", "--suffix", "cr", "--gap",
                        "300", "--linger", "1500", "A1", "!unplug=500", "B2"});
    ASSERT_TRUE(vscan.waitForOutput(
        [](const std::string& out, const std::string&) { return !out.empty(); }, 20s));
    settings.write({{"DeviceName", link}, {"bCRLF", "1"}, {"bSkipFirstChar", "1"}});
    ChildProcess child({kPelmorad, "--sink", "stdout", "--verbose"}, settings.env());
    EXPECT_TRUE(waitForStdout(child, "A1\nB2\n"))
        << ::testing::PrintToString(child.out()) << child.err();
    EXPECT_NE(child.err().find("lost " + link), std::string::npos) << child.err();
    EXPECT_EQ(vscan.wait(20s), 0);
    child.signal(SIGTERM);
    EXPECT_EQ(child.wait(20s), 0) << child.err();
}
#endif

}  // namespace
