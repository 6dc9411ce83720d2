// Where typed keys go: the focused window of the desktop (X11, uinput, SendInput), standard
// output, or a recorder in the tests.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace platform {

class KeySink {
public:
    virtual ~KeySink() = default;

    // Around each block of sendKey calls; a sink may prepare its keymap before and flush after.
    virtual void beginBlock() {}
    // Types the character of one 16-bit code unit (a byte's value, or 13 for Enter).
    virtual void sendKey(std::uint16_t codeUnit) = 0;
    virtual void endBlock() {}

    // Why the sink can no longer type (its compositor or display went away), empty while it can.
    // A sink that failed stays failed: typing resumes through a new one.
    virtual std::string failure() const { return {}; }

    // Why the keys of the block just begun cannot reach the focused window although the sink
    // works (on Windows, a window of a more privileged process silently drops synthetic input);
    // empty while they can. The text names the window, so it differs from one window to the next.
    virtual std::string unreachableTarget() const { return {}; }
};

// Types nothing: the reader still reads, counts and records the scans.
class NullKeySink : public KeySink {
public:
    void sendKey(std::uint16_t) override {}
};

// The sink for this desktop session, chosen by the build and by what the session offers.
// Cheap to call: connections to the display or devices are made on first use.
std::unique_ptr<KeySink> makeDefaultKeySink();

}  // namespace platform
