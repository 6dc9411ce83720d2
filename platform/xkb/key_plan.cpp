#include "platform/xkb/key_plan.h"

#include <algorithm>
#include <cstdio>

namespace platform {

std::optional<KeyStroke> KeyPlan::strokeFor(std::uint16_t codeUnit) const {
    if (codeUnit >= strokes.size()) {
        return std::nullopt;
    }
    return strokes[codeUnit];
}

std::vector<std::uint16_t> KeyPlan::keyCodes() const {
    std::vector<std::uint16_t> codes;
    const auto add = [&codes](std::uint16_t code) {
        if (code != 0 && std::find(codes.begin(), codes.end(), code) == codes.end()) {
            codes.push_back(code);
        }
    };
    add(shiftKey);
    add(altGrKey);
    for (const auto& stroke : strokes) {
        if (stroke) {
            add(stroke->key);
        }
    }
    return codes;
}

bool keyboardTypable(std::uint16_t c) {
    switch (c) {
        case 8:
        case 9:
        case 10:
        case 13:
        case 27:
            return true;
        default:
            return (c >= 0x20 && c < 0x7f) || (c >= 0xa0 && c <= 0xff);
    }
}

std::string describeCodeUnit(std::uint16_t c) {
    char text[32];
    if ((c >= 0x20 && c < 0x7f) || (c >= 0xa0 && c <= 0xff)) {
        // The character in UTF-8 after its number.
        char utf8[3] = {static_cast<char>(c), 0, 0};
        if (c >= 0x80) {
            utf8[0] = static_cast<char>(0xc0 | (c >> 6));
            utf8[1] = static_cast<char>(0x80 | (c & 0x3f));
        }
        std::snprintf(text, sizeof text, "U+%04X '%s'", static_cast<unsigned>(c), utf8);
    } else {
        std::snprintf(text, sizeof text, "U+%04X", static_cast<unsigned>(c));
    }
    return text;
}

}  // namespace platform
