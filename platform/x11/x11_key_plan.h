// How a code unit becomes key presses on an X server, without talking to one: the keysym of each
// code unit, what a key gives a client for a modifier state (as Xlib computes it), which key and
// Shift state type a keysym, and which keys may carry the keysyms a layout lacks.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace platform::x11 {

using Keysym = std::uint32_t;

constexpr Keysym kNoSymbol = 0;
constexpr unsigned kShiftMask = 1u << 0;
constexpr unsigned kLockMask = 1u << 1;
constexpr unsigned kNumLockMask = 1u << 4;  // Mod2 on every common layout

// The keysym that types this code unit, or none for NUL and the C1 controls 0x80-0x9F, which no
// X client receives faithfully.
std::optional<Keysym> keysymForCodeUnit(std::uint16_t codeUnit);

// The keysym Xlib turns `keysym` into when Caps Lock is on and the key's type does not consume
// it (Xlib's upper-case conversion).
Keysym lockedCase(Keysym keysym);
// The lower/upper-case partner that may share a key, or the keysym itself when it has none.
Keysym caseLower(Keysym keysym);
Keysym caseUpper(Keysym keysym);

// A copy of one device's XKB key map, as far as choosing keys needs it.
struct KeyTypeEntry {
    unsigned mods = 0;  // the entry applies when (state & type mask) == mods
    int level = 0;
    unsigned preserve = 0;
};
struct KeyType {
    unsigned mask = 0;
    std::vector<KeyTypeEntry> entries;
};
enum class OutOfRange { Wrap, Clamp, Redirect };
struct KeyGroup {
    int type = 0;                // index into Keymap::types
    std::vector<Keysym> levels;  // keysym per shift level
};
struct Key {
    std::vector<KeyGroup> groups;
    OutOfRange outOfRange = OutOfRange::Wrap;
    int redirectGroup = 0;
    unsigned modifiers = 0;  // the modifier map's bits for this key
    bool empty() const;
};
struct Keymap {
    int minKeycode = 8;
    int maxKeycode = 255;
    std::vector<KeyType> types;
    std::vector<Key> keys;  // indexed by keycode - minKeycode

    const Key* key(int keycode) const;
};

// The keysym a client reads from a press of `keycode` with these modifiers in this layout group,
// after Xlib's Caps Lock conversion; kNoSymbol when the key gives nothing.
Keysym producedKeysym(const Keymap& map, int keycode, unsigned mods, int group);

struct KeyStroke {
    int keycode = 0;
    bool shift = false;
    bool operator==(const KeyStroke&) const = default;
};

// The key that types `keysym` with Shift up or down, everything else as `lockedMods` and `group`
// leave it: the plain level is preferred, then the lowest keycode. Keys that bind modifiers are
// never used, nor is any level reached through AltGr or another modifier.
std::optional<KeyStroke> findStroke(const Keymap& map, Keysym keysym, unsigned lockedMods,
                                    int group);

// Every keysym that code units 1-255 type.
std::vector<Keysym> textKeysyms();

// The text keysyms that some state of the layout cannot type: any of its groups with Caps Lock
// and Num Lock on or off.
std::vector<Keysym> missingKeysyms(const Keymap& map, int groupCount);

// A spare key and the levels it gets: `upper` equals `lower` for a keysym without case partner.
struct SpareBinding {
    int keycode = 0;
    Keysym lower = kNoSymbol;
    Keysym upper = kNoSymbol;
};

// Keys for the missing keysyms: empty keys first, then keys that give no text keysym and bind no
// modifier, highest keycodes first. A case pair shares one key. Keysyms beyond the keys available
// are left out. `groupCount` as for missingKeysyms.
std::vector<SpareBinding> assignSpareKeys(const Keymap& map, const std::vector<Keysym>& missing,
                                          int groupCount);

}  // namespace platform::x11
