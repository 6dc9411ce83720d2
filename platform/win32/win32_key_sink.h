// Typing through SendInput: each code unit is one Unicode key press and release, so any
// character from U+0000 to U+FFFF arrives whatever the keyboard layout.
#pragma once

#include <windows.h>

#include <cstdint>

#include "platform/key_sink.h"

namespace platform::win32 {

// Key down then key up, both KEYEVENTF_UNICODE with the code unit as the scan code.
void fillUnicodeKeyInputs(std::uint16_t codeUnit, INPUT (&records)[2]);

class SendInputKeySink : public KeySink {
public:
    void sendKey(std::uint16_t codeUnit) override;
};

}  // namespace platform::win32
