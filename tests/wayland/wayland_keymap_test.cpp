// The fixed keymap, compiled by xkbcommon as a compositor and its clients do, and every byte
// pressed on a simulated keyboard with it.
#include <gtest/gtest.h>
#include <xkbcommon/xkbcommon.h>

#include <map>
#include <string>

#include "platform/wayland/fixed_keymap.h"

namespace {

using platform::wayland::fixedStroke;

std::string utf8Of(std::uint32_t c) {
    std::string out;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else {
        out += static_cast<char>(0xc0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3f));
    }
    return out;
}

TEST(FixedKeymap, EveryByteTypesItsOwnCharacterOnAKeyBelow256) {
    xkb_context* context = xkb_context_new(static_cast<xkb_context_flags>(
        XKB_CONTEXT_NO_DEFAULT_INCLUDES | XKB_CONTEXT_NO_ENVIRONMENT_NAMES));
    ASSERT_NE(context, nullptr);
    const std::string& text = platform::wayland::fixedKeymapText();
    xkb_keymap* keymap = xkb_keymap_new_from_string(
        context, text.c_str(), XKB_KEYMAP_FORMAT_TEXT_V1, XKB_KEYMAP_COMPILE_NO_FLAGS);
    ASSERT_NE(keymap, nullptr) << text;
    EXPECT_LE(xkb_keymap_max_keycode(keymap), 255u) << "Xwayland takes no keycode above 255";
    xkb_state* state = xkb_state_new(keymap);
    const xkb_mod_index_t shift = xkb_keymap_mod_get_index(keymap, XKB_MOD_NAME_SHIFT);
    ASSERT_EQ(1u << shift, platform::wayland::kFixedShiftMask);

    std::map<std::pair<std::uint32_t, bool>, int> seen;
    for (int c = 0x01; c <= 0xff; ++c) {
        const auto stroke = fixedStroke(static_cast<std::uint16_t>(c));
        if (c >= 0x80 && c < 0xa0) {
            EXPECT_FALSE(stroke) << "C1 control " << c << " is not typed";
            continue;
        }
        ASSERT_TRUE(stroke) << c;
        const auto [it, fresh] = seen.emplace(std::make_pair(stroke->keycode, stroke->shift), c);
        EXPECT_TRUE(fresh) << c << " and " << it->second << " share a key and level";
        // Our modifiers only: Shift for the second level, nothing latched or locked.
        xkb_state_update_mask(state, stroke->shift ? platform::wayland::kFixedShiftMask : 0, 0, 0,
                              0, 0, 0);
        char buf[8] = {};
        xkb_state_key_get_utf8(state, stroke->keycode, buf, sizeof buf);
        EXPECT_EQ(std::string(buf), utf8Of(static_cast<std::uint32_t>(c))) << "byte " << c;
        const xkb_keysym_t sym = xkb_state_key_get_one_sym(state, stroke->keycode);
        switch (c) {
            case 13:
                EXPECT_EQ(sym, static_cast<xkb_keysym_t>(XKB_KEY_Return));
                break;
            case 10:
                EXPECT_EQ(sym, static_cast<xkb_keysym_t>(XKB_KEY_Linefeed));
                break;
            case 0x7f:
                EXPECT_EQ(sym, 0x100007fu) << "DEL is the character, not the Delete key";
                break;
            default:
                break;
        }
    }
    EXPECT_FALSE(fixedStroke(0));
    EXPECT_FALSE(fixedStroke(0x100));
    xkb_state_unref(state);
    xkb_keymap_unref(keymap);
    xkb_context_unref(context);
}

}  // namespace
