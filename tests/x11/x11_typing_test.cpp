// End to end on a private Xvfb: code units through the X11 sink into a real X client.
#include <gtest/gtest.h>

#include "fakes/fake_serial.h"
#include "platform/x11/x11_key_sink.h"
#include "reader/device_reader_thread.h"
#include "settings/scanner_settings.h"
#include "x11/x_session.h"
#include "x11/x_state.h"

namespace {

using xtest::utf8;

std::vector<std::uint16_t> allTypable() {
    std::vector<std::uint16_t> out;
    for (std::uint16_t c = 1; c <= 0xff; ++c) {
        if (c < 0x80 || c >= 0xa0) {
            out.push_back(c);
        }
    }
    return out;
}

// Where the first difference is, for a readable failure.
std::string firstDifference(const std::string& got, const std::string& want) {
    std::size_t i = 0;
    while (i < got.size() && i < want.size() && got[i] == want[i]) {
        ++i;
    }
    auto hex = [](const std::string& s, std::size_t from) {
        std::string out;
        for (std::size_t j = from; j < s.size() && j < from + 12; ++j) {
            char b[4];
            std::snprintf(b, sizeof b, "%02X ", static_cast<unsigned char>(s[j]));
            out += b;
        }
        return out;
    };
    return "at byte " + std::to_string(i) + " of " + std::to_string(want.size()) + ": got [" +
           hex(got, i) + "] want [" + hex(want, i) + "], received " + std::to_string(got.size());
}

class X11Typing : public ::testing::Test {
protected:
    void SetUp() override {
        session = std::make_unique<xtest::XSession>();
        if (!session->ok() && !xtest::haveProgram("Xvfb")) {
            GTEST_SKIP() << session->why();
        }
        ASSERT_TRUE(session->ok()) << session->why();
    }

    static void type(platform::KeySink& sink, const std::vector<std::uint16_t>& units,
                     std::size_t block = 32) {
        for (std::size_t i = 0; i < units.size(); i += block) {
            sink.beginBlock();
            for (std::size_t j = i; j < units.size() && j < i + block; ++j) {
                sink.sendKey(units[j]);
            }
            sink.endBlock();
        }
    }

    std::unique_ptr<platform::KeySink> makeSink() {
        std::string error;
        auto sink = platform::makeX11KeySink(error, session->display());
        EXPECT_TRUE(sink) << error;
        return sink;
    }

    // Waits for `want` in the receiver's output (beyond what it printed before) and compares.
    static void expectReceived(xtest::Child& receiver, std::size_t before,
                               const std::string& want) {
        const std::string got = xtest::collect(receiver, before + want.size()).substr(before);
        EXPECT_EQ(got.size(), want.size());
        EXPECT_TRUE(got == want) << firstDifference(got, want);
    }

    // Types `units` into a fresh receiver, checks it got exactly them, and that the server is
    // left as it was: no key down, the same locks and keymaps.
    void expectTyped(const std::vector<std::uint16_t>& units,
                     const std::vector<std::string>& receiverOptions = {}) {
        xtest::Child receiver = session->startReceiver(receiverOptions);
        ASSERT_TRUE(receiver.running()) << receiver.errors();
        xtest::XClient client(session->display());
        ASSERT_NE(client.dpy(), nullptr);
        const xtest::XState before = client.state();
        {
            auto sink = makeSink();
            ASSERT_TRUE(sink);
            type(*sink, units);
            expectReceived(receiver, 0, utf8(units));
        }
        expectRestored(client, before);
    }

    static void expectRestored(xtest::XClient& client, const xtest::XState& before) {
        const xtest::XState after = client.state();
        EXPECT_EQ(after.keysDown, 0);
        EXPECT_EQ(after.lockedMods, before.lockedMods);
        EXPECT_EQ(after.lockedGroup, before.lockedGroup);
        EXPECT_TRUE(after.xtestMap == before.xtestMap) << "XTest keymap not restored";
        EXPECT_TRUE(after.coreMap == before.coreMap) << "core keymap not restored";
    }

    std::unique_ptr<xtest::XSession> session;
};

TEST_F(X11Typing, EveryCodeUnitUnderUsDeFr) {
    for (const char* layout : {"us", "de", "fr"}) {
        SCOPED_TRACE(layout);
        ASSERT_TRUE(session->setLayout(layout));
        expectTyped(allTypable());
    }
}

TEST_F(X11Typing, RandomLatin1UnderUsDeFr) {
    for (const char* layout : {"us", "de", "fr"}) {
        SCOPED_TRACE(layout);
        ASSERT_TRUE(session->setLayout(layout));
        expectTyped(xtest::randomLatin1(10000, 7));
    }
}

TEST_F(X11Typing, CapsLockOn) {
    for (const char* layout : {"us", "de", "fr"}) {
        SCOPED_TRACE(layout);
        ASSERT_TRUE(session->setLayout(layout));
        xtest::XClient client(session->display());
        client.lockModifiers(LockMask, true);
        std::vector<std::uint16_t> units = allTypable();
        const std::vector<std::uint16_t> more = xtest::randomLatin1(2000, 11);
        units.insert(units.end(), more.begin(), more.end());
        expectTyped(units);
        EXPECT_EQ(client.state().lockedMods & LockMask, static_cast<unsigned>(LockMask));
        client.lockModifiers(LockMask, false);
    }
}

TEST_F(X11Typing, SecondLayoutGroupLocked) {
    ASSERT_TRUE(session->setLayout("us,de"));
    xtest::XClient client(session->display());
    client.lockGroup(1);
    std::vector<std::uint16_t> units = allTypable();
    const std::vector<std::uint16_t> more = xtest::randomLatin1(2000, 13);
    units.insert(units.end(), more.begin(), more.end());
    expectTyped(units);
    EXPECT_EQ(client.state().lockedGroup, 1);
}

TEST_F(X11Typing, LayoutSwitchBetweenScans) {
    ASSERT_TRUE(session->setLayout("us"));
    xtest::Child receiver = session->startReceiver();
    ASSERT_TRUE(receiver.running()) << receiver.errors();
    xtest::XClient client(session->display());
    auto sink = makeSink();
    ASSERT_TRUE(sink);
    std::size_t seen = 0;
    const char* layouts[] = {"us", "fr", "de", "us,fr"};
    for (unsigned i = 0; i < 4; ++i) {
        SCOPED_TRACE(layouts[i]);
        if (i > 0) {
            ASSERT_TRUE(session->setLayout(layouts[i]));
        }
        const std::vector<std::uint16_t> scan = xtest::randomLatin1(300, 20 + i);
        type(*sink, scan);
        expectReceived(receiver, seen, utf8(scan));
        seen = receiver.output().size();
    }
    const xtest::XState layoutOnly = [&] {
        sink.reset();
        return client.state();
    }();
    EXPECT_EQ(layoutOnly.keysDown, 0);
    // What is left is the last layout as setxkbmap made it, with nothing of ours on it.
    ASSERT_TRUE(session->setLayout("us,fr"));
    EXPECT_TRUE(client.state().xtestMap == layoutOnly.xtestMap);
}

TEST_F(X11Typing, AModifierHeldDownIsReportedOnce) {
    ASSERT_TRUE(session->setLayout("us"));
    xtest::XClient client(session->display());
    auto sink = makeSink();
    ASSERT_TRUE(sink);
    const std::string warning = "modifier keys are held down";
    const auto countIn = [&](const std::string& text) {
        std::size_t n = 0;
        for (auto at = text.find(warning); at != std::string::npos;
             at = text.find(warning, at + 1)) {
            ++n;
        }
        return n;
    };
    ::testing::internal::CaptureStderr();
    type(*sink, {'a', 'B'});  // our own Shift does not count
    EXPECT_EQ(countIn(::testing::internal::GetCapturedStderr()), 0u);

    ::testing::internal::CaptureStderr();
    client.pressKey(XK_Control_L, true);
    type(*sink, {'c'});
    type(*sink, {'d'});
    client.pressKey(XK_Control_L, false);
    type(*sink, {'e'});
    EXPECT_EQ(countIn(::testing::internal::GetCapturedStderr()), 1u);
    sink.reset();
    EXPECT_EQ(client.state().keysDown, 0);
}

TEST_F(X11Typing, BusyReceiverStalling300ms) {
    ASSERT_TRUE(session->setLayout("de"));
    expectTyped(xtest::randomLatin1(3000, 17), {"--stall-ms", "300"});
}

// The reader's forwarding flags with the real sink: a scripted port, one block per scan.
TEST_F(X11Typing, ForwardingFlagsThroughTheReader) {
    ASSERT_TRUE(session->setLayout("fr"));
    auto store = std::make_shared<util::MemorySettingsStore>();
    theConfig.setStore(store);
    xtest::Child receiver = session->startReceiver();
    ASSERT_TRUE(receiver.running()) << receiver.errors();
    std::size_t seen = 0;
    struct Case {
        int skip;
        int enter;
        std::vector<std::uint16_t> typed;
    };
    const Case cases[] = {{0, 0, {'A', 0xe9, 'C'}},
                          {1, 0, {0xe9, 'C'}},
                          {0, 1, {'A', 0xe9, 'C', '\r'}},
                          {1, 1, {0xe9, 'C', '\r'}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.skip) + std::to_string(c.enter));
        store->writeString("", ScannerSettings::DeviceName.name, "/dev/fake-scanner");
        store->writeInteger("", ScannerSettings::bSkipFirstChar.name, c.skip);
        store->writeInteger("", ScannerSettings::bCRLF.name, c.enter);
        auto serial = std::make_shared<fakes::SerialLog>();
        serial->reads_queue.push_back({true, {'A', 0xe9, 'C'}});
        std::string error;
        auto sink = platform::makeX11KeySink(error, session->display());
        ASSERT_TRUE(sink) << error;
        DeviceReaderThread reader(std::make_unique<fakes::FakeSerialApi>(serial), std::move(sink));
        reader.start();
        expectReceived(receiver, seen, utf8(c.typed));
        seen = receiver.output().size();
        reader.stop(true);
    }
}

}  // namespace
