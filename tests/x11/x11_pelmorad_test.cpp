// The whole path: a pseudo-terminal as the scanner's port, pelmorad reading it with its settings
// in a temporary file, typing through XTest into a real X client on a private Xvfb.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "x11/x_session.h"
#include "x11/x_state.h"

namespace {

using namespace std::chrono_literals;

class X11Pelmorad : public ::testing::Test {
protected:
    void SetUp() override {
        session = std::make_unique<xtest::XSession>();
        if (!session->ok() && !xtest::haveProgram("Xvfb")) {
            GTEST_SKIP() << session->why();
        }
        ASSERT_TRUE(session->ok()) << session->why();
        ASSERT_TRUE(pty.ok());
        char dir[] = "/tmp/pelmora-cfg-XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        configDir = dir;
        config = configDir + "/settings.conf";
        // A store that ignored PELMORA_CONFIG would give pelmorad the default device, a real port.
        if (!xtest::configHonoured(config)) {
            GTEST_SKIP()
                << "this build's settings store ignores PELMORA_CONFIG: not starting pelmorad";
        }
    }
    void TearDown() override {
        daemon.stop();
        if (!configDir.empty()) {
            xtest::run({"rm", "-rf", configDir});
        }
    }

    void writeSettings(int skipFirst, int addEnter) {
        std::ofstream f(config);
        f << "DeviceName=\"" << pty.slave() << "\"\n"
          << "SerialDevice=1\nBaudRate=115200\nParity=0\nStopBits=0\nDataBits=8\n"
          << "bParity=0\nbDSR=0\nbDTR=0\nbCTS=0\nbXIN=0\nbXOUT=0\n"
          << "bCRLF=" << addEnter << "\nbSkipFirstChar=" << skipFirst << "\n";
    }

    // Starts pelmorad and waits until a probe scan comes through (the device is open).
    void startDaemon(xtest::Child& receiver) {
        daemon = xtest::Child({PELMORA_PELMORAD, "--sink", "x11"},
                              {"PELMORA_CONFIG=" + config, "XDG_CONFIG_HOME=" + configDir,
                               "HOME=" + configDir, "DISPLAY=" + session->display()},
                              false, true);
        ASSERT_TRUE(daemon.running());
        const auto end = std::chrono::steady_clock::now() + 30s;
        while (receiver.output().empty() && std::chrono::steady_clock::now() < end) {
            ASSERT_TRUE(pty.send({'.', '.'}));
            std::this_thread::sleep_for(300ms);
        }
        ASSERT_FALSE(receiver.output().empty()) << daemon.errors();
        // Let the probes drain: no new output for a while.
        std::size_t seen = 0;
        while (receiver.output().size() != seen) {
            seen = receiver.output().size();
            std::this_thread::sleep_for(400ms);
        }
    }

    std::unique_ptr<xtest::XSession> session;
    xtest::Pty pty;
    std::string configDir;
    std::string config;
    xtest::Child daemon;
};

TEST_F(X11Pelmorad, EveryCodeUnitFromThePortWithBothFlags) {
    ASSERT_TRUE(session->setLayout("de"));
    xtest::Child receiver = session->startReceiver();
    ASSERT_TRUE(receiver.running()) << receiver.errors();
    xtest::XClient client(session->display());
    const xtest::XState before = client.state();
    for (int flags = 0; flags < 4; ++flags) {
        const int skip = flags & 1;
        const int enter = (flags >> 1) & 1;
        SCOPED_TRACE("skip " + std::to_string(skip) + " enter " + std::to_string(enter));
        writeSettings(skip, enter);
        startDaemon(receiver);
        const std::size_t start = receiver.output().size();
        std::vector<std::uint16_t> want;
        std::vector<std::uint16_t> units;
        for (std::uint16_t c = 1; c <= 0xff; ++c) {
            if (c < 0x80 || c >= 0xa0) {
                units.push_back(c);
            }
        }
        // One block per write: 32 bytes at most, then a pause longer than the 100 ms gap.
        for (std::size_t i = 0; i < units.size(); i += 32) {
            const std::vector<std::uint16_t> block(
                units.begin() + static_cast<std::ptrdiff_t>(i),
                units.begin() + static_cast<std::ptrdiff_t>(std::min(units.size(), i + 32)));
            ASSERT_TRUE(pty.send(block));
            want.insert(want.end(), block.begin() + skip, block.end());
            if (enter != 0) {
                want.push_back('\r');
            }
            std::this_thread::sleep_for(250ms);
        }
        const std::string wanted = xtest::utf8(want);
        const std::string got = xtest::collect(receiver, start + wanted.size()).substr(start);
        EXPECT_TRUE(got == wanted) << "received " << got.size() << " bytes of " << wanted.size();
        daemon.stop();
        EXPECT_EQ(daemon.wait(0), 0) << daemon.errors();
    }
    const xtest::XState after = client.state();
    EXPECT_EQ(after.keysDown, 0);
    EXPECT_EQ(after.lockedMods, before.lockedMods);
    EXPECT_TRUE(after.xtestMap == before.xtestMap);
    EXPECT_TRUE(after.coreMap == before.coreMap);
}

TEST_F(X11Pelmorad, ALostDisplayKeepsTheReaderAndTypingResumesOnTheNextOne) {
    writeSettings(0, 0);
    {
        xtest::Child receiver = session->startReceiver();
        ASSERT_TRUE(receiver.running()) << receiver.errors();
        startDaemon(receiver);
    }
    session->stopServer();
    // Scans while there is no display are read (and dropped), never the end of the reader.
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(pty.send({'L', 'O', 'S', 'T'}));
        std::this_thread::sleep_for(300ms);
    }
    ASSERT_EQ(daemon.wait(0), -1) << "pelmorad ended: " << daemon.errors();

    ASSERT_TRUE(session->startServer());
    xtest::Child receiver = session->startReceiver();
    ASSERT_TRUE(receiver.running()) << receiver.errors();
    const auto end = std::chrono::steady_clock::now() + 30s;
    while (receiver.output().find("BACK") == std::string::npos &&
           std::chrono::steady_clock::now() < end) {
        ASSERT_TRUE(pty.send({'B', 'A', 'C', 'K'}));
        std::this_thread::sleep_for(300ms);
    }
    EXPECT_NE(receiver.output().find("BACK"), std::string::npos) << daemon.errors();
    daemon.stop();
    const std::string errors = daemon.errors();
    const std::size_t lost = errors.find("lost the X display");
    EXPECT_NE(lost, std::string::npos) << errors;
    EXPECT_EQ(errors.find("lost the X display", lost + 1), std::string::npos) << "reported once";
    EXPECT_NE(errors.find("typing again"), std::string::npos) << errors;
}

}  // namespace
