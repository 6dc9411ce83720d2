// Scans typed on the real desktops: a pseudo-terminal as the scanner's port, pelmorad (sink auto,
// run as the desktop's user) and what arrives in a window of the desktop's own, through the real
// xdg-desktop-portal with GNOME's or KDE's backend. Each test skips, saying why, when its desktop
// cannot start here.
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <random>
#include <regex>
#include <set>
#include <thread>

#include "desktop/desktop_session.h"
#include "x11/x_session.h"

namespace {

using namespace std::chrono_literals;
using desktoptest::DesktopSession;

struct Case {
    const char* desktop;
    const char* layouts;  // the session's, comma-separated
    int switchTo;         // the one the user makes active once typing works, or -1
    std::string typedOn() const {
        std::string all = layouts;
        for (int i = 0; i < switchTo; ++i) {
            all.erase(0, all.find(',') + 1);
        }
        return all.substr(0, all.find(','));
    }
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.desktop << " " << c.layouts;
}

std::string escaped(const std::string& s) {
    std::string out;
    for (unsigned char c : s) {
        if (c >= 0x20 && c < 0x7f && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
        }
    }
    return out;
}

// The characters pelmorad said it did not type because the layout has no key for them.
std::set<std::uint16_t> reportedSkips(const std::string& log) {
    static const std::regex skip("no key for U\\+([0-9A-F]{4})");
    std::set<std::uint16_t> out;
    for (std::sregex_iterator i(log.begin(), log.end(), skip), end; i != end; ++i) {
        out.insert(static_cast<std::uint16_t>(std::stoul((*i)[1].str(), nullptr, 16)));
    }
    return out;
}

// Whether xkbcommon finds a key and level for the character on the layout (no dead keys).
bool layoutHasKey(const std::string& layout, std::uint16_t c) {
    std::vector<std::string> argv{"xkbcli", "how-to-type"};
    const std::size_t colon = layout.find(':');
    argv.insert(argv.end(), {"--layout", layout.substr(0, colon)});
    if (colon != std::string::npos) {
        argv.insert(argv.end(), {"--variant", layout.substr(colon + 1)});
    }
    argv.push_back(std::to_string(c));
    std::string out;
    xtest::run(argv, 10000, &out);
    // A header line, then one line per key and level.
    return out.find("KEYCODE") != std::string::npos &&
           out.find('\n', out.find("KEYCODE")) + 1 < out.size();
}

class RealDesktop : public ::testing::TestWithParam<Case> {
protected:
    void SetUp() override {
        if (!xtest::haveProgram("xkbcli")) {
            GTEST_SKIP() << "xkbcli is not installed (tools/bootstrap.sh test)";
        }
        session = std::make_unique<DesktopSession>(GetParam().desktop, GetParam().layouts);
        if (!session->ok()) {
            GTEST_SKIP() << session->why();
        }
        ASSERT_TRUE(pty.ok());
    }

    // pelmorad, as the session's user, reading the pty with settings of the test's own.
    void startDaemon() {
        const std::string dir = session->dir() + "/pelmora";
        ASSERT_EQ(mkdir(dir.c_str(), 0755), 0);
        const std::string config = dir + "/settings.conf";
        // A store that ignored PELMORA_CONFIG would give pelmorad the default device, a real port.
        ASSERT_TRUE(xtest::configHonoured(config)) << "the settings store ignores PELMORA_CONFIG";
        std::ofstream(config) << "DeviceName=\"" << pty.slave() << "\"\n"
                              << "SerialDevice=1\nBaudRate=9600\nParity=0\nStopBits=0\n"
                              << "DataBits=8\nbParity=0\nbDSR=0\nbDTR=0\nbCTS=0\nbXIN=0\n"
                              << "bXOUT=0\nbCRLF=0\nbSkipFirstChar=0\n";
        // A copy in the session's folder: the build tree may be closed to nobody.
        ASSERT_EQ(xtest::run({"cp", PELMORA_PELMORAD, dir + "/pelmorad"}), 0);
        if (geteuid() == 0) {
            const passwd* nobody = getpwnam("nobody");
            ASSERT_NE(nobody, nullptr);
            ASSERT_EQ(chown(pty.slave().c_str(), nobody->pw_uid, nobody->pw_gid), 0);
            ASSERT_EQ(xtest::run({"chown", "-R", "nobody:nogroup", dir}), 0);
        }
        // Unreadable settings would read as the defaults.
        ASSERT_EQ(session->spawn({"test", "-r", config}).wait(10000), 0);
        daemon = session->spawn(
            {"env", "PELMORA_CONFIG=" + config, dir + "/pelmorad", "--sink", "auto", "--verbose"},
            true);
        ASSERT_TRUE(daemon.running());
    }

    // Answers GNOME's consent dialog once it is shown, until pelmorad says it types.
    void waitUntilTyping() {
        const auto end = std::chrono::steady_clock::now() + 60s;
        bool answered = false;
        while (daemon.errors().find("typing through the desktop portal") == std::string::npos) {
            ASSERT_LT(std::chrono::steady_clock::now(), end)
                << "pelmorad never typed through the portal: " << daemon.errors();
            ASSERT_EQ(daemon.wait(0), -1) << daemon.errors();
            const std::string focused = session->focus();
            if (!answered && !focused.empty() && focused != DesktopSession::kReceiverTitle) {
                answered = session->command({"consent"});
            }
            std::this_thread::sleep_for(200ms);
        }
        ASSERT_TRUE(session->waitForFocus(DesktopSession::kReceiverTitle, 10000))
            << "focus: " << session->focus();
    }

    // What arrived once nothing more came for `quiet`, or once more than `most` bytes came (a
    // repeating key).
    std::string receivedWhenQuiet(std::chrono::milliseconds quiet, std::size_t most) {
        std::string got = session->received();
        auto lastChange = std::chrono::steady_clock::now();
        const auto end = lastChange + 120s;
        while (std::chrono::steady_clock::now() - lastChange < quiet &&
               std::chrono::steady_clock::now() < end && got.size() <= most) {
            std::this_thread::sleep_for(100ms);
            std::string now = session->received();
            if (now != got) {
                got = std::move(now);
                lastChange = std::chrono::steady_clock::now();
            }
        }
        return got;
    }

    std::unique_ptr<DesktopSession> session;
    xtest::Pty pty;
    xtest::Child daemon;
};

TEST_P(RealDesktop, RandomScansArriveExactlyLessTheReportedSkipsAndNoKeyStaysDown) {
    ASSERT_TRUE(session->startReceiver()) << session->why();
    startDaemon();
    waitUntilTyping();
    if (GetParam().switchTo >= 0) {
        ASSERT_TRUE(session->command({"layout", std::to_string(GetParam().switchTo)}));
        std::this_thread::sleep_for(1s);
    }

    // Scans of 8 to 40 characters, each in one burst, with a pause for the next aim.
    const std::string layout = GetParam().typedOn();
    const std::vector<std::uint16_t> sent =
        xtest::randomLatin1(400, static_cast<unsigned>(std::hash<std::string>{}(layout)));
    std::mt19937 pace(7);
    std::vector<std::size_t> scanStarts;
    for (std::size_t i = 0; i < sent.size();) {
        scanStarts.push_back(i);
        const std::size_t n = std::min<std::size_t>(sent.size() - i, 8 + pace() % 33);
        ASSERT_TRUE(pty.send({sent.begin() + static_cast<std::ptrdiff_t>(i),
                              sent.begin() + static_cast<std::ptrdiff_t>(i + n)}));
        i += n;
        std::this_thread::sleep_for(std::chrono::milliseconds(150 + pace() % 250));
    }
    const std::string got = receivedWhenQuiet(4s, xtest::utf8(sent).size());

    const std::set<std::uint16_t> skipped = reportedSkips(daemon.errors());
    std::vector<std::uint16_t> typable;
    std::vector<std::size_t> sentIndex;  // of each typable character
    for (std::size_t i = 0; i < sent.size(); ++i) {
        if (skipped.count(sent[i]) == 0) {
            typable.push_back(sent[i]);
            sentIndex.push_back(i);
        }
    }
    const std::string wanted = xtest::utf8(typable);
    std::size_t same = 0;
    std::size_t sameChars = 0;
    while (same < got.size() && same < wanted.size() && got[same] == wanted[same]) {
        sameChars += (static_cast<unsigned char>(wanted[same]) & 0xc0) != 0x80;
        ++same;
    }
    std::string where;
    if (sameChars < sentIndex.size()) {
        // Where in its scan the first wrong character was: faults cluster at scan starts.
        const std::size_t at = sentIndex[sameChars];
        const auto scan = std::upper_bound(scanStarts.begin(), scanStarts.end(), at) - 1;
        where = ", character " + std::to_string(at) + " sent, " + std::to_string(at - *scan) +
                " into scan " + std::to_string(scan - scanStarts.begin());
    }
    EXPECT_TRUE(got == wanted) << typable.size() << " characters expected (" << skipped.size()
                               << " skipped), " << got.size() << " bytes arrived for "
                               << wanted.size() << ", first difference at byte " << same << where
                               << ":\n  wanted " << escaped(wanted.substr(same, 40))
                               << "\n  got    " << escaped(got.substr(same, 40));
    // Only characters the layout really lacks may be skipped.
    std::string skippedWrongly;
    for (std::uint16_t c : skipped) {
        if (layoutHasKey(layout, c)) {
            skippedWrongly += xtest::utf8({c});
        }
    }
    EXPECT_EQ(skippedWrongly, "") << "skipped though " << layout << " has keys for them";
    // Nothing held down or repeating once the scans are over.
    std::this_thread::sleep_for(3s);
    EXPECT_EQ(session->received().size(), got.size()) << "typing went on after the last scan";
    const std::string log = session->log();
    EXPECT_EQ(log.find("Received multiple virtual"), std::string::npos)
        << "the compositor saw presses or releases out of order";
    EXPECT_EQ(daemon.wait(0), -1) << daemon.errors();
}

INSTANTIATE_TEST_SUITE_P(, RealDesktop,
                         ::testing::Values(Case{"gnome", "us", -1}, Case{"gnome", "de", -1},
                                           Case{"gnome", "fr", -1}, Case{"gnome", "us,de", 1},
                                           Case{"kde", "fr", -1}, Case{"kde", "de", -1},
                                           Case{"kde", "us,fr", 1}),
                         [](const ::testing::TestParamInfo<Case>& p) {
                             std::string name =
                                 std::string(p.param.desktop) + "_" + p.param.layouts;
                             std::replace(name.begin(), name.end(), ',', '_');
                             return p.param.switchTo < 0 ? name : name + "_switched";
                         });

}  // namespace
