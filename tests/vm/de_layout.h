// What a German (de) keyboard types for each Linux key code at its plain, Shift and AltGr
// levels, in Latin-1, written out from the layout's key caps independently of xkbcommon, so the
// guest test checks the sink's plan against it. 0: nothing typable there (dead keys, characters
// beyond Latin-1).
#pragma once

#include <linux/input-event-codes.h>

#include <array>
#include <map>

namespace evdev_de {

struct DeLayout {
    std::map<int, std::array<unsigned char, 3>> keys;  // key code -> plain, Shift, AltGr

    DeLayout() {
        const auto set = [this](int code, unsigned char plain, unsigned char shifted,
                                unsigned char altGr) {
            keys[code] = {plain, shifted, altGr};
        };
        set(KEY_GRAVE, 0, 0xB0, 0);  // dead circumflex, degree sign
        set(KEY_1, '1', '!', 0xB9);
        set(KEY_2, '2', '"', 0xB2);
        set(KEY_3, '3', 0xA7, 0xB3);
        set(KEY_4, '4', '$', 0xBC);
        set(KEY_5, '5', '%', 0xBD);
        set(KEY_6, '6', '&', 0xAC);
        set(KEY_7, '7', '/', '{');
        set(KEY_8, '8', '(', '[');
        set(KEY_9, '9', ')', ']');
        set(KEY_0, '0', '=', '}');
        set(KEY_MINUS, 0xDF, '?', '\\');
        set(KEY_EQUAL, 0, 0, 0);  // dead acute, dead grave
        set(KEY_Q, 'q', 'Q', '@');
        set(KEY_W, 'w', 'W', 0);
        set(KEY_E, 'e', 'E', 0);  // euro sign
        set(KEY_R, 'r', 'R', 0xB6);
        set(KEY_T, 't', 'T', 0);
        set(KEY_Y, 'z', 'Z', 0);
        set(KEY_U, 'u', 'U', 0);
        set(KEY_I, 'i', 'I', 0);
        set(KEY_O, 'o', 'O', 0xF8);
        set(KEY_P, 'p', 'P', 0xFE);
        set(KEY_LEFTBRACE, 0xFC, 0xDC, 0);
        set(KEY_RIGHTBRACE, '+', '*', '~');
        set(KEY_A, 'a', 'A', 0xE6);
        set(KEY_S, 's', 'S', 0);
        set(KEY_D, 'd', 'D', 0xF0);
        set(KEY_F, 'f', 'F', 0);
        set(KEY_G, 'g', 'G', 0);
        set(KEY_H, 'h', 'H', 0);
        set(KEY_J, 'j', 'J', 0);
        set(KEY_K, 'k', 'K', 0);
        set(KEY_L, 'l', 'L', 0);
        set(KEY_SEMICOLON, 0xF6, 0xD6, 0);
        set(KEY_APOSTROPHE, 0xE4, 0xC4, 0);
        set(KEY_BACKSLASH, '#', '\'', 0);
        set(KEY_102ND, '<', '>', '|');
        set(KEY_Z, 'y', 'Y', 0xBB);
        set(KEY_X, 'x', 'X', 0xAB);
        set(KEY_C, 'c', 'C', 0xA2);
        set(KEY_V, 'v', 'V', 0);
        set(KEY_B, 'b', 'B', 0);
        set(KEY_N, 'n', 'N', 0);
        set(KEY_M, 'm', 'M', 0xB5);
        set(KEY_COMMA, ',', ';', 0xB7);
        set(KEY_DOT, '.', ':', 0);
        set(KEY_SLASH, '-', '_', 0);
        set(KEY_SPACE, ' ', ' ', 0);
        set(KEY_TAB, '\t', '\t', 0);
        set(KEY_ENTER, '\r', '\r', 0);
        set(KEY_LINEFEED, '\n', '\n', 0);
        set(KEY_BACKSPACE, '\b', '\b', 0);
        set(KEY_ESC, '\x1B', '\x1B', 0);
    }
};

}  // namespace evdev_de
