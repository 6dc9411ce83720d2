// The portal sink against a mock RemoteDesktop portal on a private session bus: consent, the
// restore token stored (mode 0600) and offered at the next start, a declined dialog, a portal
// that goes away and comes back, the key codes and modifiers sent and their release on every
// way out. Skipped without dbus-daemon or python3-dbusmock.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "fakes/fake_serial.h"
#include "platform/portal/portal_key_sink.h"
#include "posix/temp_dir.h"
#include "reader/device_reader_thread.h"
#include "settings/scanner_settings.h"

namespace {

using Clock = std::chrono::steady_clock;

pid_t spawn(const std::vector<std::string>& argv) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        std::vector<char*> args;
        for (const auto& a : argv) {
            args.push_back(const_cast<char*>(a.c_str()));
        }
        args.push_back(nullptr);
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    return pid;
}

void stop(pid_t& pid) {
    if (pid > 0) {
        ::kill(pid, SIGTERM);
        ::waitpid(pid, nullptr, 0);
        pid = -1;
    }
}

template <typename Condition>
bool waitFor(Condition condition, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    const auto end = Clock::now() + limit;
    while (!condition()) {
        if (Clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

class PortalSink : public ::testing::Test {
protected:
    void SetUp() override {
        if (::access("/usr/bin/dbus-daemon", X_OK) != 0 ||
            std::system("/usr/bin/python3 -c 'import dbusmock' 2>/dev/null") != 0) {
            GTEST_SKIP() << "needs dbus-daemon and python3-dbusmock";
        }
        const std::string socket = dir / "bus";
        // No service directory but an empty one of our own: the standard session bus would start
        // a real xdg-desktop-portal, where one is installed, whenever the mock is down.
        const std::string services = dir / "services";
        ::mkdir(services.c_str(), 0700);
        std::ofstream(dir / "bus.conf")
            << "<busconfig><type>session</type><listen>unix:path=" << socket
            << "</listen><servicedir>" << services
            << "</servicedir><policy context='default'><allow send_destination='*'/>"
               "<allow eavesdrop='true'/><allow own='*'/></policy></busconfig>\n";
        bus = spawn({"/usr/bin/dbus-daemon", "--config-file=" + (dir / "bus.conf"), "--nofork",
                     "--nopidfile"});
        ASSERT_TRUE(waitFor([&] { return ::access(socket.c_str(), F_OK) == 0; }));
        ::setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + socket).c_str(), 1);
        ::setenv("PELMORA_CONFIG", (dir / "pelmora.conf").c_str(), 1);
        ::setenv("PELMORA_LAYOUT", "de", 1);
    }
    void TearDown() override {
        sink.reset();
        stop(mock);
        stop(bus);
        ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
        ::unsetenv("PELMORA_CONFIG");
        ::unsetenv("PELMORA_LAYOUT");
    }

    void startMock(const std::string& parameters) {
        log = dir / ("mock" + std::to_string(++mocks) + ".log");
        mock = spawn({"/usr/bin/python3", "-m", "dbusmock", "--session", "--template",
                      PELMORA_PORTAL_TEMPLATE, "--parameters", parameters, "-l", log});
    }
    // Makes the sink once the mock has its name on the bus.
    void makeSink() {
        std::string error;
        ASSERT_TRUE(waitFor([&] {
            sink = makePortalKeySink(error, [this](const std::string& text) {
                std::lock_guard<std::mutex> lock(mutex);
                reports.push_back(text);
            });
            return sink != nullptr;
        })) << error;
    }
    int reportsWith(const std::string& part) {
        std::lock_guard<std::mutex> lock(mutex);
        int n = 0;
        for (const auto& r : reports) {
            n += r.find(part) != std::string::npos;
        }
        return n;
    }
    std::vector<std::string> logLines(const std::string& method) const {
        std::vector<std::string> lines;
        std::istringstream in(testutil::readAll(log));
        std::string line;
        while (std::getline(in, line)) {
            if (line.find(" " + method + " ") != std::string::npos) {
                lines.push_back(line.substr(line.find(method)));
            }
        }
        return lines;
    }
    // The key codes and states of the NotifyKeyboardKeycode calls: "21 1", "21 0", ..., after
    // the two Shift taps that open each session unless `withWarmUp`.
    std::vector<std::string> typed(bool withWarmUp = false) const {
        std::vector<std::string> out;
        for (const std::string& line : logLines("NotifyKeyboardKeycode")) {
            if (line.find("} ") != std::string::npos) {  // not the mock's "raised" lines
                out.push_back(line.substr(line.find("} ") + 2));
            }
        }
        const std::vector<std::string> warmUp{"42 1", "42 0", "42 1", "42 0"};
        if (!withWarmUp && out.size() >= warmUp.size() &&
            std::equal(warmUp.begin(), warmUp.end(), out.begin())) {
            out.erase(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(warmUp.size()));
        }
        return out;
    }
    // What is wrong with the key events in order: a release of a key not down, a second press
    // of a key already down, keys left down at the end. Empty when nothing.
    std::string keyFaults() const {
        std::vector<std::string> down;
        std::string faults;
        for (const std::string& event : typed(true)) {
            const std::string key = event.substr(0, event.find(' '));
            const bool press = event.back() == '1';
            const auto at = std::find(down.begin(), down.end(), key);
            if (press == (at != down.end())) {
                faults += (press ? " pressed twice: " : " released while up: ") + key;
            }
            if (press) {
                down.push_back(key);
            } else if (at != down.end()) {
                down.erase(at);
            }
        }
        for (const std::string& key : down) {
            faults += " left down: " + key;
        }
        return faults;
    }
    void block(const std::string& text) {
        sink->beginBlock();
        for (const unsigned char c : text) {
            sink->sendKey(c);
        }
        sink->endBlock();
    }

    testutil::TempDir dir;
    pid_t bus = -1;
    pid_t mock = -1;
    int mocks = 0;
    std::string log;
    std::unique_ptr<platform::KeySink> sink;
    std::mutex mutex;
    std::vector<std::string> reports;
};

TEST_F(PortalSink, ConsentOnceThenTheStoredTokenIsOfferedAndTypingSurvivesAPortalRestart) {
    startMock(R"({"version": 2, "restore-token": "secret"})");
    ASSERT_NO_FATAL_FAILURE(makeSink());
    ASSERT_TRUE(waitFor([&] { return reportsWith("typing through the desktop portal") == 1; }));
    // z, ä (Y and ' keys on de); ^ is a dead key on de and DEL is no character a layout types:
    // neither is sent.
    block("z\xE4^\x7F");
    const std::vector<std::string> expected{"21 1", "21 0", "40 1", "40 0"};
    ASSERT_TRUE(waitFor([&] { return typed().size() >= 4; })) << testutil::readAll(log);
    EXPECT_EQ(typed(), expected);
    EXPECT_EQ(reportsWith("U+005E '^'"), 1);
    block("^");
    EXPECT_EQ(reportsWith("U+005E '^'"), 1) << "said once";

    const std::string tokenFile = dir / "pelmora.conf.portal-token";
    EXPECT_EQ(platform::portalTokenPath(), tokenFile);
    EXPECT_EQ(testutil::readAll(tokenFile), "secret-1\n");
    struct stat st {};
    ASSERT_EQ(::stat(tokenFile.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(logLines("SelectDevices").size(), 1u);
    EXPECT_NE(logLines("SelectDevices")[0].find("\"persist_mode\": 2"), std::string::npos)
        << logLines("SelectDevices")[0];
    EXPECT_EQ(logLines("SelectDevices")[0].find("restore_token"), std::string::npos);

    // The portal goes away: said once, nothing queued, and a new portal gets a new session with
    // the stored token at the next block.
    stop(mock);
    ASSERT_TRUE(waitFor([&] { return reportsWith("went away") + reportsWith("ended") >= 1; }));
    // Scans while it is away retry and fail alike: that is said once.
    for (int i = 0; i < 4; ++i) {
        block("x");
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_EQ(reportsWith("CreateSession"), 1);
    startMock(R"({"version": 2, "restore-token": "again"})");
    ASSERT_TRUE(waitFor([&] {
        block("");
        return reportsWith("typing through the desktop portal") == 2;
    }));
    block("y");
    ASSERT_TRUE(waitFor([&] { return typed().size() >= 2; }));
    EXPECT_EQ(typed(), (std::vector<std::string>{"44 1", "44 0"}));
    ASSERT_EQ(logLines("SelectDevices").size(), 1u);
    EXPECT_NE(logLines("SelectDevices")[0].find("\"restore_token\": \"secret-1\""),
              std::string::npos)
        << logLines("SelectDevices")[0];
    EXPECT_EQ(testutil::readAll(tokenFile), "again-1\n");
}

// Our Shift (42) and AltGr (100) for each key, level 4 included; each event awaited, so the
// order holds. A key the portal refuses mid-character, and a sink dropped mid-scan, leave
// nothing down.
TEST_F(PortalSink, KeysAndLevelsAreOursAndNothingStaysDownOnAnyWayOut) {
    // The 1 key (2) is refused when pressed.
    startMock(R"({"version": 1, "refuse-key": 2})");
    ASSERT_NO_FATAL_FAILURE(makeSink());
    ASSERT_TRUE(waitFor([&] { return reportsWith("typing through the desktop portal") == 1; }));
    // Z at Shift, @ at AltGr, ¿ at Shift+AltGr of the ß key (12), then ¡ at level 4 of the 1 key.
    block("Z@\xBF\xA1x");
    ASSERT_TRUE(waitFor([&] { return reportsWith("refused a key") == 1; }));
    // Two Shift taps first: mutter drops a new device's first keys. A modifier stays down while
    // the next character needs it too.
    const std::vector<std::string> expected{"42 1", "42 0", "42 1",  "42 0", "42 1", "21 1",
                                            "21 0", "42 0", "100 1", "16 1", "16 0", "42 1",
                                            "12 1", "12 0", "2 1",   "42 0", "100 0"};
    EXPECT_EQ(typed(true), expected) << "x is dropped with the failed session";
    sink.reset();
    stop(mock);

    // Dropped while a long scan is being typed, each key taking 2 ms to answer.
    startMock(R"({"version": 1, "key-delay-ms": 2})");
    ASSERT_NO_FATAL_FAILURE(makeSink());
    ASSERT_TRUE(waitFor([&] { return reportsWith("typing through the desktop portal") == 2; }));
    block(std::string(300, '\xA1'));
    ASSERT_TRUE(waitFor([&] { return typed().size() >= 40; }));
    sink.reset();
    const std::size_t sent = typed().size();
    EXPECT_LT(sent, 1800u) << "stopped mid-scan";
    EXPECT_EQ(keyFaults(), "") << testutil::readAll(log);
}

TEST_F(PortalSink, DeclinedDialogTypesNothingAndTheReaderKeepsReading) {
    // Version 1 (Debian 12's portal): no persistence asked for, no token kept.
    startMock(R"({"version": 1, "start-response": 1, "start-delay-ms": 1500})");
    ASSERT_NO_FATAL_FAILURE(makeSink());
    auto store = std::make_shared<util::MemorySettingsStore>();
    store->writeInteger("", "bSkipFirstChar", 0);
    theConfig.setStore(store);
    auto serial = std::make_shared<fakes::SerialLog>();
    DeviceReaderThread reader(std::make_unique<fakes::FakeSerialApi>(serial), std::move(sink));
    const auto scan = [&](const std::string& text) {
        std::lock_guard<std::mutex> guard(serial->mutex);
        serial->reads_queue.push_back({true, {text.begin(), text.end()}});
        serial->changed.notify_all();
    };
    const auto lastScan = [&] { return std::string(reader.getLastScanned().t_str()); };
    reader.start();
    // While the dialog is up (1.5 s), scans are read and recorded at once, and not typed.
    scan("abc");
    EXPECT_TRUE(waitFor([&] { return lastScan() == "abc"; }, std::chrono::milliseconds(1000)))
        << lastScan();
    EXPECT_EQ(reportsWith("waiting for the desktop's permission"), 1);
    ASSERT_TRUE(waitFor([&] { return reportsWith("declined") == 1; }));
    for (const char* code : {"def", "ghi", "jkl"}) {
        scan(code);
        EXPECT_TRUE(waitFor([&] { return lastScan() == code; })) << lastScan();
    }
    reader.stop(true);
    EXPECT_TRUE(typed().empty()) << testutil::readAll(log);
    EXPECT_EQ(reportsWith("declined"), 1);
    EXPECT_EQ(reportsWith("typing through"), 0);
    EXPECT_EQ(logLines("Start").size(), 1u) << "no new dialog right after a refusal";
    ASSERT_EQ(logLines("SelectDevices").size(), 1u);
    EXPECT_EQ(logLines("SelectDevices")[0].find("persist_mode"), std::string::npos);
    EXPECT_NE(::access((dir / "pelmora.conf.portal-token").c_str(), F_OK), 0);
}

TEST_F(PortalSink, NoPortalOnTheBusIsAnErrorAtOnce) {
    std::string error;
    const auto t0 = Clock::now();
    EXPECT_EQ(makePortalKeySink(error, {}), nullptr);
    EXPECT_LT(Clock::now() - t0, std::chrono::seconds(3));
    EXPECT_NE(error.find("RemoteDesktop"), std::string::npos) << error;
}

}  // namespace
