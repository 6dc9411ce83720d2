// Pelmora's own keymap for the compositor's virtual keyboard: every character Pelmora types sits
// on a key of its own below keycode 256 (Xwayland takes no higher ones), at the plain or the Shift
// level, so the user's layout, Caps Lock and layout group have no say in what arrives. No key
// repeats (for the clients that read that from the keymap; Xwayland keeps its own per-key
// setting), and the keymap carries what Xwayland's compiler needs to accept it whole.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace platform::wayland {

// The keysym that types this code unit: Latin-1 keysyms for the printable characters, BackSpace,
// Tab, Linefeed, Return and Escape for their controls, the Unicode keysym of the character for
// the other C0 controls and DEL (the Delete key is an editing command, not the character). None
// for NUL, the C1 controls 0x80-0x9F and anything beyond 0xFF.
std::optional<std::uint32_t> keysymForCodeUnit(std::uint16_t codeUnit);

struct FixedStroke {
    std::uint32_t keycode = 0;  // XKB keycode: the protocol's key number plus 8
    bool shift = false;         // typed with the Shift modifier set
};

// The key and level of a code unit in the fixed keymap.
std::optional<FixedStroke> fixedStroke(std::uint16_t codeUnit);

// The keymap in XKB text form (format xkb_v1), without the terminating NUL.
const std::string& fixedKeymapText();

// The modifier mask of Shift in the fixed keymap (Shift is always XKB's first modifier).
constexpr std::uint32_t kFixedShiftMask = 1u << 0;

}  // namespace platform::wayland
