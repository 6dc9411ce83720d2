// The reader end to end on this platform: the termios serial layer, a settings file in a
// temporary folder, and a pseudo-terminal whose master plays the scanner.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include "fakes/recording_sink.h"
#include "platform/posix/line_mapping.h"
#include "posix/pty.h"
#include "posix/temp_dir.h"
#include "reader/device_reader_thread.h"
#include "settings/scanner_settings.h"

using namespace std::chrono_literals;
using testutil::waitFor;

namespace {

class PosixReader : public ::testing::Test {
protected:
    void SetUp() override {
        // The program's own way to a settings file other than the user's.
        ASSERT_EQ(::setenv("PELMORA_CONFIG", (dir / "Pelmora.conf").c_str(), 1), 0);
        theConfig.setStore(util::makeUserSettingsStore("Vantel", "Pelmora"));
        keys = std::make_shared<fakes::KeyLog>();
        reader = std::make_unique<DeviceReaderThread>(
            platform::makeSerialApi(), std::make_unique<fakes::RecordingKeySink>(keys));
    }
    void TearDown() override {
        reader->stop(true);
        theConfig.setStore(std::make_shared<util::MemorySettingsStore>());
        ::unsetenv("PELMORA_CONFIG");
    }

    void startAndWaitFor(ReaderState state) {
        reader->start();
        ASSERT_TRUE(waitFor([&] { return reader->getLoopCount() >= 1; }));
        ASSERT_EQ(reader->getState(), state) << reader->getLastError().t_str();
    }

    testutil::TempDir dir;
    testutil::Pty pty;
    std::shared_ptr<fakes::KeyLog> keys;
    std::unique_ptr<DeviceReaderThread> reader;
};

}  // namespace

TEST_F(PosixReader, AStoredPortIsOpenedWithItsLineAsStoredAndItsBytesAreTyped) {
    using namespace ScannerSettings;
    writeSetting(DeviceName, pty.slavePath().c_str());
    writeSetting(BaudRate, 56000);
    writeSetting(DataBits, 8);
    writeSetting(Parity, 0);
    writeSetting(StopBits, 2);
    writeSetting(bParity, 1);
    writeSetting(bCTS, 1);
    writeSetting(bXIN, 1);
    writeSetting(bXOUT, 0);
    writeSetting(bSkipFirstChar, 0);
    startAndWaitFor(Reading);
    EXPECT_TRUE(reader->isOpen());
    EXPECT_STREQ(reader->getDeviceName(), pty.slavePath().c_str());

    const termios2 t = testutil::lineOf(pty);
    EXPECT_EQ(t.c_cflag & CBAUD, static_cast<tcflag_t>(BOTHER));
    EXPECT_EQ(t.c_ospeed, 56000u);
    EXPECT_EQ(t.c_cflag & (CSIZE | CSTOPB | PARENB | CRTSCTS | CREAD | CLOCAL),
              static_cast<tcflag_t>(CS8 | CSTOPB | CRTSCTS | CREAD | CLOCAL));
    EXPECT_EQ(t.c_iflag & (INPCK | IXON | IXOFF | ICRNL | ISTRIP),
              static_cast<tcflag_t>(INPCK | IXOFF));
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    EXPECT_EQ(t.c_cc[VMIN], 0);
    EXPECT_EQ(t.c_cc[VTIME], 0);
    int exclusive = 0;
    ASSERT_EQ(::ioctl(pty.slave(), TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 1) << "held for exclusive use while open";

    pty.send("AB\xE9\r");
    ASSERT_TRUE(waitFor([&] { return keys->snapshot().size() >= 5; }));
    EXPECT_EQ(keys->snapshot(), (std::vector<std::uint16_t>{'A', 'B', 0xE9, 13, 13}));
    EXPECT_EQ(reader->getLastScanned().bytes(), "AB\xE9\r");

    // A reconnect request closes and reopens the same port: the exclusive open does not
    // collide with the reader's own earlier handle.
    reader->setState(Connecting);
    ASSERT_TRUE(waitFor([&] { return reader->getState() == Reading && reader->isOpen(); }));
    pty.send("Z");
    ASSERT_TRUE(waitFor([&] { return keys->snapshot().size() >= 7; }));

    reader->stop(true);
    EXPECT_FALSE(reader->isOpen());
    ASSERT_EQ(::ioctl(pty.slave(), TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0) << "released for the next start";
}

TEST_F(PosixReader, AMissingDeviceHalts) {
    const std::string missing = dir / "no-such-tty";
    writeSetting(ScannerSettings::DeviceName, missing.c_str());
    startAndWaitFor(Halted);
    EXPECT_FALSE(reader->isOpen());
    EXPECT_NE(reader->getLastError().bytes().find("no such device"), std::string::npos)
        << reader->getLastError().t_str();
}

TEST_F(PosixReader, ADeviceHeldByAnotherProgramHalts) {
    auto other = platform::makeSerialApi();
    const platform::Handle held = other->createFile(pty.slavePath().c_str());
    ASSERT_NE(held, platform::kInvalidHandle);
    writeSetting(ScannerSettings::DeviceName, pty.slavePath().c_str());
    startAndWaitFor(Halted);
    EXPECT_FALSE(reader->isOpen());
    EXPECT_NE(reader->getLastError().bytes().find("busy"), std::string::npos)
        << reader->getLastError().t_str();
    other->closeHandle(held);
}

TEST_F(PosixReader, AnUnpluggedScannerClosesThePortWithoutSpinning) {
    writeSetting(ScannerSettings::DeviceName, pty.slavePath().c_str());
    startAndWaitFor(Reading);
    pty.closeMaster();
    ASSERT_TRUE(waitFor([&] { return !reader->isOpen(); }));
    EXPECT_NE(reader->getLastError().bytes().find("lost"), std::string::npos);
    // Retries about once a second while the device is gone.
    const int loops = reader->getLoopCount();
    std::this_thread::sleep_for(1500ms);
    EXPECT_LT(reader->getLoopCount() - loops, 10);
    EXPECT_EQ(reader->getState(), Reading);
}

TEST_F(PosixReader, AFifoIsReadAsAPlainByteStream) {
    const std::string fifo = dir / "scanner";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    writeSetting(ScannerSettings::DeviceName, fifo.c_str());
    writeSetting(ScannerSettings::SerialDevice, 0);
    writeSetting(ScannerSettings::bCRLF, 0);
    startAndWaitFor(Reading);
    const int writer = ::open(fifo.c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_GE(writer, 0);
    ASSERT_EQ(::write(writer, "#4711", 5), 5);
    ::close(writer);
    ASSERT_TRUE(waitFor([&] { return keys->snapshot().size() >= 4; }));
    EXPECT_EQ(keys->snapshot(), (std::vector<std::uint16_t>{'4', '7', '1', '1'}));
    EXPECT_TRUE(reader->isOpen());
}
