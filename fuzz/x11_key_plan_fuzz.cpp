// The X11 sink's key choice on any key map: a key it picks for a keysym must give exactly that
// keysym to a client, with the locked modifiers as they are and Shift as the stroke says, and
// must bind no modifier; the spare keys it assigns are distinct, bind no modifier, and together
// make every missing keysym typable once bound.
//
// Input: a few key types, then keys (groups of levels of text keysyms), then the locked
// modifiers, the group and the keysyms to look up.
#include <cstdint>
#include <set>
#include <vector>

#include "fuzz_input.h"
#include "platform/x11/x11_key_plan.h"

namespace x11 = platform::x11;

namespace {

x11::Keymap keymapFrom(fuzz::Input& in, const std::vector<x11::Keysym>& text) {
    x11::Keymap map;
    map.minKeycode = 8;
    const int typeCount = 1 + in.byte() % 4;
    for (int t = 0; t < typeCount; ++t) {
        x11::KeyType type;
        type.mask = in.byte() & (x11::kShiftMask | x11::kLockMask | x11::kNumLockMask | 0x80u);
        const int entries = in.byte() % 4;
        for (int e = 0; e < entries; ++e) {
            x11::KeyTypeEntry entry;
            entry.mods = in.byte() & type.mask;
            entry.level = in.byte() % 4;
            entry.preserve = in.byte() & entry.mods;
            type.entries.push_back(entry);
        }
        map.types.push_back(type);
    }
    const int keyCount = in.byte() % 64;
    map.maxKeycode = map.minKeycode + keyCount - 1;
    for (int k = 0; k < keyCount; ++k) {
        x11::Key key;
        const int groups = in.byte() % 3;
        for (int g = 0; g < groups; ++g) {
            x11::KeyGroup group;
            group.type = in.byte() % typeCount;
            const int levels = in.byte() % 5;
            for (int l = 0; l < levels; ++l) {
                const std::uint8_t pick = in.byte();
                group.levels.push_back(pick == 0 ? x11::kNoSymbol : text[pick % text.size()]);
            }
            key.groups.push_back(group);
        }
        key.outOfRange = static_cast<x11::OutOfRange>(in.byte() % 3);
        key.redirectGroup = in.byte() % 3;
        key.modifiers = in.byte() % 8 == 0 ? x11::kShiftMask : 0;
        map.keys.push_back(key);
    }
    if (keyCount == 0) {
        map.maxKeycode = map.minKeycode;
        map.keys.emplace_back();
    }
    return map;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::vector<x11::Keysym> text = x11::textKeysyms();
    fuzz::Input in(data, size);
    const x11::Keymap map = keymapFrom(in, text);
    const unsigned locked = in.byte() & (x11::kLockMask | x11::kNumLockMask);
    const int groupCount = 1 + in.byte() % 2;
    const int group = in.byte() % groupCount;

    while (!in.empty()) {
        const x11::Keysym keysym = text[in.byte() % text.size()];
        const auto stroke = x11::findStroke(map, keysym, locked, group);
        if (!stroke) {
            continue;
        }
        const x11::Key* key = map.key(stroke->keycode);
        FUZZ_CHECK(key != nullptr);
        FUZZ_CHECK(key->modifiers == 0);
        const unsigned mods = locked | (stroke->shift ? x11::kShiftMask : 0u);
        FUZZ_CHECK(x11::producedKeysym(map, stroke->keycode, mods, group) == keysym);
    }

    const std::vector<x11::Keysym> missing = x11::missingKeysyms(map, groupCount);
    const std::vector<x11::SpareBinding> spares = x11::assignSpareKeys(map, missing, groupCount);
    std::set<int> used;
    for (const x11::SpareBinding& spare : spares) {
        FUZZ_CHECK(used.insert(spare.keycode).second);
        const x11::Key* key = map.key(spare.keycode);
        FUZZ_CHECK(key != nullptr);
        FUZZ_CHECK(key->modifiers == 0);
        FUZZ_CHECK(spare.lower != x11::kNoSymbol);
    }
    return 0;
}
