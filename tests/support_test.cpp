#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "support/vl_app_config.h"
#include "support/vl_object.h"
#include "support/vl_string.h"

using vantel::VLString;

TEST(VLString, AppendIntStoresTheLowByteWhateverTheSign) {
    VLString a;
    a += 0xE9;
    VLString b;
    b += -23;  // 0xE9 widened with its sign
    VLString c;
    c += 0x1E9;  // only the low 8 bits count
    ASSERT_EQ(a.length(), 1u);
    EXPECT_EQ(static_cast<unsigned char>(a.t_str()[0]), 0xE9);
    EXPECT_EQ(a, b);
    EXPECT_EQ(a, c);
}

TEST(VLString, KeepsEveryByteIncludingNulAndHighBytes) {
    VLString s;
    for (int byte = 0; byte < 256; ++byte) {
        s += byte;
    }
    ASSERT_EQ(s.length(), 256u);
    for (int byte = 0; byte < 256; ++byte) {
        EXPECT_EQ(static_cast<unsigned char>(s.bytes()[static_cast<std::size_t>(byte)]), byte);
    }
}

TEST(VLString, CopiesAreIndependent) {
    VLString source("abc");
    VLString copy(source);
    VLString assigned;
    assigned = source;
    source += "def";
    source = "changed";
    EXPECT_STREQ(copy.t_str(), "abc");
    EXPECT_STREQ(assigned, "abc");
}

TEST(VLString, StartsWithIgnoringCase) {
    const VLString::caseCompare ic = VLString::ignoreCase;
    EXPECT_TRUE(VLString("COM1").startsWith("com", ic));
    EXPECT_TRUE(VLString("com1").startsWith("COM", ic));
    EXPECT_TRUE(VLString("Com3").startsWith("cOm", ic));
    EXPECT_TRUE(VLString("com").startsWith("COM", ic));
    EXPECT_FALSE(VLString("co").startsWith("com", ic));
    EXPECT_FALSE(VLString("/dev/ttyUSB0").startsWith("com", ic));
    EXPECT_FALSE(VLString("\\\\.\\COM10").startsWith("com", ic));
    EXPECT_TRUE(VLString("anything").startsWith("", ic));
    // Bytes above ASCII are compared exactly: 0xC9 is not a capital of 0xE9 here.
    EXPECT_FALSE(VLString("\xC9").startsWith("\xE9", ic));
    EXPECT_FALSE(VLString("COM1").startsWith("com"));
}

TEST(VLString, ValueOfIsPlainDecimal) {
    EXPECT_STREQ(VLString::valueOf(0), "0");
    EXPECT_STREQ(VLString::valueOf(9600), "9600");
    EXPECT_STREQ(VLString::valueOf(256000), "256000");
    EXPECT_STREQ(VLString::valueOf(2147483647), "2147483647");
    EXPECT_STREQ(VLString::valueOf(-5), "-5");
}

TEST(VLAppInfo, VersionFormat) {
    const util::VLAppInfo info(0x1234, 0, "Pelmora", 1, 0, 3, 5);
    EXPECT_STREQ(info.version("%t v%m.%n.%r build %b"), "Pelmora v1.0.3 build 5");
    EXPECT_STREQ(info.version("%m.%n.%r.%b"), "1.0.3.5");
    EXPECT_STREQ(info.version("100%% %x %"), "100% %x %");
    EXPECT_STREQ(info.name(), "Pelmora");
}

TEST(VLAppConfig, MissingValuesReadAsTheDefaultAndWritesRoundTrip) {
    util::VLAppConfig config("Pelmora", "Vantel", "https://example.invalid");
    config.setStore(std::make_shared<util::MemorySettingsStore>());
    EXPECT_STREQ(config.getRegistryString("", "DeviceName", "COM1", vantel::currentUser), "COM1");
    EXPECT_EQ(config.getRegistryInteger("", "BaudRate", 9600, vantel::currentUser), 9600);
    config.setRegistryString("", "DeviceName", "/dev/ttyUSB0", vantel::currentUser);
    config.setRegistryInteger("", "BaudRate", -7, vantel::currentUser);
    EXPECT_STREQ(config.getRegistryString("", "DeviceName", "COM1", vantel::currentUser),
                 "/dev/ttyUSB0");
    EXPECT_EQ(config.getRegistryInteger("", "BaudRate", 9600, vantel::currentUser), -7);
    // A value is read with the pair that wrote it.
    EXPECT_EQ(config.getRegistryInteger("", "DeviceName", 4, vantel::currentUser), 4);
}

TEST(VLAppConfig, KeepsCopiesOfTheRecords) {
    util::VLAppConfig config("Pelmora", "Vantel", "https://example.invalid");
    {
        util::VLAppInfo temporary(1, 0, "Pelmora", 1, 0, 3, 5);
        config.setProductInfo(temporary);
    }
    EXPECT_STREQ(config.product().version("%t %m.%n.%r.%b"), "Pelmora 1.0.3.5");
}

TEST(VLLockableObject, LockExcludesOtherThreadsAndTimesOut) {
    vantel::VLLockableObject object;
    EXPECT_EQ(object.lock(vantel::kInfiniteTimeout), vantel::kLockAcquired);
    std::uint32_t otherResult = 99;
    std::thread other([&] { otherResult = object.lock(20); });
    other.join();
    EXPECT_EQ(otherResult, vantel::kLockTimedOut);
    object.unlock();
    std::thread third([&] {
        otherResult = object.lock(vantel::kInfiniteTimeout);
        object.unlock();
    });
    third.join();
    EXPECT_EQ(otherResult, vantel::kLockAcquired);
}

namespace {

class SleepyThread : public vantel::VLThread {
public:
    SleepyThread() : VLThread(0) {}
    int run() override {
        while (runnable()) {
            sleep(100);
            passes.fetch_add(1);
        }
        finished.store(true);
        return 0;
    }
    std::atomic<int> passes{0};
    std::atomic<bool> finished{false};
};

}  // namespace

TEST(VLThread, StopWaitsForRunToReturnAndWakesItsSleep) {
    SleepyThread thread;
    EXPECT_TRUE(thread.runnable());
    thread.start();
    while (thread.passes.load() < 2) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    thread.stop(true);
    EXPECT_TRUE(thread.finished.load());
    EXPECT_FALSE(thread.runnable());
    thread.stop(true);  // a second stop is harmless
}

TEST(VLThread, StopBeforeStartAndSleepOffThread) {
    SleepyThread thread;
    thread.stop(true);
    EXPECT_FALSE(thread.runnable());
    const auto t0 = std::chrono::steady_clock::now();
    vantel::VLThread::sleep(30);  // not a VLThread: a plain pause
    EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(30));
}
