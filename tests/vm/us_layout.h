// What a US keyboard types for each Linux key code, written out independently of the uinput
// sink's own table, so a test that decodes the sink's events with it checks that table too.
#pragma once

#include <linux/input-event-codes.h>

#include <map>
#include <utility>

namespace evdev_us {

struct UsLayout {
    std::map<int, std::pair<char, char>> keys;  // key code -> (plain, with Shift)

    UsLayout() {
        const auto row = [this](const int* codes, const char* plain, const char* shifted) {
            for (int i = 0; plain[i] != 0; ++i) {
                keys[codes[i]] = {plain[i], shifted[i]};
            }
        };
        const int digits[] = {KEY_GRAVE, KEY_1, KEY_2, KEY_3, KEY_4,     KEY_5,    KEY_6,
                              KEY_7,     KEY_8, KEY_9, KEY_0, KEY_MINUS, KEY_EQUAL};
        row(digits, "`1234567890-=", "~!@#$%^&*()_+");
        const int top[] = {KEY_Q, KEY_W, KEY_E, KEY_R,         KEY_T,          KEY_Y,        KEY_U,
                           KEY_I, KEY_O, KEY_P, KEY_LEFTBRACE, KEY_RIGHTBRACE, KEY_BACKSLASH};
        row(top, "qwertyuiop[]\\", "QWERTYUIOP{}|");
        const int home[] = {KEY_A, KEY_S, KEY_D, KEY_F,         KEY_G,         KEY_H,
                            KEY_J, KEY_K, KEY_L, KEY_SEMICOLON, KEY_APOSTROPHE};
        row(home, "asdfghjkl;'", "ASDFGHJKL:\"");
        const int bottom[] = {KEY_Z, KEY_X, KEY_C,     KEY_V,   KEY_B,
                              KEY_N, KEY_M, KEY_COMMA, KEY_DOT, KEY_SLASH};
        row(bottom, "zxcvbnm,./", "ZXCVBNM<>?");
        keys[KEY_SPACE] = {' ', ' '};
        keys[KEY_TAB] = {'\t', '\t'};
        keys[KEY_ENTER] = {'\r', '\r'};
        keys[KEY_LINEFEED] = {'\n', '\n'};
        keys[KEY_BACKSPACE] = {'\b', '\b'};
        keys[KEY_ESC] = {'\x1B', '\x1B'};
    }
};

}  // namespace evdev_us
