// pelmorad as a user runs it: options, exit statuses and stopping on a signal.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <regex>

#include "daemon/child_process.h"
#include "daemon/temp_settings.h"

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
    EXPECT_NE(help.out().find("--sink x11|uinput|stdout"), std::string::npos) << help.out();
    EXPECT_NE(help.out().find("PELMORA_CONFIG"), std::string::npos);
    EXPECT_EQ(help.err(), "");
}

TEST(PelmoradOptions, BadCommandLinesGiveOneLineAndStatus2) {
    const std::vector<std::vector<std::string>> cases = {
        {"--bogus"}, {"-x"},
        {"--sink"},  {"--sink", "wayland"},
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

}  // namespace
