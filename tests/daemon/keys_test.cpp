// The uinput key table and event stream, the stdout sink, and how the session's sink is chosen.
#include <gtest/gtest.h>
#include <linux/input.h>
#include <poll.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <set>
#include <string>

#include "fakes/recording_sink.h"
#include "platform/keys/key_sinks.h"
#include "platform/keys/stdout_key_sink.h"
#include "platform/uinput/uinput_key_sink.h"
#include "platform/uinput/us_keymap.h"

using platform::usKeyFor;

namespace {

TEST(UsKeymap, TypesPrintableAsciiAndKeyedControlsOnly) {
    // DEL is no key: the Delete key would delete the character after the cursor.
    const std::set<int> keyedControls{8, 9, 10, 13, 27};
    for (int unit = 0; unit <= 0xFFFF; ++unit) {
        const bool printable = unit >= 0x20 && unit <= 0x7E;
        const bool expected = printable || keyedControls.count(unit) != 0;
        EXPECT_EQ(usKeyFor(static_cast<std::uint16_t>(unit)).has_value(), expected)
            << "code unit " << unit;
    }
}

TEST(UsKeymap, KnownKeys) {
    struct Case {
        char c;
        std::uint16_t code;
        bool shift;
    } cases[] = {
        {'a', KEY_A, false},         {'Z', KEY_Z, true},          {'0', KEY_0, false},
        {')', KEY_0, true},          {' ', KEY_SPACE, false},     {'\r', KEY_ENTER, false},
        {'\n', KEY_LINEFEED, false}, {'\t', KEY_TAB, false},      {'\b', KEY_BACKSPACE, false},
        {'\x1b', KEY_ESC, false},    {'/', KEY_SLASH, false},     {'?', KEY_SLASH, true},
        {'~', KEY_GRAVE, true},      {'"', KEY_APOSTROPHE, true}, {'|', KEY_BACKSLASH, true}};
    for (const Case& k : cases) {
        const auto key = usKeyFor(static_cast<unsigned char>(k.c));
        ASSERT_TRUE(key.has_value()) << int(k.c);
        EXPECT_EQ(key->code, k.code) << int(k.c);
        EXPECT_EQ(key->shift, k.shift) << int(k.c);
    }
}

TEST(UsKeymap, ShiftPairsShareTheirKeyAsOnAUsKeyboard) {
    const std::string pairs = "1!2@3#4$5%6^7&8*9(0)-_=+[{]}\\|;:'\"`~,<.>/?";
    std::string withLetters = pairs;
    for (char c = 'a'; c <= 'z'; ++c) {
        withLetters += c;
        withLetters += static_cast<char>(c - 'a' + 'A');
    }
    for (std::size_t i = 0; i + 1 < withLetters.size(); i += 2) {
        const auto plain = usKeyFor(static_cast<unsigned char>(withLetters[i]));
        const auto shifted = usKeyFor(static_cast<unsigned char>(withLetters[i + 1]));
        ASSERT_TRUE(plain && shifted) << withLetters.substr(i, 2);
        EXPECT_EQ(plain->code, shifted->code) << withLetters.substr(i, 2);
        EXPECT_FALSE(plain->shift) << withLetters[i];
        EXPECT_TRUE(shifted->shift) << withLetters[i + 1];
    }
}

TEST(UsKeymap, EveryCharacterHasItsOwnKeyAndTheDeviceDeclaresIt) {
    const auto declared = platform::usKeyboardKeyCodes();
    const std::set<std::uint16_t> declaredSet(declared.begin(), declared.end());
    EXPECT_EQ(declaredSet.size(), declared.size()) << "duplicate key codes";
    EXPECT_EQ(declaredSet.count(KEY_LEFTSHIFT), 1u);
    std::map<std::pair<std::uint16_t, bool>, int> seen;
    for (int unit = 0; unit < 256; ++unit) {
        if (auto key = usKeyFor(static_cast<std::uint16_t>(unit))) {
            EXPECT_EQ(declaredSet.count(key->code), 1u) << unit;
            EXPECT_NE(key->code, KEY_LEFTSHIFT) << unit;
            const auto [it, fresh] = seen.emplace(std::make_pair(key->code, key->shift), unit);
            EXPECT_TRUE(fresh) << unit << " and " << it->second << " share a key";
        }
    }
}

// Reads what a UinputKeySink wrote to a pipe and replays it on a model US keyboard.
class UinputStream : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(::pipe(fds), 0);
        sink = std::make_unique<platform::UinputKeySink>(
            fds[1], false, std::chrono::steady_clock::now(), platform::EventPacer::unpaced());
    }
    void TearDown() override {
        sink.reset();  // closes the write end
        ::close(fds[0]);
    }
    std::vector<input_event> drain() {
        sink->endBlock();
        std::vector<input_event> events;
        input_event e;
        while (true) {
            pollfd p{fds[0], POLLIN, 0};
            if (::poll(&p, 1, 0) != 1) {
                break;
            }
            EXPECT_EQ(::read(fds[0], &e, sizeof e), static_cast<ssize_t>(sizeof e));
            events.push_back(e);
        }
        return events;
    }
    int fds[2];
    std::unique_ptr<platform::UinputKeySink> sink;
};

TEST_F(UinputStream, ShiftedCharacterIsShiftKeyAndReleaseInSeparateReports) {
    sink->beginBlock();
    sink->sendKey('A');
    const auto events = drain();
    const std::vector<std::tuple<int, int, int>> expected = {
        {EV_KEY, KEY_LEFTSHIFT, 1}, {EV_SYN, SYN_REPORT, 0}, {EV_KEY, KEY_A, 1},
        {EV_SYN, SYN_REPORT, 0},    {EV_KEY, KEY_A, 0},      {EV_SYN, SYN_REPORT, 0},
        {EV_KEY, KEY_LEFTSHIFT, 0}, {EV_SYN, SYN_REPORT, 0}};
    ASSERT_EQ(events.size(), expected.size());
    for (std::size_t i = 0; i < events.size(); ++i) {
        EXPECT_EQ(std::make_tuple(int(events[i].type), int(events[i].code), events[i].value),
                  expected[i])
            << "event " << i;
    }
}

TEST_F(UinputStream, UntypableUnitsWriteNothing) {
    sink->beginBlock();
    for (std::uint16_t unit : {0x00, 0x01, 0x1D, 0x80, 0xE9, 0xFF, 0x100}) {
        sink->sendKey(unit);
    }
    EXPECT_TRUE(drain().empty());
}

TEST_F(UinputStream, RandomAsciiReplaysToTheSameTextWithNothingLeftDown) {
    // Inverse of the table: what a US keyboard types for a key with or without Shift.
    std::map<std::pair<std::uint16_t, bool>, char> typed;
    for (int unit = 0; unit < 128; ++unit) {
        if (auto key = usKeyFor(static_cast<std::uint16_t>(unit))) {
            typed[{key->code, key->shift}] = static_cast<char>(unit);
        }
    }
    std::mt19937 random(7);
    std::string text;
    for (int i = 0; i < 200; ++i) {
        text += static_cast<char>(0x20 + random() % 95);
    }
    std::string replayed;
    std::set<int> down;
    for (std::size_t start = 0; start < text.size(); start += 32) {
        sink->beginBlock();
        for (std::size_t i = start; i < std::min(text.size(), start + 32); ++i) {
            sink->sendKey(static_cast<unsigned char>(text[i]));
        }
        for (const input_event& e : drain()) {
            if (e.type != EV_KEY) {
                continue;
            }
            if (e.value == 1) {
                EXPECT_EQ(down.count(e.code), 0u) << "pressed twice: " << e.code;
                down.insert(e.code);
                if (e.code != KEY_LEFTSHIFT) {
                    replayed += typed.at({e.code, down.count(KEY_LEFTSHIFT) != 0});
                }
            } else {
                EXPECT_EQ(down.erase(e.code), 1u) << "released while up: " << e.code;
            }
        }
    }
    EXPECT_EQ(replayed, text);
    EXPECT_TRUE(down.empty());
}

TEST(UinputDevice, MissingOrWrongDeviceSaysHowToFixIt) {
    std::string error;
    EXPECT_EQ(platform::makeUinputKeySink(error, "/nonexistent/uinput"), nullptr);
    EXPECT_NE(error.find("/nonexistent/uinput"), std::string::npos) << error;
    EXPECT_NE(error.find("modprobe uinput"), std::string::npos) << error;

    char path[] = "/tmp/pelmora-not-uinput-XXXXXX";
    const int fd = ::mkstemp(path);
    ASSERT_GE(fd, 0);
    ::close(fd);
    error.clear();
    EXPECT_EQ(platform::makeUinputKeySink(error, path), nullptr);
    EXPECT_NE(error.find("not a usable uinput device"), std::string::npos) << error;
    ::unlink(path);

    const std::string denied = platform::uinputAccessAdvice(EACCES, "/dev/uinput");
    EXPECT_NE(denied.find("udev"), std::string::npos) << denied;
    EXPECT_NE(denied.find("KERNEL==\"uinput\""), std::string::npos) << denied;
    EXPECT_NE(denied.find("usermod -aG input"), std::string::npos) << denied;
}

// The stdout sink, writing to a temporary file.
class StdoutSink : public ::testing::Test {
protected:
    void SetUp() override {
        file = std::tmpfile();
        ASSERT_NE(file, nullptr);
        sink = std::make_unique<platform::StdoutKeySink>(file);
    }
    void TearDown() override { std::fclose(file); }
    void block(const std::string& bytes, bool enter) {
        sink->beginBlock();
        for (unsigned char c : bytes) {
            sink->sendKey(c);
        }
        if (enter) {
            sink->sendKey(13);
        }
        sink->endBlock();
    }
    // What has reached the file so far, without closing it.
    std::string written() {
        const long end = std::ftell(file);
        std::string text(static_cast<std::size_t>(end), '\0');
        std::rewind(file);
        EXPECT_EQ(std::fread(text.data(), 1, text.size(), file), text.size());
        std::fseek(file, 0, SEEK_END);
        return text;
    }
    std::FILE* file = nullptr;
    std::unique_ptr<platform::StdoutKeySink> sink;
};

TEST_F(StdoutSink, OneLinePerScanWhateverTheScannerSuffix) {
    block("ABC", true);
    EXPECT_EQ(written(), "ABC\n") << "flushed at the end of the block";
    block("4006381333931\r", true);
    block("X\r\n", true);
    block("Y\n", false);
    block("Z", false);
    block("", true);
    block("LONG\r", false);  // a scan's Enter in a block of its own, after the scanner's CR
    block("", true);
    EXPECT_EQ(written(), "ABC\n4006381333931\nX\nY\nZ\nLONG\n");
}

TEST_F(StdoutSink, BytesAreWrittenAsReceived) {
    const std::string latin1 =
        std::string("Caf\xE9 \xC4\xD6\xDC", 8) + std::string(1, '\0') + "\x1D" + "\xFF";
    block(latin1, true);
    sink->beginBlock();
    sink->sendKey(0x20AC);  // cannot come from a byte
    sink->endBlock();
    EXPECT_EQ(written(), latin1 + "\n");
}

TEST_F(StdoutSink, LineEndsInsideABlockSeparateLines) {
    block("A\rB\r\nC\n\nD", true);
    EXPECT_EQ(written(), "A\nB\nC\nD\n");
}

TEST(StdoutSinkOutput, ClosedPipeIsReportedOnce) {
    std::signal(SIGPIPE, SIG_IGN);
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    ::close(fds[0]);
    std::FILE* out = ::fdopen(fds[1], "w");
    ASSERT_NE(out, nullptr);
    int reports = 0;
    platform::StdoutKeySink sink(out, [&reports] { ++reports; });
    for (int i = 0; i < 3; ++i) {
        sink.beginBlock();
        sink.sendKey('1');
        sink.sendKey(13);
        sink.endBlock();
    }
    EXPECT_EQ(reports, 1);
    std::fclose(out);
}

// Sink choice, with factories that record whether they were asked.
struct FakeFactory {
    bool works;
    std::string reason;
    int calls = 0;
    std::shared_ptr<fakes::KeyLog> log = std::make_shared<fakes::KeyLog>();
    platform::SinkFactory make() {
        return [this](std::string& error) -> std::unique_ptr<platform::KeySink> {
            ++calls;
            if (!works) {
                error = reason;
                return nullptr;
            }
            return std::make_unique<fakes::RecordingKeySink>(log);
        };
    }
};

struct ChoiceCase {
    bool wayland, display;
    const char* works;     // kinds whose factory succeeds, e.g. "portal uinput"
    const char* expected;  // kind, or nullptr for an error
    const char* tried;     // the factories called, in order
    const char* passed;    // expected in the passed-over text
};

TEST(SinkChoice, OrderFollowsTheSession) {
    const ChoiceCase cases[] = {
        // X session: XTest, else uinput; the Wayland kinds are never tried.
        {false, true, "wayland portal uinput x11", "x11", "x11", "wayland: not a Wayland session"},
        {false, true, "uinput", "uinput", "x11 uinput", "x11: x11 broke"},
        {false, false, "x11 uinput", "uinput", "uinput", "x11: no X display"},  // text console
        // Wayland: the virtual keyboard, else the portal, else uinput, else Xwayland.
        {true, true, "wayland portal uinput x11", "wayland", "wayland",
         "portal: not tried, wayland comes first"},
        {true, true, "portal uinput x11", "portal", "wayland portal", "wayland: wayland broke"},
        {true, true, "uinput x11", "uinput", "wayland portal uinput", "portal: portal broke"},
        {true, true, "x11", "x11", "wayland portal uinput x11", "uinput: uinput broke"},
        {true, false, "x11", nullptr, "wayland portal uinput", "x11: no X display"},
        {false, true, "", nullptr, "x11 uinput", "portal: not a Wayland session"},
    };
    for (const ChoiceCase& c : cases) {
        std::string tried;
        auto factory = [&c, &tried](const std::string& kind) -> platform::SinkFactory {
            return [&c, &tried, kind](std::string& error) -> std::unique_ptr<platform::KeySink> {
                tried += (tried.empty() ? "" : " ") + kind;
                if ((" " + std::string(c.works) + " ").find(" " + kind + " ") ==
                    std::string::npos) {
                    error = kind + " broke";
                    return nullptr;
                }
                return std::make_unique<platform::NullKeySink>();
            };
        };
        const platform::SinkFactories factories{factory("wayland"), factory("portal"),
                                                factory("uinput"), factory("x11")};
        std::string error;
        std::string chosen;
        std::string passed;
        auto sink =
            platform::chooseKeySink({c.wayland, c.display}, factories, error, &chosen, &passed);
        const std::string label = std::string("wayland=") + (c.wayland ? "1" : "0") +
                                  " display=" + (c.display ? "1" : "0") + " works=" + c.works;
        EXPECT_EQ(tried, c.tried) << label;
        if (c.expected != nullptr) {
            ASSERT_NE(sink, nullptr) << label;
            EXPECT_EQ(chosen, c.expected) << label;
            EXPECT_EQ(passed.find(std::string(c.expected) + ":"), std::string::npos) << passed;
        } else {
            EXPECT_EQ(sink, nullptr) << label;
            EXPECT_NE(error.find("no way to type"), std::string::npos) << error;
        }
        const std::string& text = c.expected != nullptr ? passed : error;
        EXPECT_NE(text.find(c.passed), std::string::npos) << label << ": " << text;
        for (const char* kind : {"wayland", "portal", "uinput", "x11"}) {
            if (c.expected == nullptr || chosen != kind) {
                EXPECT_NE(text.find(std::string(kind) + ": "), std::string::npos)
                    << label << ": " << kind << " missing from " << text;
            }
        }
    }
}

TEST(SinkChoice, AKindThisBuildLacksIsPassedOverAsNotBuilt) {
    platform::SinkFactories factories;
    factories.uinput = [](std::string&) -> std::unique_ptr<platform::KeySink> {
        return std::make_unique<platform::NullKeySink>();
    };
    std::string error;
    std::string chosen;
    std::string passed;
    EXPECT_NE(platform::chooseKeySink({true, false}, factories, error, &chosen, &passed), nullptr);
    EXPECT_EQ(chosen, "uinput");
    EXPECT_NE(passed.find("wayland: not built; portal: not built"), std::string::npos) << passed;
}

TEST(SinkChoice, SessionFromEnvironment) {
    ::setenv("DISPLAY", ":5", 1);
    ::unsetenv("WAYLAND_DISPLAY");
    ::setenv("XDG_SESSION_TYPE", "x11", 1);
    auto s = platform::detectSession();
    EXPECT_TRUE(s.x11);
    EXPECT_FALSE(s.wayland);
    ::setenv("DISPLAY", "", 1);
    ::setenv("XDG_SESSION_TYPE", "wayland", 1);
    s = platform::detectSession();
    EXPECT_FALSE(s.x11);
    EXPECT_TRUE(s.wayland);
    ::unsetenv("XDG_SESSION_TYPE");
    ::setenv("WAYLAND_DISPLAY", "wayland-0", 1);
    EXPECT_TRUE(platform::detectSession().wayland);
    ::unsetenv("WAYLAND_DISPLAY");
    ::unsetenv("DISPLAY");
}

TEST(DeferredSink, BuildsOnFirstUseRetriesAndReportsEachNewErrorOnce) {
    FakeFactory real{false, "display not up"};
    std::vector<std::string> reports;
    platform::DeferredKeySink sink(real.make(),
                                   [&reports](const std::string& e) { reports.push_back(e); });
    EXPECT_EQ(real.calls, 0) << "creation must not connect";
    for (int i = 0; i < 3; ++i) {
        sink.beginBlock();
        sink.sendKey('x');
        sink.endBlock();
    }
    EXPECT_EQ(real.calls, 3) << "one attempt per block";
    EXPECT_EQ(reports, std::vector<std::string>{"display not up"});
    real.works = true;
    sink.beginBlock();
    sink.sendKey('o');
    sink.sendKey('k');
    sink.endBlock();
    sink.beginBlock();
    sink.sendKey('!');
    sink.endBlock();
    EXPECT_EQ(real.calls, 4);
    EXPECT_EQ(real.log->snapshot(), (std::vector<std::uint16_t>{'o', 'k', '!'}));
    EXPECT_EQ(real.log->blocksBegun, 2);
    EXPECT_EQ(real.log->blocksEnded, 2);
}

// A sink whose compositor goes away after `lives` blocks.
class FailingSink : public platform::KeySink {
public:
    FailingSink(int lives, std::shared_ptr<fakes::KeyLog> log) : m_lives(lives), m_log(log) {}
    void beginBlock() override { --m_lives; }
    void sendKey(std::uint16_t c) override {
        if (m_lives >= 0) {
            m_log->keys.push_back(c);
        }
    }
    std::string failure() const override { return m_lives < 0 ? "compositor gone" : ""; }

private:
    int m_lives;
    std::shared_ptr<fakes::KeyLog> m_log;
};

TEST(DeferredSink, ASinkThatFailsIsReportedOnceAndMadeAgainInTheSameBlock) {
    auto log = std::make_shared<fakes::KeyLog>();
    int made = 0;
    bool compositorUp = true;
    std::vector<std::string> reports;
    platform::DeferredKeySink sink(
        [&](std::string& error) -> std::unique_ptr<platform::KeySink> {
            ++made;
            if (!compositorUp) {
                error = "no compositor";
                return nullptr;
            }
            return std::make_unique<FailingSink>(1, log);
        },
        [&reports](const std::string& e) { reports.push_back(e); },
        std::make_unique<FailingSink>(1, log));
    auto block = [&sink](std::uint16_t c) {
        sink.beginBlock();
        sink.sendKey(c);
        sink.endBlock();
    };
    block('a');  // the initial sink types
    compositorUp = false;
    block('b');  // it fails at the start of the block; no new one can be made
    block('c');
    compositorUp = true;
    block('d');  // made again
    block('e');  // that one fails too: replaced within the block
    EXPECT_EQ(log->snapshot(), (std::vector<std::uint16_t>{'a', 'd', 'e'}));
    EXPECT_EQ(reports, (std::vector<std::string>{"compositor gone", "no compositor", "typing again",
                                                 "compositor gone", "typing again"}));
    EXPECT_EQ(made, 4);
}

TEST(KeySinkByName, UnknownKindIsRefused) {
    std::string error;
    EXPECT_EQ(platform::makeKeySink("carrier-pigeon", error), nullptr);
    EXPECT_NE(error.find("auto|wayland|portal|uinput|x11|stdout"), std::string::npos) << error;
    EXPECT_NE(platform::makeKeySink("stdout", error), nullptr);
}

}  // namespace
