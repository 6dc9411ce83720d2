// Which keys of a Linux keyboard type each code unit on the session's layout: the uinput sink
// sends key codes, and the compositor turns them into characters with the user's keymap, so the
// keys are chosen from that keymap (xkb_key_plan.h). Free of xkbcommon, so a static program
// can carry a plan made elsewhere.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

struct KeyStroke {
    std::uint16_t key = 0;  // Linux input key code (KEY_*)
    bool shift = false;     // with the plan's Shift key held
    bool altGr = false;     // with the plan's AltGr (ISO_Level3_Shift) key held; both: level 4
    bool operator==(const KeyStroke&) const = default;
};

struct KeyPlan {
    std::array<std::optional<KeyStroke>, 256> strokes{};
    std::uint16_t shiftKey = 0;  // 0 when the layout has no Shift key
    std::uint16_t altGrKey = 0;  // 0 when the layout has no AltGr
    std::string layoutName;      // what the plan was made for, for messages

    // The stroke for a code unit, or nothing when the layout cannot type it with the levels the
    // plan was made for.
    std::optional<KeyStroke> strokeFor(std::uint16_t codeUnit) const;
    // Every key a stroke uses, modifiers included: the keys a virtual keyboard declares.
    std::vector<std::uint16_t> keyCodes() const;
};

// The code units a keyboard may type at all: printable Latin-1 and the controls that have keys
// of their own (BackSpace, Tab, Linefeed, Return, Escape). Never NUL, the other C0 controls
// (only Ctrl+letter, a shortcut to applications), DEL (no layout has a key that types U+007F;
// the Delete key deletes the character after the cursor) or C1.
bool keyboardTypable(std::uint16_t codeUnit);

// "U+00E9 'é'" style, for messages about a character.
std::string describeCodeUnit(std::uint16_t codeUnit);

}  // namespace platform
