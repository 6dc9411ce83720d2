// The whole path on Wayland: a pseudo-terminal as the scanner's port, pelmorad reading it and
// typing through the compositor's virtual keyboard into a Wayland client of ours on a private
// headless sway. Exits with 77 (skipped) when sway is not installed.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>

#include "wayland/sway_session.h"
#include "x11/x_session.h"

namespace {

using namespace std::chrono_literals;

class SwayPelmorad : public ::testing::Test {
protected:
    void SetUp() override {
        sway = std::make_unique<swaytest::SwaySession>();
        ASSERT_TRUE(sway->ok()) << sway->why();
        ASSERT_TRUE(pty.ok());
        char dir[] = "/tmp/pelmora-cfg-XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        configDir = dir;
        config = configDir + "/settings.conf";
        // A store that ignored PELMORA_CONFIG would give pelmorad the default device, a real port.
        ASSERT_TRUE(xtest::configHonoured(config)) << "the settings store ignores PELMORA_CONFIG";
        std::ofstream f(config);
        f << "DeviceName=\"" << pty.slave() << "\"\n"
          << "SerialDevice=1\nBaudRate=115200\nParity=0\nStopBits=0\nDataBits=8\n"
          << "bParity=0\nbDSR=0\nbDTR=0\nbCTS=0\nbXIN=0\nbXOUT=0\nbCRLF=0\nbSkipFirstChar=0\n";
    }
    void TearDown() override {
        daemon.stop();
        if (!configDir.empty()) {
            xtest::run({"rm", "-rf", configDir});
        }
    }

    void startDaemon() {
        std::vector<std::string> env = sway->env();
        env.insert(env.end(), {"PELMORA_CONFIG=" + config, "XDG_CONFIG_HOME=" + configDir,
                               "HOME=" + configDir, "DISPLAY="});
        daemon = xtest::Child({PELMORA_PELMORAD, "--sink", "wayland"}, env, false, true);
        ASSERT_TRUE(daemon.running());
    }

    // Sends probes until one comes through (the port is open and the client has our keyboard),
    // then waits until nothing more arrives.
    void waitForTyping(xtest::Child& receiver) {
        const std::size_t start = receiver.output().size();
        const auto end = std::chrono::steady_clock::now() + 30s;
        while (receiver.output().size() == start && std::chrono::steady_clock::now() < end) {
            ASSERT_TRUE(pty.send({'.'}));
            std::this_thread::sleep_for(300ms);
        }
        ASSERT_NE(receiver.output().size(), start) << daemon.errors() << receiver.errors();
        std::size_t seen = 0;
        while (receiver.output().size() != seen) {
            seen = receiver.output().size();
            std::this_thread::sleep_for(400ms);
        }
    }

    std::unique_ptr<swaytest::SwaySession> sway;
    xtest::Pty pty;
    std::string configDir;
    std::string config;
    xtest::Child daemon;
};

TEST_F(SwayPelmorad, EveryByteAndTenThousandRandomCharactersExactAcrossALayoutChange) {
    xtest::Child receiver = sway->startReceiver({"--keymaps"});
    ASSERT_TRUE(receiver.running()) << receiver.errors();
    startDaemon();
    waitForTyping(receiver);
    const std::size_t start = receiver.output().size();

    // Every byte but NUL and C1, controls included, then the random text.
    std::vector<std::uint16_t> sent;
    for (std::uint16_t c = 1; c <= 0xff; ++c) {
        if (c < 0x80 || c >= 0xa0) {
            sent.push_back(c);
        }
    }
    const std::vector<std::uint16_t> text = xtest::randomLatin1(10000, 13);
    sent.insert(sent.end(), text.begin(), text.end());
    // Blocks of 32, one every 40 ms (a continuous 8,000 bit/s line); half-way the user's layout
    // changes, between two blocks as a user's action would fall.
    const std::size_t block = 32;
    for (std::size_t i = 0; i < sent.size(); i += block) {
        ASSERT_TRUE(pty.send(std::vector<std::uint16_t>(
            sent.begin() + static_cast<std::ptrdiff_t>(i),
            sent.begin() + static_cast<std::ptrdiff_t>(std::min(sent.size(), i + block)))));
        std::this_thread::sleep_for(20ms);
        if (i == sent.size() / 2 / block * block) {
            EXPECT_TRUE(sway->swaymsg({"input", "*", "xkb_layout", "de"}));
        }
        std::this_thread::sleep_for(20ms);
    }
    const std::string wanted = xtest::utf8(sent);
    const std::string got = xtest::collect(receiver, start + wanted.size()).substr(start);
    EXPECT_EQ(got.size(), wanted.size());
    std::size_t firstDiff = 0;
    while (firstDiff < got.size() && firstDiff < wanted.size() &&
           got[firstDiff] == wanted[firstDiff]) {
        ++firstDiff;
    }
    EXPECT_TRUE(got == wanted) << "first difference at byte " << firstDiff << " of "
                               << wanted.size() << "; " << daemon.errors();
    // The change reached the client (sway put the user's layout on our keyboard) and still
    // changed nothing.
    EXPECT_NE(receiver.errors().find("keymap German"), std::string::npos) << receiver.errors();
}

TEST_F(SwayPelmorad, TypingResumesWhenTheCompositorComesBack) {
    {
        xtest::Child receiver = sway->startReceiver();
        ASSERT_TRUE(receiver.running()) << receiver.errors();
        startDaemon();
        waitForTyping(receiver);
    }
    sway->stop();
    ASSERT_TRUE(pty.send({'l', 'o', 's', 't'}));  // read and recorded, typed nowhere
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(daemon.wait(0), -1) << "pelmorad must keep running: " << daemon.errors();
    EXPECT_NE(daemon.errors().find("went away"), std::string::npos) << daemon.errors();
    ASSERT_TRUE(sway->start()) << sway->why();
    xtest::Child receiver = sway->startReceiver();
    ASSERT_TRUE(receiver.running()) << receiver.errors();
    waitForTyping(receiver);
    const std::size_t start = receiver.output().size();
    ASSERT_TRUE(pty.send({'b', 'a', 'c', 'k'}));
    EXPECT_EQ(xtest::collect(receiver, start + 4).substr(start), "back");
    EXPECT_EQ(daemon.wait(0), -1) << daemon.errors();
}

}  // namespace

int main(int argc, char** argv) {
    if (!xtest::haveProgram("sway")) {
        std::printf("sway is not installed (tools/bootstrap.sh wayland): skipped\n");
        return 77;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
