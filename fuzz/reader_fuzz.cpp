// The reader fed by a scripted device: blocks of any length cut anywhere, zero-byte reads, failed
// reads, a device that stays away for a while and reconnect requests, with the forwarding flags
// set to any value. After every step the keys typed and the last scanned text must be exactly
// what the blocks delivered so far make them: a full block leaves its scan open, a shorter one
// (it ended at a pause, the reads here take no time) or an empty read ends it.
//
// Input: one byte of set-up (bit 0: a plain stream rather than a serial port), the bSkipFirstChar
// and bCRLF values (one signed byte each), then steps:
//   0x00-0xDF  a block of (op % 33) bytes, taken from the input
//   0xE0-0xEF  a read that returns nothing
//   0xF0-0xF7  a failed read (the adapter was unplugged); the device is back at once
//   0xF8-0xFB  a failed read, and the next open fails too (the device is still away)
//   0xFC-0xFF  a reconnect request (the settings were confirmed again)
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "fakes/fake_serial.h"
#include "fakes/recording_sink.h"
#include "fuzz_input.h"
#include "reader/device_reader_thread.h"
#include "settings/scanner_settings.h"

namespace {

constexpr const char* kPlainName = "/dev/fuzz-scanner";

// Drives the reader's passes on the calling thread, without the one-second pause the real loop
// takes before getting a lost device back.
class SteppedReader : public DeviceReaderThread {
public:
    using DeviceReaderThread::closeDevice;
    using DeviceReaderThread::DeviceReaderThread;

    void pass() {
        const ReaderState state = getState();
        if (state == Connecting || (state == Reading && !isOpen())) {
            openDevice();
        } else if (state == Reading) {
            readBlock();
        } else {
            // Halted waits for the user to confirm the settings again.
            setState(Connecting);
        }
    }
};

struct Harness {
    std::shared_ptr<util::MemorySettingsStore> store =
        std::make_shared<util::MemorySettingsStore>();
    std::shared_ptr<fakes::SerialLog> serial = std::make_shared<fakes::SerialLog>();
    std::shared_ptr<fakes::KeyLog> keys = std::make_shared<fakes::KeyLog>();
    std::unique_ptr<SteppedReader> reader;
    std::string deviceName;

    // What the blocks delivered so far must have produced.
    std::vector<std::uint16_t> expectedKeys;
    std::string expectedText;
    int typedBlocks = 0;
    bool inScan = false;

    void endScan(bool enter) {
        if (inScan && enter) {
            expectedKeys.push_back(13);
            ++typedBlocks;
        }
        inScan = false;
    }

    int delivered() {
        std::lock_guard<std::mutex> guard(serial->mutex);
        return serial->delivered;
    }
    std::size_t openHandles() {
        std::lock_guard<std::mutex> guard(serial->mutex);
        return serial->openHandles.size();
    }
    void setMissing(bool missing) {
        std::lock_guard<std::mutex> guard(serial->mutex);
        if (missing) {
            serial->missing.insert(deviceName);
        } else {
            serial->missing.clear();
        }
    }

    // Passes until the device is open and being read; a device that is back opens at the first.
    void connect() {
        for (int i = 0; i < 3 && !(reader->getState() == Reading && reader->isOpen()); ++i) {
            reader->pass();
        }
        FUZZ_CHECK(reader->getState() == Reading);
        FUZZ_CHECK(reader->isOpen());
    }

    // One read of the device, with `result` as what the device returns.
    void read(fakes::ReadResult result) {
        connect();
        const int before = delivered();
        {
            std::lock_guard<std::mutex> guard(serial->mutex);
            serial->reads_queue.push_back(result);
        }
        reader->pass();
        FUZZ_CHECK(delivered() == before + 1);
    }

    void check() {
        FUZZ_CHECK(openHandles() == (reader->isOpen() ? 1u : 0u));
        FUZZ_CHECK(keys->snapshot() == expectedKeys);
        FUZZ_CHECK(reader->getLastScanned().bytes() == expectedText);
        std::lock_guard<std::mutex> guard(keys->mutex);
        FUZZ_CHECK(keys->blocksBegun == typedBlocks);
        FUZZ_CHECK(keys->blocksEnded == typedBlocks);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    Harness h;
    theConfig.setStore(h.store);

    const bool plain = (in.byte() & 1) != 0;
    const auto skipValue = static_cast<std::int8_t>(in.byte());
    const auto enterValue = static_cast<std::int8_t>(in.byte());
    h.deviceName = plain ? kPlainName : "COM1";
    h.store->writeString("", "DeviceName", h.deviceName.c_str());
    if (plain) {
        h.store->writeInteger("", "SerialDevice", 0);
    }
    h.store->writeInteger("", "bSkipFirstChar", skipValue);
    h.store->writeInteger("", "bCRLF", enterValue);
    {
        std::lock_guard<std::mutex> guard(h.serial->mutex);
        h.serial->blockWhenEmpty = false;
    }
    h.reader = std::make_unique<SteppedReader>(std::make_unique<fakes::FakeSerialApi>(h.serial),
                                               std::make_unique<fakes::RecordingKeySink>(h.keys));

    while (!in.empty()) {
        const std::uint8_t op = in.byte();
        if (op < 0xE0) {
            const std::string block = in.bytes(op % 33u);
            h.read({true, std::vector<unsigned char>(block.begin(), block.end())});
            FUZZ_CHECK(h.reader->isOpen());
            if (!block.empty()) {
                const bool scanStarts = !h.inScan;
                if (scanStarts) {
                    h.expectedText.clear();
                }
                for (std::size_t i = 0; i < block.size(); ++i) {
                    if (skipValue != 0 && scanStarts && i == 0) {
                        continue;
                    }
                    h.expectedKeys.push_back(static_cast<unsigned char>(block[i]));
                    if (h.expectedText.size() < DeviceReaderThread::kMaxScanText) {
                        h.expectedText += block[i];
                    }
                }
                ++h.typedBlocks;
                h.inScan = true;
                if (block.size() < DeviceReaderThread::kReadBlockSize) {
                    if (enterValue != 0) {
                        h.expectedKeys.push_back(13);
                    }
                    h.inScan = false;
                }
            } else {
                h.endScan(enterValue != 0);
            }
        } else if (op < 0xF0) {
            h.read({true, {}});
            FUZZ_CHECK(h.reader->isOpen());
            h.endScan(enterValue != 0);
        } else if (op < 0xFC) {
            const bool staysAway = op >= 0xF8;
            h.read({false, {}});
            h.endScan(false);  // half a scan gets no Enter
            // A lost device is closed, the reader keeps reading state and nothing is typed.
            FUZZ_CHECK(!h.reader->isOpen());
            FUZZ_CHECK(h.reader->getState() == Reading);
            FUZZ_CHECK(!h.reader->getLastError().isEmpty());
            if (staysAway) {
                h.setMissing(true);
                h.reader->pass();
                FUZZ_CHECK(!h.reader->isOpen());
                FUZZ_CHECK(h.reader->getState() == Halted);
                h.setMissing(false);
            }
        } else {
            h.reader->setState(Connecting);
            h.reader->pass();
            h.endScan(false);
            FUZZ_CHECK(h.reader->isOpen());
            FUZZ_CHECK(h.reader->getState() == Reading);
            FUZZ_CHECK(h.reader->getDeviceName().bytes() == h.deviceName);
        }
        h.check();
    }

    h.reader->closeDevice();
    FUZZ_CHECK(h.openHandles() == 0);
    FUZZ_CHECK(h.reader->getLastScanned().bytes() == h.expectedText);
    return 0;
}
