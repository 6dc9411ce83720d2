#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "fakes/fake_serial.h"
#include "fakes/recording_sink.h"
#include "reader/device_reader_thread.h"
#include "reader/own_window_focus.h"
#include "settings/scanner_settings.h"

using namespace std::chrono_literals;
using vantel::VLString;

namespace {

template <typename Pred>
bool waitFor(Pred pred, std::chrono::milliseconds limit = 5000ms) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

std::vector<unsigned char> bytes(const std::string& s) {
    return {s.begin(), s.end()};
}

class Reader : public ::testing::Test {
protected:
    void SetUp() override {
        store = std::make_shared<util::MemorySettingsStore>();
        theConfig.setStore(store);
        serial = std::make_shared<fakes::SerialLog>();
        keys = std::make_shared<fakes::KeyLog>();
        reader =
            std::make_unique<DeviceReaderThread>(std::make_unique<fakes::FakeSerialApi>(serial),
                                                 std::make_unique<fakes::RecordingKeySink>(keys));
    }
    void TearDown() override {
        if (reader) {
            reader->stop(true);
        }
    }

    void setString(const char* name, const char* value) { store->writeString("", name, value); }
    void setInt(const char* name, int value) { store->writeInteger("", name, value); }

    void queue(fakes::ReadResult r) {
        std::lock_guard<std::mutex> guard(serial->mutex);
        serial->reads_queue.push_back(std::move(r));
        serial->changed.notify_all();
    }
    bool queueDrained() {
        std::lock_guard<std::mutex> guard(serial->mutex);
        return serial->reads_queue.empty();
    }
    int readsSoFar() {
        std::lock_guard<std::mutex> guard(serial->mutex);
        return serial->reads;
    }
    std::vector<std::string> opened() {
        std::lock_guard<std::mutex> guard(serial->mutex);
        return serial->opened;
    }
    platform::Dcb lastDcb() {
        std::lock_guard<std::mutex> guard(serial->mutex);
        return serial->lastDcb.value_or(platform::Dcb{});
    }
    // Starts the reader and waits for the first connect to settle.
    void startAndWaitFor(ReaderState state) {
        reader->start();
        ASSERT_TRUE(waitFor([&] { return reader->getLoopCount() >= 1; }));
        ASSERT_EQ(reader->getState(), state);
    }
    // Queues a block and waits until the reader has handled it and asked for the next one.
    void scan(const std::string& block) {
        int before;
        {
            std::lock_guard<std::mutex> guard(serial->mutex);
            before = serial->delivered;
        }
        queue({true, bytes(block)});
        ASSERT_TRUE(waitFor([&] {
            std::lock_guard<std::mutex> guard(serial->mutex);
            return serial->delivered > before && serial->reads > serial->readsAtDelivery;
        }));
    }

    std::shared_ptr<util::MemorySettingsStore> store;
    std::shared_ptr<fakes::SerialLog> serial;
    std::shared_ptr<fakes::KeyLog> keys;
    std::unique_ptr<DeviceReaderThread> reader;
};

}  // namespace

TEST_F(Reader, AccessorsBeforeStart) {
    EXPECT_EQ(reader->getState(), Connecting);
    EXPECT_STREQ(reader->getDeviceName(), "");
    EXPECT_STREQ(reader->getLastScanned(), "");
    EXPECT_EQ(reader->getLoopCount(), 0);
    EXPECT_FALSE(reader->isOpen());
}

TEST_F(Reader, DefaultSettingsOpenCom1AsASerialPort) {
    startAndWaitFor(Reading);
    EXPECT_EQ(opened(), std::vector<std::string>{"COM1"});
    EXPECT_STREQ(reader->getDeviceName(), "COM1");
    EXPECT_TRUE(reader->isOpen());
    const platform::Dcb dcb = lastDcb();
    EXPECT_EQ(dcb.BaudRate, 9600u);
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.Parity, platform::NOPARITY);
    EXPECT_EQ(dcb.StopBits, platform::ONESTOPBIT);
    EXPECT_EQ(dcb.fParity, 1u);
    EXPECT_EQ(dcb.fOutxDsrFlow, 1u);
    EXPECT_EQ(dcb.fDtrControl, platform::DTR_CONTROL_ENABLE);
    EXPECT_EQ(dcb.fOutxCtsFlow, 0u);
    EXPECT_EQ(dcb.fInX, 1u);
    EXPECT_EQ(dcb.fOutX, 1u);
    std::lock_guard<std::mutex> guard(serial->mutex);
    ASSERT_TRUE(serial->lastTimeouts.has_value());
    EXPECT_EQ(serial->lastTimeouts->ReadIntervalTimeout, 100u);
    EXPECT_EQ(serial->lastTimeouts->ReadTotalTimeoutMultiplier, 0u);
    EXPECT_EQ(serial->lastTimeouts->ReadTotalTimeoutConstant, 1000u);
    EXPECT_EQ(serial->lastTimeouts->WriteTotalTimeoutMultiplier, 0u);
    EXPECT_EQ(serial->lastTimeouts->WriteTotalTimeoutConstant, 0u);
}

TEST_F(Reader, LineSettingsUseOnlyTheirLowBitsAndKeepOtherFields) {
    setString("DeviceName", "com3");
    setInt("BaudRate", 256000);
    setInt("Parity", 256 + 2);  // low 8 bits: even
    setInt("DataBits", 7);
    setInt("StopBits", 2);
    setInt("bParity", 2);  // lowest bit 0: checking off
    setInt("bDTR", 2);     // handshake
    setInt("bDSR", 0);
    setInt("bCTS", 3);
    setInt("bXIN", 0);
    setInt("bXOUT", 0);
    {
        std::lock_guard<std::mutex> guard(serial->mutex);
        serial->reported.XonChar = 0x11;
        serial->reported.fRtsControl = 1;
        serial->reported.fNull = 1;
        serial->reported.fBinary = 1;
    }
    startAndWaitFor(Reading);
    const platform::Dcb dcb = lastDcb();
    EXPECT_EQ(dcb.BaudRate, 256000u);
    EXPECT_EQ(dcb.Parity, platform::EVENPARITY);
    EXPECT_EQ(dcb.ByteSize, 7);
    EXPECT_EQ(dcb.StopBits, platform::TWOSTOPBITS);
    EXPECT_EQ(dcb.fParity, 0u);
    EXPECT_EQ(dcb.fDtrControl, platform::DTR_CONTROL_HANDSHAKE);
    EXPECT_EQ(dcb.fOutxDsrFlow, 0u);
    EXPECT_EQ(dcb.fOutxCtsFlow, 1u);
    EXPECT_EQ(dcb.fInX, 0u);
    EXPECT_EQ(dcb.fOutX, 0u);
    EXPECT_EQ(dcb.XonChar, 0x11);
    EXPECT_EQ(dcb.fRtsControl, 1u);
    EXPECT_EQ(dcb.fBinary, 1u);
    EXPECT_EQ(dcb.fNull, 0u) << "a NUL from the scanner must not be discarded";

    // No rate is negative: the default, as the Options dialog shows it, never 4294967291.
    setInt("BaudRate", -5);
    reader->setState(Connecting);
    ASSERT_TRUE(waitFor([&] { return opened().size() == 2 && reader->getState() == Reading; }));
    EXPECT_EQ(lastDcb().BaudRate, 9600u);
}

TEST_F(Reader, FailedOpenHaltsAndKeepsPassing) {
    setString("DeviceName", "/dev/missing");
    {
        std::lock_guard<std::mutex> guard(serial->mutex);
        serial->missing.insert("/dev/missing");
    }
    startAndWaitFor(Halted);
    EXPECT_FALSE(reader->isOpen());
    EXPECT_STREQ(reader->getDeviceName(), "/dev/missing");
    EXPECT_NE(reader->getLastError().bytes().find("no such device"), std::string::npos);
    const int before = reader->getLoopCount();
    ASSERT_TRUE(waitFor([&] { return reader->getLoopCount() >= before + 3; }));
    // Halted passes sleep: there is no automatic retry.
    EXPECT_EQ(opened().size(), 1u);
    EXPECT_EQ(reader->getState(), Halted);
}

TEST_F(Reader, UnreadableLineStateClosesAndHalts) {
    {
        std::lock_guard<std::mutex> guard(serial->mutex);
        serial->commStateFails = true;
    }
    startAndWaitFor(Halted);
    EXPECT_FALSE(reader->isOpen());
    std::lock_guard<std::mutex> guard(serial->mutex);
    EXPECT_EQ(serial->closes, 1);
    EXPECT_FALSE(serial->lastDcb.has_value());
}

TEST_F(Reader, NonSerialDeviceIsReadAsAPlainStream) {
    setString("DeviceName", "/tmp/scanner-fifo");
    setInt("SerialDevice", 0);
    setInt("bSkipFirstChar", 0);
    startAndWaitFor(Reading);
    EXPECT_TRUE(reader->isOpen());
    {
        std::lock_guard<std::mutex> guard(serial->mutex);
        EXPECT_FALSE(serial->lastDcb.has_value()) << "no line parameters for a plain stream";
        EXPECT_TRUE(serial->lastTimeouts.has_value());
    }
    scan("xy");
    EXPECT_EQ(keys->snapshot(), (std::vector<std::uint16_t>{'x', 'y', 13}));
    EXPECT_EQ(opened().size(), 1u) << "never reopened in a loop";
}

TEST_F(Reader, OtherNamesAreSerialPortsWhenSerialDeviceIsSet) {
    setString("DeviceName", "\\\\.\\COM12");
    startAndWaitFor(Reading);
    EXPECT_TRUE(lastDcb().DCBlength != 0);
}

TEST_F(Reader, BlocksAreTypedWithSkipAndEnter) {
    startAndWaitFor(Reading);
    scan("ABC");
    EXPECT_EQ(keys->snapshot(), (std::vector<std::uint16_t>{'B', 'C', 13}));
    EXPECT_STREQ(reader->getLastScanned(), "BC");

    // One byte with skipping on: nothing typed but Enter; the text becomes empty.
    scan("Z");
    EXPECT_EQ(keys->snapshot(), (std::vector<std::uint16_t>{'B', 'C', 13, 13}));
    EXPECT_STREQ(reader->getLastScanned(), "");
}

TEST_F(Reader, BlocksAreTypedAsTheyCameWithBothFlagsOff) {
    setInt("bCRLF", 0);
    setInt("bSkipFirstChar", 0);
    startAndWaitFor(Reading);
    scan("ABC");
    scan(std::string("\xE9\r\n\x1D", 4));
    EXPECT_EQ(keys->snapshot(), (std::vector<std::uint16_t>{'A', 'B', 'C', 0xE9, 13, 10, 0x1D}));
    EXPECT_EQ(reader->getLastScanned().bytes(), std::string("\xE9\r\n\x1D", 4));
    std::lock_guard<std::mutex> guard(keys->mutex);
    EXPECT_EQ(keys->blocksBegun, 2);
    EXPECT_EQ(keys->blocksEnded, 2);
}

// A window that drops synthetic keys (Windows: a more privileged process) still gets them, but
// its scans are not shown as received, and each such window is reported once.
TEST_F(Reader, ScansIntoAnUnreachableWindowAreReportedOncePerWindowNotRecorded) {
    setInt("bSkipFirstChar", 0);
    // As the tray program builds its reader: the sink behind the guard for its own windows (and
    // a port of its own: stopping the fixture's reader cancels its port's reads for good).
    serial = std::make_shared<fakes::SerialLog>();
    reader = std::make_unique<DeviceReaderThread>(
        std::make_unique<fakes::FakeSerialApi>(serial),
        skipWhileOwnWindowActive(std::make_unique<fakes::RecordingKeySink>(keys)));
    std::vector<std::string> events, unreachable;
    reader->setListener([&](const VLString& e) { events.emplace_back(e.t_str()); });
    reader->setUnreachableListener([&](const VLString& e) { unreachable.emplace_back(e.t_str()); });
    startAndWaitFor(Reading);
    scan("ok1");
    const auto setTarget = [&](const char* why) {
        std::lock_guard<std::mutex> guard(keys->mutex);
        keys->unreachable = why;
    };
    setTarget("window A is elevated");
    scan("a1");
    scan("a2");
    setTarget("window B is elevated");
    scan("b1");
    setTarget("window A is elevated");
    scan("a3");
    EXPECT_STREQ(reader->getLastScanned(), "ok1");
    setTarget("");
    scan("ok2");
    EXPECT_STREQ(reader->getLastScanned(), "ok2");
    EXPECT_EQ(keys->snapshot().size(), 20u);  // every block typed, each with its Enter
    const std::vector<std::string> expected{"window A is elevated", "window B is elevated"};
    EXPECT_EQ(unreachable, expected);
    std::vector<std::string> reported;
    for (const std::string& e : events) {
        if (e.find("elevated") != std::string::npos) {
            reported.push_back(e);
        }
    }
    EXPECT_EQ(reported, expected);
}

TEST_F(Reader, FlagsCountAsOnWhenNonZero) {
    setInt("bCRLF", 2);
    setInt("bSkipFirstChar", -1);
    startAndWaitFor(Reading);
    scan("12");
    EXPECT_EQ(keys->snapshot(), (std::vector<std::uint16_t>{'2', 13}));
}

std::vector<std::uint16_t> codes(const std::string& text) {
    return {text.begin(), text.end()};
}

TEST_F(Reader, AScanThatFillsTheBufferGoesOnUntilAPause) {
    startAndWaitFor(Reading);
    std::string burst;
    for (int i = 0; i < 64; ++i) {
        burst += static_cast<char>('a' + i % 26);
    }
    // 32 then 8: one scan, its first byte dropped, one Enter at its end.
    scan(burst.substr(0, 32));
    EXPECT_EQ(keys->snapshot(), codes(burst.substr(1, 31))) << "typed as it comes, no Enter yet";
    scan(burst.substr(32, 8));
    std::vector<std::uint16_t> expected = codes(burst.substr(1, 39));
    expected.push_back(13);
    EXPECT_EQ(keys->snapshot(), expected);
    EXPECT_EQ(reader->getLastScanned().bytes(), burst.substr(1, 39));

    // 32 and 32: the Enter comes with the empty read that follows, a pause later.
    scan(burst.substr(0, 32));
    scan(burst.substr(32, 32));
    ASSERT_TRUE(waitFor([&] { return keys->snapshot().size() == expected.size() + 64; }));
    for (char c : burst.substr(1)) {
        expected.push_back(static_cast<std::uint16_t>(c));
    }
    expected.push_back(13);
    EXPECT_EQ(keys->snapshot(), expected);
    EXPECT_EQ(reader->getLastScanned().bytes(), burst.substr(1));

    // A short scan after them is a scan of its own.
    scan("xAB");
    expected.insert(expected.end(), {'A', 'B', 13});
    EXPECT_EQ(keys->snapshot(), expected);
    EXPECT_STREQ(reader->getLastScanned(), "AB");

    // A port lost in the middle of a scan: no Enter for the half that came.
    scan(burst.substr(0, 32));
    queue({false, {}});
    ASSERT_TRUE(waitFor([&] { return !reader->isOpen(); }));
    EXPECT_EQ(keys->snapshot().size(), expected.size() + 31);
    EXPECT_EQ(keys->snapshot().back(), static_cast<std::uint16_t>(burst[31]));
}

TEST_F(Reader, ZeroByteReadsChangeNothing) {
    startAndWaitFor(Reading);
    scan("xAB");
    scan("");
    scan("");
    EXPECT_STREQ(reader->getLastScanned(), "AB");
    EXPECT_EQ(keys->snapshot().size(), 3u);
}

TEST_F(Reader, FailedReadClosesKeepsTheTextAndReconnectsWithoutSpinning) {
    std::mutex eventsMutex;
    std::vector<std::string> events;
    reader->setListener([&](const VLString& event) {
        std::lock_guard<std::mutex> guard(eventsMutex);
        events.push_back(event.bytes());
    });
    startAndWaitFor(Reading);
    scan("xOK");
    // The device goes away: reads fail and it cannot be opened again for a while.
    {
        std::lock_guard<std::mutex> guard(serial->mutex);
        serial->missing.insert("COM1");
        serial->reads_queue.push_back({false, {}});
        serial->changed.notify_all();
    }
    ASSERT_TRUE(waitFor([&] { return !reader->isOpen(); }));
    EXPECT_EQ(reader->getState(), Reading);
    EXPECT_STREQ(reader->getLastScanned(), "OK");
    const int loopsWhenLost = reader->getLoopCount();
    // About one attempt a second while the device is gone: never a spin.
    ASSERT_TRUE(waitFor([&] { return opened().size() >= 3; }, 5000ms));
    EXPECT_LT(reader->getLoopCount() - loopsWhenLost, 20);
    EXPECT_EQ(reader->getState(), Reading);
    EXPECT_FALSE(reader->isOpen());
    {
        // Said once, not at every attempt.
        std::lock_guard<std::mutex> guard(eventsMutex);
        EXPECT_EQ(events, (std::vector<std::string>{"opened COM1", "lost COM1",
                                                    "cannot open COM1: no such device"}));
    }

    // Plugged in again: the reader is back without any request.
    {
        std::lock_guard<std::mutex> guard(serial->mutex);
        serial->missing.clear();
    }
    ASSERT_TRUE(waitFor([&] { return reader->isOpen(); }, 3000ms));
    scan("xAGAIN");
    EXPECT_STREQ(reader->getLastScanned(), "AGAIN");
    reader->stop(true);  // before the listener's events go out of scope
}

TEST_F(Reader, ReconnectRequestReopensWithTheNewSettings) {
    startAndWaitFor(Reading);
    setString("DeviceName", "COM7");
    setInt("BaudRate", 115200);
    reader->setState(Connecting);
    ASSERT_TRUE(waitFor([&] { return opened().size() == 2 && reader->getState() == Reading; }));
    EXPECT_EQ(opened()[1], "COM7");
    EXPECT_EQ(lastDcb().BaudRate, 115200u);
    EXPECT_TRUE(reader->isOpen());
    std::lock_guard<std::mutex> guard(serial->mutex);
    EXPECT_EQ(serial->closes, 1) << "the old handle is closed before the exclusive reopen";
}

TEST_F(Reader, ReconnectLeavesHaltedWhenTheDeviceIsBack) {
    {
        std::lock_guard<std::mutex> guard(serial->mutex);
        serial->missing.insert("COM1");
    }
    startAndWaitFor(Halted);
    {
        std::lock_guard<std::mutex> guard(serial->mutex);
        serial->missing.clear();
    }
    reader->setState(Connecting);
    ASSERT_TRUE(waitFor([&] { return reader->getState() == Reading; }));
    EXPECT_TRUE(reader->isOpen());
}

TEST_F(Reader, StopFromABlockedReadClosesTheDeviceAndKeepsTheValues) {
    startAndWaitFor(Reading);
    scan("-kept");
    // The next read blocks on a silent line; stop must wake it.
    ASSERT_TRUE(waitFor([&] { return readsSoFar() >= 3; }));
    reader->stop(true);
    EXPECT_FALSE(reader->isOpen());
    EXPECT_STREQ(reader->getLastScanned(), "kept");
    EXPECT_STREQ(reader->getDeviceName(), "COM1");
    EXPECT_GE(reader->getLoopCount(), 2);
    std::lock_guard<std::mutex> guard(serial->mutex);
    EXPECT_TRUE(serial->openHandles.empty());
}

TEST_F(Reader, StopFromHalted) {
    {
        std::lock_guard<std::mutex> guard(serial->mutex);
        serial->missing.insert("COM1");
    }
    startAndWaitFor(Halted);
    reader->stop(true);
    EXPECT_FALSE(reader->runnable());
    const int count = reader->getLoopCount();
    std::this_thread::sleep_for(150ms);
    EXPECT_EQ(reader->getLoopCount(), count) << "no pass after stop returned";
}

TEST_F(Reader, AReconnectAskedForDuringAConnectIsNotLost) {
    // OK in the Options dialog while an open is under way: that open's outcome must not bury the
    // request, or a failed open would leave the reader halted on the old settings.
    {
        std::lock_guard<std::mutex> guard(serial->mutex);
        serial->missing.insert("COM1");
        serial->duringOpen = [this] { reader->setState(Connecting); };
    }
    reader->start();
    ASSERT_TRUE(waitFor([&] { return opened().size() >= 2 && reader->getState() == Halted; }));
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(opened().size(), 2u) << "one more attempt for the request, then halted";
}

TEST_F(Reader, LoopCountRestartsWithRun) {
    {
        std::lock_guard<std::mutex> guard(serial->mutex);
        serial->missing.insert("COM1");
    }
    startAndWaitFor(Halted);
    ASSERT_TRUE(waitFor([&] { return reader->getLoopCount() >= 2; }));
    reader->stop(true);
    ASSERT_GE(reader->getLoopCount(), 2);
    // Stopped, run makes no pass: what it leaves is its own reset, on this thread.
    reader->run();
    EXPECT_EQ(reader->getLoopCount(), 0);
    EXPECT_EQ(reader->getState(), Connecting);
    // A fresh reader object starts counting from zero too.
    reader = std::make_unique<DeviceReaderThread>(std::make_unique<fakes::FakeSerialApi>(serial),
                                                  std::make_unique<fakes::RecordingKeySink>(keys));
    EXPECT_EQ(reader->getLoopCount(), 0);
}

TEST_F(Reader, StressAccessorsAndReconnectsFromAnotherThread) {
    {
        std::lock_guard<std::mutex> guard(serial->mutex);
        serial->blockWhenEmpty = false;  // reads return at once: the reader loops hard
    }
    startAndWaitFor(Reading);
    std::atomic<bool> done{false};
    std::thread ui([&] {
        int i = 0;
        while (!done.load()) {
            (void)reader->getDeviceName();
            (void)reader->isOpen();
            (void)reader->getLoopCount();
            (void)reader->getLastScanned();
            if (++i % 50 == 0) {
                reader->setState(Connecting);
            }
        }
    });
    for (int i = 0; i < 200; ++i) {
        std::string code("#");
        code += std::to_string(i);
        queue({true, bytes(code)});
    }
    ASSERT_TRUE(waitFor([&] { return queueDrained(); }, 20000ms));
    done.store(true);
    ui.join();
    ASSERT_TRUE(waitFor([&] { return reader->getState() == Reading && reader->isOpen(); }));
    reader->stop(true);
    EXPECT_FALSE(reader->isOpen());
    std::lock_guard<std::mutex> guard(serial->mutex);
    EXPECT_TRUE(serial->openHandles.empty());
}
