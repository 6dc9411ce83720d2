// Key planning against small hand-made keymaps: no X server needed.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "platform/x11/x11_key_plan.h"

namespace {

using namespace platform::x11;

constexpr unsigned kMod5 = 1u << 7;  // AltGr on common layouts
enum TypeIndex { OneLevel, TwoLevel, Alphabetic, FourLevel };

Keymap baseMap() {
    Keymap m;
    m.minKeycode = 8;
    m.maxKeycode = 40;
    m.types = {
        {0, {}},
        {kShiftMask, {{kShiftMask, 1, 0}}},
        {kShiftMask | kLockMask, {{kShiftMask, 1, 0}, {kLockMask, 1, 0}}},
        {kShiftMask | kMod5, {{kShiftMask, 1, 0}, {kMod5, 2, 0}, {kShiftMask | kMod5, 3, 0}}},
    };
    m.keys.resize(static_cast<std::size_t>(m.maxKeycode - m.minKeycode + 1));
    return m;
}

void setKey(Keymap& m, int keycode, std::vector<KeyGroup> groups, unsigned modifiers = 0) {
    Key& k = m.keys[static_cast<std::size_t>(keycode - m.minKeycode)];
    k.groups = std::move(groups);
    k.modifiers = modifiers;
}

// A US-like map: a/A alphabetic, 1/! two-level, an AltGr-only e-acute, Shift and Caps Lock keys.
Keymap usLike() {
    Keymap m = baseMap();
    setKey(m, 10, {{TwoLevel, {'1', '!'}}});
    setKey(m, 20, {{Alphabetic, {'a', 'A'}}});
    setKey(m, 21, {{FourLevel, {'e', 'E', 0xe9, 0xc9}}});
    setKey(m, 22, {{TwoLevel, {0xb5, 0xb5}}});  // micro sign, Caps Lock not consumed
    setKey(m, 23, {{OneLevel, {0xff0d}}});      // Return
    setKey(m, 30, {{OneLevel, {0xffe1}}}, kShiftMask);
    setKey(m, 31, {{OneLevel, {0xffe5}}}, kLockMask);
    setKey(m, 32, {{OneLevel, {0xfe08}}});  // ISO_Next_Group: changes the keyboard state
    setKey(m, 33, {{OneLevel, {0xffbe}}});  // F1
    return m;
}

TEST(X11KeyPlan, KeysymPerCodeUnit) {
    const std::vector<std::pair<std::uint16_t, std::optional<Keysym>>> table = {
        {0x00, std::nullopt}, {0x01, 0x1000001},    {0x08, 0xff08},       {0x09, 0xff09},
        {0x0a, 0xff0a},       {0x0d, 0xff0d},       {0x1b, 0xff1b},       {0x1d, 0x100001d},
        {0x1f, 0x100001f},    {0x20, 0x20},         {0x41, 0x41},         {0x7e, 0x7e},
        {0x7f, 0x100007f},    {0x80, std::nullopt}, {0x9f, std::nullopt}, {0xa0, 0xa0},
        {0xe9, 0xe9},         {0xff, 0xff},         {0x20ac, 0x10020ac},  {0xd800, std::nullopt},
    };
    for (const auto& [unit, keysym] : table) {
        EXPECT_EQ(keysymForCodeUnit(unit), keysym) << std::hex << unit;
    }
    const std::vector<Keysym> text = textKeysyms();
    EXPECT_EQ(text.size(), 127u + 96u);  // 1-0x7F and 0xA0-0xFF
    EXPECT_EQ(std::set<Keysym>(text.begin(), text.end()).size(), text.size());
}

TEST(X11KeyPlan, CaseAsXlibSeesIt) {
    EXPECT_EQ(caseUpper('a'), Keysym('A'));
    EXPECT_EQ(caseUpper(0xe9), Keysym(0xc9));
    EXPECT_EQ(caseUpper(0xf7), Keysym(0xf7));  // division sign has no case
    EXPECT_EQ(caseUpper(0xdf), Keysym(0xdf));  // sharp s stays
    EXPECT_EQ(caseLower(0xde), Keysym(0xfe));
    EXPECT_EQ(caseLower(0xd7), Keysym(0xd7));   // multiplication sign
    EXPECT_NE(lockedCase(0xb5), Keysym(0xb5));  // micro sign becomes Greek capital mu
    EXPECT_NE(lockedCase(0xff), Keysym(0xff));  // y diaeresis becomes a non-Latin-1 capital
    EXPECT_EQ(lockedCase('1'), Keysym('1'));
}

TEST(X11KeyPlan, LevelsWithShiftAndCapsLock) {
    const Keymap m = usLike();
    EXPECT_EQ(producedKeysym(m, 20, 0, 0), Keysym('a'));
    EXPECT_EQ(producedKeysym(m, 20, kShiftMask, 0), Keysym('A'));
    EXPECT_EQ(producedKeysym(m, 20, kLockMask, 0), Keysym('A'));
    EXPECT_EQ(producedKeysym(m, 20, kLockMask | kShiftMask, 0), Keysym('a'));
    EXPECT_EQ(producedKeysym(m, 10, kLockMask, 0), Keysym('1'));
    EXPECT_EQ(producedKeysym(m, 21, kLockMask, 0), Keysym('E'));  // Lock not consumed: Xlib
    EXPECT_EQ(producedKeysym(m, 21, kMod5, 0), Keysym(0xe9));
    EXPECT_EQ(producedKeysym(m, 22, kLockMask, 0), lockedCase(0xb5));
    EXPECT_EQ(producedKeysym(m, 12, 0, 0), kNoSymbol);  // empty key
    EXPECT_EQ(producedKeysym(m, 99, 0, 0), kNoSymbol);  // outside the map
}

TEST(X11KeyPlan, StrokesUsePlainOrShiftOnly) {
    const Keymap m = usLike();
    EXPECT_EQ(findStroke(m, 'a', 0, 0), (KeyStroke{20, false}));
    EXPECT_EQ(findStroke(m, 'A', 0, 0), (KeyStroke{20, true}));
    EXPECT_EQ(findStroke(m, '!', 0, 0), (KeyStroke{10, true}));
    EXPECT_EQ(findStroke(m, 0xff0d, 0, 0), (KeyStroke{23, false}));
    // Caps Lock on: the capital is the plain level, the small letter needs Shift.
    EXPECT_EQ(findStroke(m, 'A', kLockMask, 0), (KeyStroke{20, false}));
    EXPECT_EQ(findStroke(m, 'a', kLockMask, 0), (KeyStroke{20, true}));
    EXPECT_EQ(findStroke(m, 'e', kLockMask, 0), std::nullopt);  // both levels give E
    EXPECT_EQ(findStroke(m, 0xb5, 0, 0), (KeyStroke{22, false}));
    EXPECT_EQ(findStroke(m, 0xb5, kLockMask, 0), std::nullopt);
    // Never through AltGr, never a modifier key.
    EXPECT_EQ(findStroke(m, 0xe9, 0, 0), std::nullopt);
    EXPECT_EQ(findStroke(m, 0xffe1, 0, 0), std::nullopt);
}

TEST(X11KeyPlan, LayoutGroups) {
    Keymap m = usLike();
    setKey(m, 24, {{TwoLevel, {'y', 'Y'}}, {TwoLevel, {'z', 'Z'}}});
    EXPECT_EQ(findStroke(m, 'z', 0, 1), (KeyStroke{24, false}));
    EXPECT_EQ(findStroke(m, 'z', 0, 0), std::nullopt);
    // A one-group key wraps into any group; a clamped two-group key stays in its last one.
    EXPECT_EQ(findStroke(m, 'a', 0, 1), (KeyStroke{20, false}));
    EXPECT_EQ(producedKeysym(m, 24, 0, 2), Keysym('y'));
    m.keys[24 - 8].outOfRange = OutOfRange::Clamp;
    EXPECT_EQ(producedKeysym(m, 24, 0, 3), Keysym('z'));
    m.keys[24 - 8].outOfRange = OutOfRange::Redirect;
    m.keys[24 - 8].redirectGroup = 1;
    EXPECT_EQ(producedKeysym(m, 24, 0, 3), Keysym('z'));
}

TEST(X11KeyPlan, MissingCoversEveryLockStateAndGroup) {
    Keymap m = usLike();
    setKey(m, 24, {{Alphabetic, {'y', 'Y'}}, {Alphabetic, {'z', 'Z'}}});
    const std::vector<Keysym> oneGroup = missingKeysyms(m, 1);
    auto has = [](const std::vector<Keysym>& v, Keysym k) {
        return std::find(v.begin(), v.end(), k) != v.end();
    };
    EXPECT_FALSE(has(oneGroup, 'a'));
    EXPECT_FALSE(has(oneGroup, 'A'));
    EXPECT_FALSE(has(oneGroup, 'y'));
    EXPECT_TRUE(has(oneGroup, 'z'));   // only in the second group
    EXPECT_TRUE(has(oneGroup, 0xe9));  // only through AltGr
    EXPECT_TRUE(has(oneGroup, 'e'));   // lost under Caps Lock
    EXPECT_TRUE(has(oneGroup, 0xb5));  // lost under Caps Lock
    EXPECT_TRUE(has(oneGroup, 0x1000001));
    const std::vector<Keysym> twoGroups = missingKeysyms(m, 2);
    EXPECT_TRUE(has(twoGroups, 'y'));  // the second group lacks it
}

TEST(X11KeyPlan, SpareKeysAvoidTextModifiersAndStateKeys) {
    const Keymap m = usLike();
    const std::vector<SpareBinding> b = assignSpareKeys(m, {0xe9, 0xc9, 0xb5, 0x1000001}, 1);
    ASSERT_EQ(b.size(), 3u);      // e-acute and its capital share a key
    EXPECT_EQ(b[0].keycode, 40);  // empty keys first, from the top
    EXPECT_EQ(b[0].lower, Keysym(0xe9));
    EXPECT_EQ(b[0].upper, Keysym(0xc9));
    EXPECT_EQ(b[1].lower, Keysym(0xb5));
    EXPECT_EQ(b[1].upper, Keysym(0xb5));
    std::set<int> used;
    for (const SpareBinding& s : b) {
        used.insert(s.keycode);
        EXPECT_FALSE(s.keycode == 10 || s.keycode == 20 || s.keycode == 21 || s.keycode == 22 ||
                     s.keycode == 23 || s.keycode == 30 || s.keycode == 31 || s.keycode == 32)
            << s.keycode;
    }
    EXPECT_EQ(used.size(), b.size());
}

TEST(X11KeyPlan, SpareKeysRunOutWithoutOverlap) {
    Keymap m = baseMap();
    m.maxKeycode = 12;
    m.keys.resize(5);
    setKey(m, 8, {{OneLevel, {0xffe1}}}, kShiftMask);
    setKey(m, 9, {{OneLevel, {0xffbe}}});  // F1: usable once the empty keys are gone
    const std::vector<Keysym> missing = missingKeysyms(m, 1);
    const std::vector<SpareBinding> b = assignSpareKeys(m, missing, 1);
    ASSERT_EQ(b.size(), 4u);
    EXPECT_EQ(b[0].keycode, 12);
    EXPECT_EQ(b[1].keycode, 11);
    EXPECT_EQ(b[2].keycode, 10);
    EXPECT_EQ(b[3].keycode, 9);
}

}  // namespace
