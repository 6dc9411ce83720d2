#include "platform/x11/x11_key_plan.h"

#include <algorithm>
#include <set>

namespace platform::x11 {

namespace {

constexpr Keysym kBackSpace = 0xff08;
constexpr Keysym kTab = 0xff09;
constexpr Keysym kLinefeed = 0xff0a;
constexpr Keysym kReturn = 0xff0d;
constexpr Keysym kEscape = 0xff1b;
constexpr Keysym kUnicodeBase = 0x1000000;

bool isLatin1Lower(Keysym k) {
    return (k >= 'a' && k <= 'z') || (k >= 0xe0 && k <= 0xfe && k != 0xf7);
}
bool isLatin1Upper(Keysym k) {
    return (k >= 'A' && k <= 'Z') || (k >= 0xc0 && k <= 0xde && k != 0xd7);
}

// Keys whose keysyms act on the keyboard state: typing over them could lock a modifier or group.
bool isStateKeysym(Keysym k) {
    return (k >= 0xfe01 && k <= 0xfe0f)     // ISO level and group shifts and locks
           || (k >= 0xffe1 && k <= 0xffee)  // Shift, Control, Caps Lock, Meta, Alt, Super, Hyper
           || k == 0xff7e                   // Mode_switch
           || k == 0xff7f                   // Num_Lock
           || k == 0xff14;                  // Scroll_Lock
}

int effectiveGroup(const Key& key, int group) {
    const int count = static_cast<int>(key.groups.size());
    if (group < count) {
        return group;
    }
    switch (key.outOfRange) {
        case OutOfRange::Clamp:
            return count - 1;
        case OutOfRange::Redirect:
            return key.redirectGroup < count ? key.redirectGroup : 0;
        case OutOfRange::Wrap:
            break;
    }
    return group % count;
}

}  // namespace

std::optional<Keysym> keysymForCodeUnit(std::uint16_t c) {
    switch (c) {
        case 0:
            return std::nullopt;
        case 8:
            return kBackSpace;
        case 9:
            return kTab;
        case 10:
            return kLinefeed;
        case 13:
            return kReturn;
        case 27:
            return kEscape;
        default:
            break;
    }
    if (c < 0x20 || c == 0x7f) {
        // Reaches the client as that control character. DEL too: the Delete key would delete
        // the character after the cursor in most toolkits.
        return kUnicodeBase + c;
    }
    if (c < 0x7f || (c >= 0xa0 && c <= 0xff)) {
        return c;  // Latin-1 keysyms equal their code points
    }
    if (c >= 0x80 && c < 0xa0) {
        return std::nullopt;
    }
    if (c >= 0xd800 && c <= 0xdfff) {
        return std::nullopt;  // half of a surrogate pair is no character
    }
    return kUnicodeBase + c;
}

Keysym caseUpper(Keysym k) {
    return isLatin1Lower(k) ? k - 0x20 : k;
}

Keysym caseLower(Keysym k) {
    return isLatin1Upper(k) ? k + 0x20 : k;
}

Keysym lockedCase(Keysym k) {
    // Xlib converts through Unicode: micro sign and y diaeresis have upper cases outside Latin-1.
    if (k == 0xb5) {
        return 0x39c;
    }
    if (k == 0xff) {
        return 0x178;
    }
    return caseUpper(k);
}

bool Key::empty() const {
    for (const KeyGroup& g : groups) {
        for (Keysym k : g.levels) {
            if (k != kNoSymbol) {
                return false;
            }
        }
    }
    return true;
}

const Key* Keymap::key(int keycode) const {
    const int index = keycode - minKeycode;
    if (keycode < minKeycode || keycode > maxKeycode || index >= static_cast<int>(keys.size())) {
        return nullptr;
    }
    return &keys[static_cast<std::size_t>(index)];
}

Keysym producedKeysym(const Keymap& map, int keycode, unsigned mods, int group) {
    const Key* key = map.key(keycode);
    if (key == nullptr || key->groups.empty()) {
        return kNoSymbol;
    }
    const KeyGroup& g = key->groups[static_cast<std::size_t>(effectiveGroup(*key, group))];
    if (g.type < 0 || g.type >= static_cast<int>(map.types.size())) {
        return kNoSymbol;
    }
    const KeyType& type = map.types[static_cast<std::size_t>(g.type)];
    int level = 0;
    unsigned preserve = 0;
    for (const KeyTypeEntry& e : type.entries) {
        if ((mods & type.mask) == e.mods) {
            level = e.level;
            preserve = e.preserve;
            break;
        }
    }
    if (level < 0 || level >= static_cast<int>(g.levels.size())) {
        return kNoSymbol;
    }
    const Keysym k = g.levels[static_cast<std::size_t>(level)];
    const unsigned consumed = type.mask & ~preserve;
    if ((mods & ~consumed & kLockMask) != 0 && k != kNoSymbol) {
        return lockedCase(k);
    }
    return k;
}

std::optional<KeyStroke> findStroke(const Keymap& map, Keysym keysym, unsigned lockedMods,
                                    int group) {
    const unsigned base = lockedMods & ~kShiftMask;
    for (bool shift : {false, true}) {
        const unsigned mods = base | (shift ? kShiftMask : 0);
        for (int kc = map.minKeycode; kc <= map.maxKeycode; ++kc) {
            const Key* key = map.key(kc);
            if (key == nullptr || key->modifiers != 0) {
                continue;
            }
            if (producedKeysym(map, kc, mods, group) == keysym) {
                return KeyStroke{kc, shift};
            }
        }
    }
    return std::nullopt;
}

std::vector<Keysym> textKeysyms() {
    std::vector<Keysym> out;
    for (std::uint16_t c = 1; c <= 0xff; ++c) {
        if (auto k = keysymForCodeUnit(c)) {
            out.push_back(*k);
        }
    }
    return out;
}

namespace {

// What every reachable (keycode, shift) pair types in one state, for quick membership tests.
std::set<Keysym> reachable(const Keymap& map, unsigned lockedMods, int group) {
    std::set<Keysym> out;
    for (int kc = map.minKeycode; kc <= map.maxKeycode; ++kc) {
        const Key* key = map.key(kc);
        if (key == nullptr || key->modifiers != 0) {
            continue;
        }
        out.insert(producedKeysym(map, kc, lockedMods, group));
        out.insert(producedKeysym(map, kc, lockedMods | kShiftMask, group));
    }
    return out;
}

}  // namespace

std::vector<Keysym> missingKeysyms(const Keymap& map, int groupCount) {
    std::set<Keysym> missing;
    const std::vector<Keysym> text = textKeysyms();
    for (int group = 0; group < std::max(1, groupCount); ++group) {
        for (unsigned locks : {0u, kLockMask, kNumLockMask, kLockMask | kNumLockMask}) {
            const std::set<Keysym> have = reachable(map, locks, group);
            for (Keysym k : text) {
                if (have.count(k) == 0) {
                    missing.insert(k);
                }
            }
        }
    }
    return {missing.begin(), missing.end()};
}

std::vector<SpareBinding> assignSpareKeys(const Keymap& map, const std::vector<Keysym>& missing,
                                          int groupCount) {
    // Keys that type text in some state stay as they are; so do modifier and lock keys.
    const std::vector<Keysym> text = textKeysyms();
    const std::set<Keysym> textSet(text.begin(), text.end());
    std::vector<int> emptyKeys;
    std::vector<int> otherKeys;
    for (int kc = map.maxKeycode; kc >= map.minKeycode; --kc) {
        const Key* key = map.key(kc);
        if (key == nullptr) {
            emptyKeys.push_back(kc);
            continue;
        }
        if (key->modifiers != 0) {
            continue;
        }
        if (key->empty()) {
            emptyKeys.push_back(kc);
            continue;
        }
        bool usable = true;
        for (int group = 0; group < std::max(1, groupCount) && usable; ++group) {
            for (unsigned mods = 0; mods < 0x100 && usable; ++mods) {
                const Keysym k = producedKeysym(map, kc, mods, group);
                usable = textSet.count(k) == 0 && textSet.count(caseLower(k)) == 0;
            }
        }
        for (const KeyGroup& g : key->groups) {
            for (Keysym k : g.levels) {
                usable = usable && !isStateKeysym(k) && textSet.count(k) == 0;
            }
        }
        if (usable) {
            otherKeys.push_back(kc);
        }
    }
    std::vector<int> keys = emptyKeys;
    keys.insert(keys.end(), otherKeys.begin(), otherKeys.end());

    std::vector<SpareBinding> out;
    std::set<Keysym> bound;
    std::size_t next = 0;
    for (Keysym k : missing) {
        if (bound.count(k) != 0) {
            continue;
        }
        if (next >= keys.size()) {
            break;
        }
        SpareBinding b{keys[next++], caseLower(k), caseUpper(k)};
        bound.insert(b.lower);
        bound.insert(b.upper);
        out.push_back(b);
    }
    return out;
}

}  // namespace platform::x11
