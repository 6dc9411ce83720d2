#include "platform/uinput/us_keymap.h"

#include <linux/input-event-codes.h>

#include <algorithm>
#include <array>

namespace platform {
namespace {

struct Entry {
    std::uint16_t code;  // 0: no key
    bool shift;
};

// Indexed by the ASCII code 0..127.
constexpr std::array<Entry, 128> kUsAscii = [] {
    std::array<Entry, 128> t{};
    auto set = [&t](char c, std::uint16_t code, bool shift) {
        t[static_cast<unsigned char>(c)] = Entry{code, shift};
    };
    t[8] = {KEY_BACKSPACE, false};
    t[9] = {KEY_TAB, false};
    t[10] = {KEY_LINEFEED, false};  // the Linefeed key, as the X11 sink's Linefeed keysym
    t[13] = {KEY_ENTER, false};
    t[27] = {KEY_ESC, false};
    // No key types DEL (0x7F): the Delete key deletes the character after the cursor instead.

    const std::uint16_t letters[26] = {
        KEY_A, KEY_B, KEY_C, KEY_D, KEY_E, KEY_F, KEY_G, KEY_H, KEY_I, KEY_J, KEY_K, KEY_L, KEY_M,
        KEY_N, KEY_O, KEY_P, KEY_Q, KEY_R, KEY_S, KEY_T, KEY_U, KEY_V, KEY_W, KEY_X, KEY_Y, KEY_Z};
    for (int i = 0; i < 26; ++i) {
        set(static_cast<char>('a' + i), letters[i], false);
        set(static_cast<char>('A' + i), letters[i], true);
    }
    const std::uint16_t digits[10] = {KEY_0, KEY_1, KEY_2, KEY_3, KEY_4,
                                      KEY_5, KEY_6, KEY_7, KEY_8, KEY_9};
    const char shiftedDigits[10] = {')', '!', '@', '#', '$', '%', '^', '&', '*', '('};
    for (int i = 0; i < 10; ++i) {
        set(static_cast<char>('0' + i), digits[i], false);
        set(shiftedDigits[i], digits[i], true);
    }
    set(' ', KEY_SPACE, false);
    set('-', KEY_MINUS, false);
    set('_', KEY_MINUS, true);
    set('=', KEY_EQUAL, false);
    set('+', KEY_EQUAL, true);
    set('[', KEY_LEFTBRACE, false);
    set('{', KEY_LEFTBRACE, true);
    set(']', KEY_RIGHTBRACE, false);
    set('}', KEY_RIGHTBRACE, true);
    set('\\', KEY_BACKSLASH, false);
    set('|', KEY_BACKSLASH, true);
    set(';', KEY_SEMICOLON, false);
    set(':', KEY_SEMICOLON, true);
    set('\'', KEY_APOSTROPHE, false);
    set('"', KEY_APOSTROPHE, true);
    set('`', KEY_GRAVE, false);
    set('~', KEY_GRAVE, true);
    set(',', KEY_COMMA, false);
    set('<', KEY_COMMA, true);
    set('.', KEY_DOT, false);
    set('>', KEY_DOT, true);
    set('/', KEY_SLASH, false);
    set('?', KEY_SLASH, true);
    return t;
}();

}  // namespace

std::optional<UsKey> usKeyFor(std::uint16_t codeUnit) {
    if (codeUnit >= kUsAscii.size()) {
        return std::nullopt;
    }
    const Entry& e = kUsAscii[codeUnit];
    if (e.code == 0) {
        return std::nullopt;
    }
    return UsKey{e.code, e.shift};
}

std::vector<std::uint16_t> usKeyboardKeyCodes() {
    std::vector<std::uint16_t> codes{KEY_LEFTSHIFT};
    for (const Entry& e : kUsAscii) {
        if (e.code != 0 && std::find(codes.begin(), codes.end(), e.code) == codes.end()) {
            codes.push_back(e.code);
        }
    }
    return codes;
}

KeyPlan usKeyPlan() {
    KeyPlan plan;
    plan.shiftKey = KEY_LEFTSHIFT;
    plan.layoutName = "us (built in)";
    for (std::uint16_t unit = 0; unit < kUsAscii.size(); ++unit) {
        if (auto key = usKeyFor(unit)) {
            plan.strokes[unit] = KeyStroke{key->code, key->shift, false};
        }
    }
    return plan;
}

}  // namespace platform
