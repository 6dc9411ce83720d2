// The reader end to end on this platform: the termios serial layer, a settings file in a
// temporary folder, and a pseudo-terminal whose master plays the scanner.
#include <gtest/gtest.h>
#include <sched.h>
#include <stdlib.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <cstring>
#include <fstream>

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

    // As a scanner at 9600 baud sends: a byte about every 1.04 ms.
    void sendAt9600(const std::string& bytes) {
        auto next = std::chrono::steady_clock::now();
        for (char c : bytes) {
            pty.send(std::string(1, c));
            next += 1040us;
            std::this_thread::sleep_until(next);
        }
    }
    std::size_t enters() {
        const auto typed = keys->snapshot();
        return static_cast<std::size_t>(std::count(typed.begin(), typed.end(), 13));
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

TEST_F(PosixReader, LongScansArriveWholeWithOneEnterAndShortOnesAsBefore) {
    writeSetting(ScannerSettings::DeviceName, pty.slavePath().c_str());
    startAndWaitFor(Reading);
    const std::string gs1 = "(01)04006381333931(21)ABCDEF123456(10)LOT42XYZ";
    std::string sixtyFour;
    for (int i = 0; i < 63; ++i) {
        sixtyFour += static_cast<char>('A' + i % 26);
    }
    // Each scan begins with the STX that the skip rule drops.
    std::vector<std::uint16_t> expected;
    auto scanned = [&](const std::string& text, std::size_t entersSoFar) {
        expected.insert(expected.end(), text.begin(), text.end());
        expected.push_back(13);
        ASSERT_TRUE(waitFor([&] { return enters() >= entersSoFar; }));
        std::this_thread::sleep_for(300ms);  // a second Enter would come by now
        EXPECT_EQ(keys->snapshot(), expected);
        EXPECT_EQ(reader->getLastScanned().bytes(), text);
    };

    sendAt9600("\x02" + gs1);
    scanned(gs1, 1);
    // Exactly two buffers full: the Enter comes with the empty read after them.
    sendAt9600("\x02" + sixtyFour);
    scanned(sixtyFour, 2);
    sendAt9600("\x02SHORT1");
    scanned("SHORT1", 3);
    // A slow sender, a byte every 40 ms for 1.2 s: the read's 1000 ms limit ends while bytes are
    // still coming, and the scan goes on.
    std::string slow = "\x02";
    for (int i = 0; i < 30; ++i) {
        slow += static_cast<char>('0' + i % 10);
    }
    for (char c : slow) {
        pty.send(std::string(1, c));
        std::this_thread::sleep_for(40ms);
    }
    scanned(slow.substr(1), 4);
}

namespace {

// Files that stand in for the kernel's lists of consoles, in a private mount namespace.
class ConsoleLists {
public:
    explicit ConsoleLists(const testutil::TempDir& dir)
        : m_consoles(dir / "consoles"), m_active(dir / "active") {
        set("ttyS0 -W- (EC p a) 4:64\n", "ttyS0\n");
        // Needs CAP_SYS_ADMIN; the process must still have one thread.
        m_unshared = ::unshare(CLONE_NEWNS) == 0;
        m_ready = m_unshared && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
                  ::mount(m_consoles.c_str(), "/proc/consoles", nullptr, MS_BIND, nullptr) == 0 &&
                  ::mount(m_active.c_str(), "/sys/class/tty/console/active", nullptr, MS_BIND,
                          nullptr) == 0;
    }
    ~ConsoleLists() {
        if (m_unshared) {
            ::umount("/sys/class/tty/console/active");
            ::umount("/proc/consoles");
        }
    }
    bool ready() const { return m_ready; }
    // Rewritten in place: the bind mounts show the same files.
    void set(const std::string& consoles, const std::string& active) {
        std::ofstream(m_consoles, std::ios::trunc) << consoles;
        std::ofstream(m_active, std::ios::trunc) << active;
    }

private:
    std::string m_consoles;
    std::string m_active;
    bool m_unshared = false;
    bool m_ready = false;
};

}  // namespace

TEST_F(PosixReader, TheConsoleIsNeverOpenedWhetherListedByNameOrByNumber) {
    ConsoleLists lists(dir);
    if (!lists.ready()) {
        GTEST_SKIP() << "no private mount namespace here (needs root)";
    }
    ASSERT_EQ(testutil::readAll("/proc/consoles"), "ttyS0 -W- (EC p a) 4:64\n");
    const std::string name = pty.slavePath().substr(std::strlen("/dev/"));  // pts/N
    struct stat st {};
    ASSERT_EQ(::stat(pty.slavePath().c_str(), &st), 0);
    const termios2 before = testutil::lineOf(pty);
    ASSERT_NE(before.c_lflag & ICANON, 0u) << "a fresh pseudo-terminal is cooked";

    // By name, among the active consoles.
    lists.set("ttyS0 -W- (EC p a) 4:64\n", "tty0 " + name + "\n");
    writeSetting(ScannerSettings::DeviceName, pty.slavePath().c_str());
    startAndWaitFor(Halted);
    EXPECT_FALSE(reader->isOpen());
    EXPECT_NE(reader->getLastError().bytes().find("console"), std::string::npos)
        << reader->getLastError().t_str();
    EXPECT_EQ(testutil::lineOf(pty).c_lflag, before.c_lflag) << "its line was not touched";

    // Not a console any more: the same port opens.
    lists.set("ttyS0 -W- (EC p a) 4:64\n", "ttyS0\n");
    reader->setState(Connecting);
    ASSERT_TRUE(waitFor([&] { return reader->getState() == Reading && reader->isOpen(); }));

    // By device number, under another name.
    lists.set("ttyS0 -W- (EC p a) " + std::to_string(major(st.st_rdev)) + ":" +
                  std::to_string(minor(st.st_rdev)) + "\n",
              "ttyS0\n");
    reader->setState(Connecting);
    ASSERT_TRUE(waitFor([&] { return reader->getState() == Halted; }));
    EXPECT_FALSE(reader->isOpen());
    EXPECT_NE(reader->getLastError().bytes().find("console"), std::string::npos);
}
