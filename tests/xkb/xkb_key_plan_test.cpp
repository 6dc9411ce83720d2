// The key plan made from real layouts: the keys and levels each character needs, Caps Lock, a
// second group, dead keys, DEL; cross-checked against xkbcli how-to-type where installed.
#include <gtest/gtest.h>
#include <linux/input-event-codes.h>

#include <cstdio>
#include <sstream>
#include <string>

#include "platform/xkb/session_layout.h"
#include "platform/xkb/xkb_key_plan.h"

namespace {

using platform::KeyPlan;
using platform::KeyStroke;

platform::XkbKeymapPtr keymap(const std::string& layout, const std::string& variant = "") {
    std::string error;
    platform::XkbKeymapPtr map = platform::compileKeymap({"", "", layout, variant, ""}, error);
    EXPECT_TRUE(map) << error;
    return map;
}

constexpr KeyStroke plain(std::uint16_t key) {
    return {key, false, false};
}
constexpr KeyStroke shifted(std::uint16_t key) {
    return {key, true, false};
}
constexpr KeyStroke altGr(std::uint16_t key) {
    return {key, false, true};
}

struct Case {
    std::uint16_t unit;
    std::optional<KeyStroke> stroke;
};

void expectStrokes(const KeyPlan& plan, const std::string& what,
                   std::initializer_list<Case> cases) {
    for (const Case& c : cases) {
        EXPECT_EQ(plan.strokeFor(c.unit), c.stroke)
            << what << ": " << platform::describeCodeUnit(c.unit);
    }
}

TEST(XkbKeyPlan, KeysAndLevelsOnFourLayouts) {
    const auto us = keymap("us");
    const auto de = keymap("de");
    const auto fr = keymap("fr");
    const auto gb = keymap("gb");
    ASSERT_TRUE(us && de && fr && gb);
    expectStrokes(platform::planKeys(us.get(), 0, false), "us",
                  {{'a', plain(KEY_A)},
                   {'A', shifted(KEY_A)},
                   {'@', shifted(KEY_2)},
                   {'\r', plain(KEY_ENTER)},
                   {'\t', plain(KEY_TAB)},
                   {'*', shifted(KEY_8)},  // not the keypad's, which follows Num Lock
                   {0xE9, std::nullopt}});
    const KeyPlan dePlan = platform::planKeys(de.get(), 0, false);
    EXPECT_EQ(dePlan.shiftKey, KEY_LEFTSHIFT);
    EXPECT_EQ(dePlan.altGrKey, KEY_RIGHTALT);
    expectStrokes(dePlan, "de",
                  {{'y', plain(KEY_Z)},
                   {'z', plain(KEY_Y)},
                   {0xE4, plain(KEY_APOSTROPHE)},   // ä
                   {0xDC, shifted(KEY_LEFTBRACE)},  // Ü
                   {0xDF, plain(KEY_MINUS)},        // ß
                   {'@', altGr(KEY_Q)},
                   {'|', altGr(KEY_102ND)},
                   {'{', altGr(KEY_7)},
                   {'(', shifted(KEY_8)},  // not the plain keypad parenthesis of evdev keymaps
                   {'$', shifted(KEY_4)},  // nor the Dollar key, beyond what X clients reach
                   {'^', std::nullopt},    // dead keys only
                   {'`', std::nullopt},
                   {0xB4, std::nullopt}});
    expectStrokes(platform::planKeys(fr.get(), 0, false), "fr",
                  {{'a', plain(KEY_Q)},
                   {'q', plain(KEY_A)},
                   {'m', plain(KEY_SEMICOLON)},
                   {'1', shifted(KEY_1)},
                   {0xE9, plain(KEY_2)},  // é
                   {0xE7, plain(KEY_9)},  // ç
                   {'@', altGr(KEY_0)},
                   {0xEA, std::nullopt}});  // ê: dead circumflex only
    expectStrokes(platform::planKeys(gb.get(), 0, false), "gb",
                  {{0xA3, shifted(KEY_3)},  // £
                   {'"', shifted(KEY_2)},
                   {'@', shifted(KEY_APOSTROPHE)},
                   {'#', plain(KEY_BACKSLASH)},
                   {0xAC, shifted(KEY_GRAVE)}});  // ¬
    // DEL, NUL, the other C0 controls and C1 on no layout.
    for (const auto* map : {us.get(), de.get(), fr.get(), gb.get()}) {
        for (const bool caps : {false, true}) {
            const KeyPlan plan = platform::planKeys(const_cast<xkb_keymap*>(map), 0, caps);
            for (std::uint16_t unit : {0x00, 0x01, 0x0B, 0x7F, 0x80, 0x9F}) {
                EXPECT_FALSE(plan.strokeFor(unit)) << platform::describeCodeUnit(unit);
            }
        }
    }
}

TEST(XkbKeyPlan, CapsLockSwapsTheLettersLevelsOnly) {
    const auto de = keymap("de");
    ASSERT_TRUE(de);
    expectStrokes(platform::planKeys(de.get(), 0, true), "de, Caps Lock",
                  {{'a', shifted(KEY_A)},
                   {'A', plain(KEY_A)},
                   {0xE4, shifted(KEY_APOSTROPHE)},
                   {0xC4, plain(KEY_APOSTROPHE)},
                   {'1', plain(KEY_1)},
                   {'!', shifted(KEY_1)},
                   {'@', altGr(KEY_Q)}});
}

TEST(XkbKeyPlan, TheActiveGroupDecides) {
    const auto usDe = keymap("us,de");
    ASSERT_TRUE(usDe);
    expectStrokes(platform::planKeys(usDe.get(), 0, false), "us,de group 1",
                  {{'z', plain(KEY_Z)}, {0xE4, std::nullopt}});
    expectStrokes(platform::planKeys(usDe.get(), 1, false), "us,de group 2",
                  {{'z', plain(KEY_Y)}, {0xE4, plain(KEY_APOSTROPHE)}});
    expectStrokes(platform::planKeys(usDe.get(), 2, false), "us,de group 3 wraps",
                  {{'z', plain(KEY_Z)}});
    // A variant without dead keys makes ^ and ` typable.
    const auto deNoDead = keymap("de", "nodeadkeys");
    ASSERT_TRUE(deNoDead);
    expectStrokes(platform::planKeys(deNoDead.get(), 0, false), "de(nodeadkeys)",
                  {{'^', plain(KEY_GRAVE)}});
}

TEST(XkbKeyPlan, UnknownLayoutIsAnError) {
    std::string error;
    EXPECT_FALSE(platform::compileKeymap({"", "", "xx-no-such", "", ""}, error));
    EXPECT_NE(error.find("xx-no-such"), std::string::npos) << error;
}

#ifdef PELMORA_XKBCLI
// Every stroke of the de and fr plans, level 4 (Shift+AltGr) included, is one xkbcommon's own
// tool lists for that character.
TEST(XkbKeyPlan, AgreesWithXkbcliHowToType) {
    for (const std::string layout : {"de", "fr"}) {
        const auto map = keymap(layout);
        ASSERT_TRUE(map);
        const KeyPlan plan = platform::planKeys(map.get(), 0, false, true);
        int checked = 0;
        int level4 = 0;
        for (std::uint16_t unit = 0x20; unit <= 0xFF; ++unit) {
            const auto stroke = plan.strokeFor(unit);
            if (!stroke) {
                continue;
            }
            const std::string command = std::string(PELMORA_XKBCLI) + " how-to-type --layout " +
                                        layout + " " + std::to_string(unit) + " 2>/dev/null";
            FILE* pipe = ::popen(command.c_str(), "r");
            ASSERT_NE(pipe, nullptr);
            std::string out;
            char buffer[512];
            while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
                out += buffer;
            }
            ::pclose(pipe);
            const int level = stroke->shift && stroke->altGr ? 4
                              : stroke->shift                ? 2
                              : stroke->altGr                ? 3
                                                             : 1;
            level4 += level == 4;
            // Lines: KEYCODE KEYNAME LAYOUT# LAYOUT-NAME LEVEL# [MODIFIERS]
            bool listed = false;
            std::istringstream lines(out);
            std::string line;
            while (std::getline(lines, line)) {
                std::istringstream fields(line);
                unsigned keycode = 0;
                if (!(fields >> keycode) || keycode != stroke->key + 8u) {
                    continue;
                }
                const std::size_t bracket = line.find('[');
                std::istringstream beforeMods(line.substr(0, bracket));
                std::string field, last;
                while (beforeMods >> field) {
                    last = field;
                }
                listed = listed || last == std::to_string(level);
            }
            EXPECT_TRUE(listed) << layout << " " << platform::describeCodeUnit(unit) << " key "
                                << stroke->key << " level " << level << ":\n"
                                << out;
            ++checked;
        }
        EXPECT_GT(checked, 95) << layout;
        EXPECT_GT(level4, 5) << layout;
    }
}
#endif

TEST(SessionLayout, ParsesWhatEachSourceSays) {
    auto option = platform::parseLayoutOption("us,de:nodeadkeys");
    ASSERT_TRUE(option);
    EXPECT_EQ(option->layout, "us,de");
    EXPECT_EQ(option->variant, ",nodeadkeys");
    EXPECT_EQ(option->describe(), "us,de(nodeadkeys)");
    EXPECT_EQ(platform::parseLayoutOption("de")->variant, "");
    EXPECT_FALSE(platform::parseLayoutOption("de;rm -rf"));
    EXPECT_FALSE(platform::parseLayoutOption(""));

    const platform::LayoutNames debian = platform::parseDefaultKeyboard(
        "# comment\nXKBMODEL=\"pc105\"\nXKBLAYOUT=\"fr\"\nXKBVARIANT=\"\"\n"
        "XKBOPTIONS='compose:ralt'\nBACKSPACE=\"guess\"\n");
    EXPECT_EQ(debian.model, "pc105");
    EXPECT_EQ(debian.layout, "fr");
    EXPECT_EQ(debian.variant, "");
    EXPECT_EQ(debian.options, "compose:ralt");

    auto gnome =
        platform::parseGnomeSources("[('xkb', 'us'), ('ibus', 'anthy'), ('xkb', 'de+neo')]",
                                    "[('xkb', 'de+neo'), ('xkb', 'us')]");
    ASSERT_TRUE(gnome);
    EXPECT_EQ(gnome->names.layout, "us,de");
    EXPECT_EQ(gnome->names.variant, ",neo");
    EXPECT_EQ(gnome->group, 1u);
    EXPECT_FALSE(platform::parseGnomeSources("@a(ss) []", "@a(ss) []"));

    auto kde = platform::parseKxkbrc(
        "[Layout]\nDisplayNames=,\nLayoutList=us,ru\nUse=true\nVariantList=,\nOptions=grp:alt_"
        "shift_toggle\n");
    ASSERT_TRUE(kde);
    EXPECT_EQ(kde->layout, "us,ru");
    EXPECT_EQ(kde->variant, "");
    EXPECT_EQ(kde->options, "grp:alt_shift_toggle");
    EXPECT_FALSE(platform::parseKxkbrc("[Layout]\nLayoutList=us,ru\nUse=false\n"));

    EXPECT_EQ(platform::parseSwayActiveLayout(
                  R"([{"identifier":"1:1:kbd","type":"keyboard","xkb_active_layout_index": 2}])"),
              2u);
    EXPECT_FALSE(platform::parseSwayActiveLayout("[]"));
}

}  // namespace
