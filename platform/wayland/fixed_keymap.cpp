#include "platform/wayland/fixed_keymap.h"

#include <array>
#include <cstdio>
#include <vector>

namespace platform::wayland {

namespace {

constexpr std::uint32_t kBackSpace = 0xff08;
constexpr std::uint32_t kTab = 0xff09;
constexpr std::uint32_t kLinefeed = 0xff0a;
constexpr std::uint32_t kReturn = 0xff0d;
constexpr std::uint32_t kEscape = 0xff1b;
constexpr std::uint32_t kShiftL = 0xffe1;
constexpr std::uint32_t kUnicodeBase = 0x1000000;

// Control keys sit where evdev keyboards have them, for clients that look at key positions.
constexpr std::uint32_t kEscapeKey = 9;
constexpr std::uint32_t kBackSpaceKey = 22;
constexpr std::uint32_t kTabKey = 23;
constexpr std::uint32_t kReturnKey = 36;
constexpr std::uint32_t kShiftKey = 50;

bool latin1Lower(std::uint16_t c) {
    return (c >= 'a' && c <= 'z') || (c >= 0xe0 && c <= 0xfe && c != 0xf7);
}

struct Layout {
    std::array<std::optional<FixedStroke>, 256> strokes{};
    std::string text;
};

std::string keyName(std::uint32_t keycode) {
    return "<K" + std::to_string(keycode) + ">";
}

std::string hex(std::uint32_t keysym) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%x", keysym);
    return buf;
}

Layout build() {
    Layout layout;
    struct Key {
        std::uint32_t keycode;
        std::vector<std::uint16_t> units;  // level 1, optionally level 2
    };
    std::vector<Key> keys = {
        {kEscapeKey, {27}}, {kBackSpaceKey, {8}}, {kTabKey, {9}}, {kReturnKey, {13}}};
    std::array<bool, 256> placed{};
    std::array<bool, 256> used{};
    for (const Key& k : keys) {
        placed[k.units[0]] = true;
        used[k.keycode] = true;
    }
    used[kShiftKey] = true;
    std::uint32_t next = 9;
    auto freeKey = [&] {
        while (used[next]) {
            ++next;
        }
        used[next] = true;
        return next;
    };
    // Case pairs share a key, as on a real keyboard; the rest go two to a key in code order.
    for (std::uint16_t c = 1; c <= 0xff; ++c) {
        if (!placed[c] && latin1Lower(c)) {
            keys.push_back({freeKey(), {c, static_cast<std::uint16_t>(c - 0x20)}});
            placed[c] = placed[c - 0x20] = true;
        }
    }
    std::vector<std::uint16_t> rest;
    for (std::uint16_t c = 1; c <= 0xff; ++c) {
        if (!placed[c] && keysymForCodeUnit(c)) {
            rest.push_back(c);
        }
    }
    for (std::size_t i = 0; i < rest.size(); i += 2) {
        Key k{freeKey(), {rest[i]}};
        if (i + 1 < rest.size()) {
            k.units.push_back(rest[i + 1]);
        }
        keys.push_back(k);
    }

    std::string codes;
    std::string symbols;
    for (const Key& k : keys) {
        codes += "    " + keyName(k.keycode) + " = " + std::to_string(k.keycode) + ";\n";
        symbols += "    key " + keyName(k.keycode) + " { repeat = false, type = \"" +
                   (k.units.size() == 2 ? "TWO_LEVEL" : "ONE_LEVEL") + "\", symbols[Group1] = [ ";
        for (std::size_t level = 0; level < k.units.size(); ++level) {
            symbols += (level ? ", " : "") + hex(*keysymForCodeUnit(k.units[level]));
            layout.strokes[k.units[level]] = FixedStroke{k.keycode, level == 1};
        }
        symbols += " ] };\n";
    }
    codes += "    " + keyName(kShiftKey) + " = " + std::to_string(kShiftKey) + ";\n";
    symbols += "    key " + keyName(kShiftKey) +
               " { repeat = false, type = \"ONE_LEVEL\", symbols[Group1] = [ " + hex(kShiftL) +
               " ] };\n    modifier_map Shift { " + keyName(kShiftKey) + " };\n";
    layout.text =
        "xkb_keymap {\n"
        "xkb_keycodes \"pelmora\" {\n"
        "    minimum = 8;\n"
        "    maximum = 255;\n" +
        codes +
        // Xwayland's server crashes answering an indicator query about a keymap that has none.
        "    indicator 1 = \"Caps Lock\";\n"
        "};\n"
        "xkb_types \"pelmora\" {\n"
        // Xwayland compiles keymaps with xkbcomp and rejects one without a virtual modifier
        // section, keeping its own; nothing is bound to this one.
        "    virtual_modifiers NumLock;\n"
        "    type \"ONE_LEVEL\" { modifiers = none; level_name[Level1] = \"Any\"; };\n"
        "    type \"TWO_LEVEL\" {\n"
        "        modifiers = Shift;\n"
        "        map[Shift] = Level2;\n"
        "        level_name[Level1] = \"Base\";\n"
        "        level_name[Level2] = \"Shift\";\n"
        "    };\n"
        "};\n"
        "xkb_compatibility \"pelmora\" {\n"
        "    interpret Shift_L { action = SetMods(modifiers = Shift); };\n"
        "    indicator \"Caps Lock\" { whichModState = Locked; modifiers = Lock; };\n"
        "};\n"
        "xkb_symbols \"pelmora\" {\n" +
        symbols +
        "};\n"
        "};\n";
    return layout;
}

const Layout& layout() {
    static const Layout built = build();
    return built;
}

}  // namespace

std::optional<std::uint32_t> keysymForCodeUnit(std::uint16_t c) {
    switch (c) {
        case 8:
            return kBackSpace;
        case 9:
            return kTab;
        case 10:
            return kLinefeed;  // as the X11 sink types it
        case 13:
            return kReturn;
        case 27:
            return kEscape;
        default:
            break;
    }
    if (c == 0 || c > 0xff || (c >= 0x80 && c < 0xa0)) {
        return std::nullopt;
    }
    if (c < 0x20 || c == 0x7f) {
        return kUnicodeBase + c;
    }
    return c;  // Latin-1 keysyms equal their code points
}

std::optional<FixedStroke> fixedStroke(std::uint16_t codeUnit) {
    return codeUnit < 256 ? layout().strokes[codeUnit] : std::nullopt;
}

const std::string& fixedKeymapText() {
    return layout().text;
}

}  // namespace platform::wayland
