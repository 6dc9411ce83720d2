// Settings that exist but cannot be read: pelmorad names the file and the reason without
// --verbose, never opens the default port in their place, and opens the configured port once
// the file can be read. The default port COM1 is /dev/ttyS0, this machine's console: the test
// runs in a mount namespace of its own where /dev/ttyS0 is a pseudo-terminal of the test's.
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "daemon/child_process.h"
#include "daemon/temp_settings.h"
#include "posix/pty.h"

using namespace std::chrono_literals;
using daemon_test::ChildProcess;

namespace {

const std::string kPelmorad = PELMORAD_PATH;
constexpr const char* kCom1 = "/dev/ttyS0";

bool exclusivelyOpen(const testutil::Pty& pty) {
    int exclusive = 0;
    return ::ioctl(pty.slave(), TIOCGEXCL, &exclusive) == 0 && exclusive != 0;
}

bool waitForStderr(ChildProcess& child, const std::string& text) {
    return child.waitForOutput(
        [&text](const std::string&, const std::string& err) {
            return err.find(text) != std::string::npos;
        },
        20s);
}

void writeFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

class UnreadableSettings : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0) {
            GTEST_SKIP() << "needs root for a mount namespace of its own";
        }
        struct stat console {};
        if (::stat(kCom1, &console) != 0) {
            GTEST_SKIP() << "no " << kCom1 << " to stand in for";
        }
        if (::unshare(CLONE_NEWNS) != 0) {
            GTEST_SKIP() << "no mount namespace here: " << std::strerror(errno);
        }
        ASSERT_EQ(::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr), 0);
        ASSERT_EQ(::mount(pty.slavePath().c_str(), kCom1, nullptr, MS_BIND, nullptr), 0)
            << std::strerror(errno);
        // Nothing is started unless COM1 is our pseudo-terminal here.
        struct stat ours {};
        struct stat bound {};
        ASSERT_EQ(::stat(pty.slavePath().c_str(), &ours), 0);
        ASSERT_EQ(::stat(kCom1, &bound), 0);
        ASSERT_EQ(bound.st_rdev, ours.st_rdev) << kCom1 << " is not the test's pseudo-terminal";
    }

    testutil::Pty pty;
    daemon_test::TempSettings settings;
};

TEST_F(UnreadableSettings, AreNamedAndKeepThePortClosedUntilTheyCanBeRead) {
    const std::string& file = settings.file();
    struct Case {
        std::string kind;
        std::function<void()> make;
        std::string reason;
    };
    const std::vector<Case> cases = {
        {"folder", [&] { std::filesystem::create_directory(file); }, "is a folder, not a file"},
        {"oversized", [&] { writeFile(file, "BaudRate=9600\n" + std::string(2 << 20, '#')); },
         "larger than 1 MiB"},
        {"binary garbage",
         [&] {
             const char elf[] =
                 "\x7f"
                 "ELF\x02\x01\x01\0\0\0=\xff\n";
             writeFile(file, std::string(elf, sizeof elf - 1));
         },
         "line 1 is not a setting"},
        {"unterminated quote",
         [&] { writeFile(file, "# scanner\nDeviceName=\"/dev/ttyUSB0\nBaudRate=9600\n"); },
         "line 2 is not a setting"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        std::filesystem::remove_all(file);
        c.make();
        ChildProcess child({kPelmorad, "--sink", "stdout"}, settings.env());
        ASSERT_TRUE(waitForStderr(child, "cannot read the settings: " + file + ": " + c.reason))
            << child.err();
        // A scan on COM1 meanwhile is neither read nor typed: the port stays closed.
        pty.send(
            "\x02"
            "COM1\r");
        std::this_thread::sleep_for(1500ms);
        EXPECT_FALSE(exclusivelyOpen(pty));
        child.signal(SIGTERM);
        EXPECT_EQ(child.wait(20s), 0) << child.err();
        EXPECT_EQ(child.out(), "");
        ::ioctl(pty.slave(), TCFLSH, TCIFLUSH);
    }

    // Fixed while it waits: the port the file names opens (the pseudo-terminal by its own name:
    // where ttyS0 is the console, COM1 is refused whatever the settings say).
    std::filesystem::remove_all(file);
    cases.back().make();
    ChildProcess child({kPelmorad, "--sink", "stdout", "--verbose"}, settings.env());
    // The watch's own word, not --verbose's: it has seen the file as unreadable.
    ASSERT_TRUE(waitForStderr(child, "line 2 is not a setting (Name=Value); the scanner stays"))
        << child.err();
    std::this_thread::sleep_for(1500ms);
    EXPECT_EQ(child.err().find("COM1"), std::string::npos) << "the default port was tried";
    const std::string temp = file + ".new";
    writeFile(temp, "DeviceName=\"" + pty.slavePath() + "\"\nbSkipFirstChar=1\n");
    ASSERT_EQ(::rename(temp.c_str(), file.c_str()), 0);
    ASSERT_TRUE(waitForStderr(child, "the settings can be read again")) << child.err();
    ASSERT_TRUE(waitForStderr(child, "state Reading, device " + pty.slavePath() + " open"))
        << child.err();
    EXPECT_TRUE(exclusivelyOpen(pty));
    pty.send(
        "\x02"
        "4006381333931\r");
    EXPECT_TRUE(child.waitForOutput(
        [](const std::string& out, const std::string&) { return out == "4006381333931\n"; }, 20s))
        << child.out();
    child.signal(SIGTERM);
    EXPECT_EQ(child.wait(20s), 0) << child.err();
}

}  // namespace
