// End to end on a private Xvfb: code units through the X11 sink into a real X client.
#include <gtest/gtest.h>

#include <random>

#include "platform/x11/x11_key_sink.h"
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

std::vector<std::uint16_t> randomLatin1(std::size_t count, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> pick(0, 190);
    std::vector<std::uint16_t> out;
    for (std::size_t i = 0; i < count; ++i) {
        const int n = pick(rng);  // 0x20-0x7E, then 0xA0-0xFF
        out.push_back(static_cast<std::uint16_t>(n < 95 ? 0x20 + n : 0xa0 + (n - 95)));
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

    void type(platform::KeySink& sink, const std::vector<std::uint16_t>& units,
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

    // Types `units` into a fresh receiver and checks it got exactly them.
    void expectTyped(const std::vector<std::uint16_t>& units,
                     const std::vector<std::string>& receiverOptions = {}) {
        xtest::Child receiver = session->startReceiver(receiverOptions);
        ASSERT_TRUE(receiver.running()) << receiver.errors();
        auto sink = makeSink();
        ASSERT_TRUE(sink);
        type(*sink, units);
        const std::string want = utf8(units);
        const std::string got = xtest::collect(receiver, want.size());
        EXPECT_EQ(got.size(), want.size());
        EXPECT_TRUE(got == want) << firstDifference(got, want);
    }

    std::unique_ptr<xtest::XSession> session;
};

TEST_F(X11Typing, EveryCodeUnitUnderUs) {
    ASSERT_TRUE(session->setLayout("us"));
    expectTyped(allTypable());
}

TEST_F(X11Typing, RandomLatin1UnderUsDeFr) {
    for (const char* layout : {"us", "de", "fr"}) {
        SCOPED_TRACE(layout);
        ASSERT_TRUE(session->setLayout(layout));
        expectTyped(randomLatin1(10000, 7));
    }
}

}  // namespace
