// A scanner unplugged and plugged in again, many times, while scans flow: the reader on the real
// serial layer and a pseudo-terminal that disappears (its master closed, as a USB adapter's node
// goes away) and comes back under the same name. The reader must never spin while the device is
// gone (about one open attempt a second), must type again soon after each return, must lose no
// byte that arrived while it had the device open, and must show the device closed and open in
// turn. PELMORA_UNPLUG_CYCLES sets the number of cycles (default 30, about 50 s; CI runs 100).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "fakes/recording_sink.h"
#include "reader/device_reader_thread.h"
#include "settings/scanner_settings.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

template <typename Pred>
bool waitFor(Pred pred, std::chrono::milliseconds limit) {
    const auto end = Clock::now() + limit;
    while (!pred()) {
        if (Clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

// The platform's serial layer, counting the opens the reader attempts.
class CountingSerialApi : public platform::SerialApi {
public:
    CountingSerialApi(std::unique_ptr<platform::SerialApi> real, std::atomic<int>& opens)
        : m_real(std::move(real)), m_opens(opens) {}
    platform::Handle createFile(const char* path) override {
        ++m_opens;
        return m_real->createFile(path);
    }
    bool getCommState(platform::Handle h, platform::Dcb& dcb) override {
        return m_real->getCommState(h, dcb);
    }
    bool setCommState(platform::Handle h, const platform::Dcb& dcb) override {
        return m_real->setCommState(h, dcb);
    }
    bool setCommTimeouts(platform::Handle h, const platform::CommTimeouts& t) override {
        return m_real->setCommTimeouts(h, t);
    }
    bool readFile(platform::Handle h, void* buffer, std::uint32_t size,
                  std::uint32_t& received) override {
        return m_real->readFile(h, buffer, size, received);
    }
    bool closeHandle(platform::Handle h) override { return m_real->closeHandle(h); }
    void cancelReads() override { m_real->cancelReads(); }
    std::string lastOpenError() const override { return m_real->lastOpenError(); }

private:
    std::unique_ptr<platform::SerialApi> m_real;
    std::atomic<int>& m_opens;
};

// The scanner's end of a pseudo-terminal; the port is reached through a link that always names
// the current one, as /dev/serial/by-id does for a USB adapter.
class Scanner {
public:
    explicit Scanner(std::string link) : m_link(std::move(link)) {}
    ~Scanner() { unplug(); }

    void plugIn() {
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        char name[256] = {};
        ASSERT_GE(m_master, 0);
        ASSERT_EQ(::grantpt(m_master), 0);
        ASSERT_EQ(::unlockpt(m_master), 0);
        ASSERT_EQ(::ptsname_r(m_master, name, sizeof name), 0);
        const std::string next = m_link + ".next";
        std::filesystem::remove(next);
        std::filesystem::create_symlink(name, next);
        std::filesystem::rename(next, m_link);
    }
    // The node goes away with its link, as udev removes a by-id link: the port's number may be
    // reused by another pseudo-terminal meanwhile, so the link goes before the port is freed.
    void unplug() {
        if (m_master >= 0) {
            std::error_code ignored;
            std::filesystem::remove(m_link, ignored);
            ::close(m_master);
            m_master = -1;
        }
    }
    void send(const std::string& bytes) const {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(m_master, bytes.data() + done, bytes.size() - done);
            ASSERT_GT(n, 0);
            done += static_cast<std::size_t>(n);
        }
    }

private:
    std::string m_link;
    int m_master = -1;
};

std::string typedText(fakes::KeyLog& keys) {
    std::string text;
    for (const std::uint16_t unit : keys.snapshot()) {
        text += static_cast<char>(unit);
    }
    return text;
}

int cycleCount() {
    const char* value = std::getenv("PELMORA_UNPLUG_CYCLES");
    return value != nullptr ? std::max(1, std::atoi(value)) : 30;
}

}  // namespace

TEST(Unplug, ReconnectsWithoutSpinningAndLosesNothingWhileConnected) {
    char dirTemplate[] = "/tmp/pelmora-unplug-XXXXXX";
    ASSERT_NE(::mkdtemp(dirTemplate), nullptr);
    const std::string dir = dirTemplate;
    const std::string link = dir + "/scanner";

    auto store = std::make_shared<util::MemorySettingsStore>();
    theConfig.setStore(store);
    store->writeString("", "DeviceName", link.c_str());
    store->writeInteger("", "bSkipFirstChar", 0);
    store->writeInteger("", "bCRLF", 0);

    std::atomic<int> opens{0};
    auto keys = std::make_shared<fakes::KeyLog>();
    DeviceReaderThread reader(std::make_unique<CountingSerialApi>(platform::makeSerialApi(), opens),
                              std::make_unique<fakes::RecordingKeySink>(keys));
    Scanner scanner(link);

    const int cycles = cycleCount();
    std::vector<double> returnToTypedMs;
    int closedSeen = 0;
    int openSeen = 0;
    std::string absentOpens;
    scanner.plugIn();
    reader.start();

    for (int cycle = 0; cycle < cycles; ++cycle) {
        SCOPED_TRACE("cycle " + std::to_string(cycle));
        const auto plugged = Clock::now();
        // Scans keep coming while the reader finds the port again: the first that is typed
        // tells how long that took.
        const std::string marker = "P" + std::to_string(cycle) + ".";
        bool typed = false;
        for (int k = 0; !typed && Clock::now() - plugged < 10s; ++k) {
            scanner.send(marker + std::to_string(k) + ";");
            typed =
                waitFor([&] { return typedText(*keys).find(marker) != std::string::npos; }, 20ms);
        }
        ASSERT_TRUE(typed) << "nothing typed within 10 s of the device's return";
        returnToTypedMs.push_back(
            std::chrono::duration<double, std::milli>(Clock::now() - plugged).count());
        ASSERT_TRUE(reader.isOpen());
        ++openSeen;
        EXPECT_EQ(reader.getState(), Reading);

        // Let the probes settle, then every byte sent while connected must be typed, in order.
        std::size_t settled = 0;
        for (int quiet = 0; quiet < 10;) {
            const std::size_t now = keys->snapshot().size();
            quiet = now == settled ? quiet + 1 : 0;
            settled = now;
            std::this_thread::sleep_for(20ms);
        }
        std::string sent;
        for (int j = 0; j < 8; ++j) {
            const std::string scan = "D" + std::to_string(cycle) + "." + std::to_string(j) + ";";
            scanner.send(scan);
            sent += scan;
            std::this_thread::sleep_for(std::chrono::milliseconds(j % 3 * 7));
        }
        ASSERT_TRUE(waitFor([&] { return keys->snapshot().size() >= settled + sent.size(); }, 10s));
        EXPECT_EQ(typedText(*keys).substr(settled), sent);

        // Unplugged: the reader notices, closes the port and keeps trying about once a second.
        scanner.unplug();
        ASSERT_TRUE(waitFor([&] { return !reader.isOpen(); }, 5s));
        ++closedSeen;
        EXPECT_EQ(reader.getState(), Reading);
        // Mostly short absences; now and then one of several seconds to count the attempts.
        const bool longAbsence = cycle % 25 == 12;
        const int opensBefore = opens.load();
        const int loopsBefore = reader.getLoopCount();
        const auto absence = longAbsence ? 3500ms : 150ms;
        std::this_thread::sleep_for(absence);
        const int attempts = opens.load() - opensBefore;
        const int loops = reader.getLoopCount() - loopsBefore;
        EXPECT_FALSE(reader.isOpen());
        // A spin would make thousands; one a second makes at most the seconds plus one.
        EXPECT_LE(attempts, static_cast<int>(absence / 1s) + 2);
        EXPECT_LE(loops, static_cast<int>(absence / 1s) + 3);
        if (longAbsence) {
            EXPECT_GE(attempts, 2) << "the reader stopped trying while the device was away";
            absentOpens +=
                std::to_string(attempts) + " in " + std::to_string(absence.count()) + " ms; ";
        }
        scanner.plugIn();
    }
    reader.stop(true);
    EXPECT_FALSE(reader.isOpen());
    EXPECT_EQ(openSeen, cycles);
    EXPECT_EQ(closedSeen, cycles);

    std::sort(returnToTypedMs.begin(), returnToTypedMs.end());
    const double median = returnToTypedMs[returnToTypedMs.size() / 2];
    const double worst = returnToTypedMs.back();
    std::printf(
        "%d unplug cycles: return to typed median %.0f ms, worst %.0f ms; open attempts "
        "while away: %s\n",
        cycles, median, worst, absentOpens.c_str());
    // Back within about a second and a half: the reconnect waits one second, then opens.
    EXPECT_LE(median, 1500.0);
    // A busy machine may delay one return, never by a hang.
    EXPECT_LE(worst, 5000.0);
    std::filesystem::remove_all(dir);
}
