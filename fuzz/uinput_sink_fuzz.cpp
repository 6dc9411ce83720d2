// The uinput sink's events for any sequence of code units, written to a memory file instead of a
// device and decoded with a US layout written out independently of the sink's table: the text
// must be the code units a US keyboard can type, in order; every key goes down and up in reports
// of its own, Shift is down exactly for the shifted characters, nothing stays pressed.
//
// Input: bytes below 0xF0 are code units; 0xF0-0xFE take the next two bytes as a code unit of
// any value; 0xFF ends the block.
#include <linux/input.h>
#include <sys/mman.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "platform/uinput/uinput_key_sink.h"
#include "vm/us_layout.h"

namespace {

const evdev_us::UsLayout& layout() {
    static const evdev_us::UsLayout instance;
    return instance;
}

// The character of a code unit on a US keyboard, when one of its keys types it.
bool typable(std::uint16_t unit) {
    if (unit >= 0x80) {
        return false;
    }
    for (const auto& [code, chars] : layout().keys) {
        if (chars.first == static_cast<char>(unit) || chars.second == static_cast<char>(unit)) {
            return true;
        }
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    const int file = memfd_create("uinput-events", MFD_CLOEXEC);
    FUZZ_CHECK(file >= 0);

    std::string expected;
    {
        platform::UinputKeySink sink(dup(file), false, std::chrono::steady_clock::now(),
                                     platform::EventPacer::unpaced());
        sink.beginBlock();
        while (!in.empty()) {
            const std::uint8_t b = in.byte();
            if (b == 0xFF) {
                sink.endBlock();
                sink.beginBlock();
                continue;
            }
            std::uint16_t unit = b;
            if (b >= 0xF0) {
                unit = static_cast<std::uint16_t>(in.byte() << 8 | in.byte());
            }
            sink.sendKey(unit);
            if (typable(unit)) {
                expected += static_cast<char>(unit);
            }
        }
        sink.endBlock();
    }

    const off_t length = lseek(file, 0, SEEK_END);
    FUZZ_CHECK(length >= 0 && length % static_cast<off_t>(sizeof(input_event)) == 0);
    std::vector<input_event> events(static_cast<std::size_t>(length) / sizeof(input_event));
    FUZZ_CHECK(pread(file, events.data(), static_cast<std::size_t>(length), 0) == length);
    close(file);

    std::string text;
    std::set<int> down;
    bool shift = false;
    bool reportPending = false;
    for (const input_event& e : events) {
        if (e.type == EV_SYN) {
            FUZZ_CHECK(e.code == SYN_REPORT);
            reportPending = false;
            continue;
        }
        FUZZ_CHECK(e.type == EV_KEY);
        // One key change per report: a client never sees a press and its release at once.
        FUZZ_CHECK(!reportPending);
        reportPending = true;
        FUZZ_CHECK(e.value == 0 || e.value == 1);
        if (e.value == 1) {
            FUZZ_CHECK(down.insert(e.code).second);
        } else {
            FUZZ_CHECK(down.erase(e.code) == 1);
        }
        if (e.code == KEY_LEFTSHIFT || e.code == KEY_RIGHTSHIFT) {
            shift = e.value == 1;
            continue;
        }
        if (e.value == 1) {
            // Only one character key down at a time.
            FUZZ_CHECK(down.size() == (shift ? 2u : 1u));
            const auto key = layout().keys.find(e.code);
            FUZZ_CHECK(key != layout().keys.end());
            text += shift ? key->second.second : key->second.first;
        }
    }
    FUZZ_CHECK(!reportPending);
    FUZZ_CHECK(down.empty());
    FUZZ_CHECK(text == expected);
    return 0;
}
