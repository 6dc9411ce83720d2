// Typing through SendInput: each code unit is one Unicode key press and release, so any
// character from U+0000 to U+FFFF arrives whatever the keyboard layout.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "platform/key_sink.h"

namespace platform::win32 {

// Key down then key up, both KEYEVENTF_UNICODE with the code unit as the scan code.
void fillUnicodeKeyInputs(std::uint16_t codeUnit, INPUT (&records)[2]);

// The mandatory integrity level (a SECURITY_MANDATORY_*_RID) of a process token, or -1.
long tokenIntegrity(HANDLE token);

// Whether keys sent from this process can reach `window`: UIPI drops input into a window of a
// process of higher integrity without an error. Empty when they can (or cannot be known); else
// says which window and why.
std::string unreachableWindow(HWND window);

class SendInputKeySink : public KeySink {
public:
    void beginBlock() override;
    void sendKey(std::uint16_t codeUnit) override;
    std::string unreachableTarget() const override { return m_unreachable; }

private:
    HWND m_checkedWindow = nullptr;
    DWORD m_checkedProcess = 0;
    std::string m_unreachable;
};

}  // namespace platform::win32
