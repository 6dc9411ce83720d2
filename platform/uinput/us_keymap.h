// Which key of a US keyboard types a character: the uinput sink sends key codes, not characters,
// so the session's layout decides what appears. Only the US layout gives the intended text; other
// layouts, bytes from 0x80 up and control characters without a key of their own are not typed.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace platform {

struct UsKey {
    std::uint16_t code;  // Linux input key code (KEY_*)
    bool shift;          // typed with Shift held
};

// The key for one code unit, or nothing when a US keyboard has no key that types it.
std::optional<UsKey> usKeyFor(std::uint16_t codeUnit);

// Every key code usKeyFor can return, plus Left Shift: the keys the virtual keyboard declares.
std::vector<std::uint16_t> usKeyboardKeyCodes();

}  // namespace platform
