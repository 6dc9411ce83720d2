// Which key of a US keyboard types a character: the plan the uinput sink falls back on when it
// cannot read the session's layout (no xkbcommon in the build). Bytes from 0x80 up, DEL and
// control characters without a key of their own are not typed.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/xkb/key_plan.h"

namespace platform {

struct UsKey {
    std::uint16_t code;  // Linux input key code (KEY_*)
    bool shift;          // typed with Shift held
};

// The key for one code unit, or nothing when a US keyboard has no key that types it.
std::optional<UsKey> usKeyFor(std::uint16_t codeUnit);

// Every key code usKeyFor can return, plus Left Shift: the keys the virtual keyboard declares.
std::vector<std::uint16_t> usKeyboardKeyCodes();

// The same table as a key plan.
KeyPlan usKeyPlan();

}  // namespace platform
