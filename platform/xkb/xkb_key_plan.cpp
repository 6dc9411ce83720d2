#include "platform/xkb/xkb_key_plan.h"

#include <linux/input-event-codes.h>

#include <vector>

namespace platform {
namespace {

// xkbcommon numbers keys as Linux key code + 8.
constexpr xkb_keycode_t kEvdevOffset = 8;

struct XkbStateDeleter {
    void operator()(xkb_state* s) const { xkb_state_unref(s); }
};
using XkbStatePtr = std::unique_ptr<xkb_state, XkbStateDeleter>;

bool isKeypadKeysym(xkb_keysym_t sym) {
    return sym >= XKB_KEY_KP_Space && sym <= XKB_KEY_KP_Equal;
}

// The key whose plain level is `sym`, `preferred` first, else the lowest; 0 when none.
xkb_keycode_t findModifierKey(xkb_keymap* keymap, unsigned group, xkb_keysym_t sym,
                              xkb_keycode_t preferred) {
    const auto plainIs = [&](xkb_keycode_t kc) {
        const xkb_keysym_t* syms = nullptr;
        const int n = xkb_keymap_key_get_syms_by_level(keymap, kc, group, 0, &syms);
        return n == 1 && syms[0] == sym;
    };
    if (plainIs(preferred)) {
        return preferred;
    }
    const xkb_keycode_t max = xkb_keymap_max_keycode(keymap);
    for (xkb_keycode_t kc = xkb_keymap_min_keycode(keymap); kc <= max; ++kc) {
        if (plainIs(kc)) {
            return kc;
        }
    }
    return 0;
}

}  // namespace

std::string LayoutNames::describe() const {
    std::string out;
    std::size_t layoutAt = 0;
    std::size_t variantAt = 0;
    while (layoutAt <= layout.size()) {
        std::size_t layoutEnd = layout.find(',', layoutAt);
        if (layoutEnd == std::string::npos) {
            layoutEnd = layout.size();
        }
        std::size_t variantEnd = variant.find(',', variantAt);
        if (variantEnd == std::string::npos) {
            variantEnd = variant.size();
        }
        if (!out.empty()) {
            out += ',';
        }
        out += layout.substr(layoutAt, layoutEnd - layoutAt);
        if (variantAt < variant.size() && variantEnd > variantAt) {
            out += "(" + variant.substr(variantAt, variantEnd - variantAt) + ")";
        }
        layoutAt = layoutEnd + 1;
        variantAt = variantEnd == variant.size() ? variant.size() : variantEnd + 1;
    }
    if (!options.empty()) {
        out += " [" + options + "]";
    }
    return out.empty() ? std::string("the default layout") : out;
}

XkbKeymapPtr compileKeymap(const LayoutNames& names, std::string& error) {
    std::unique_ptr<xkb_context, XkbContextDeleter> context(
        xkb_context_new(XKB_CONTEXT_NO_ENVIRONMENT_NAMES));
    if (!context) {
        error = "cannot set up xkbcommon";
        return nullptr;
    }
    xkb_context_set_log_level(context.get(), XKB_LOG_LEVEL_CRITICAL);
    const xkb_rule_names rmlvo{names.rules.c_str(), names.model.c_str(), names.layout.c_str(),
                               names.variant.c_str(), names.options.c_str()};
    XkbKeymapPtr keymap(
        xkb_keymap_new_from_names(context.get(), &rmlvo, XKB_KEYMAP_COMPILE_NO_FLAGS));
    if (!keymap) {
        error = "cannot make a keymap for the keyboard layout " + names.describe() +
                " (unknown layout or variant?)";
    }
    return keymap;
}

KeyPlan planKeys(xkb_keymap* keymap, unsigned group, bool capsLock, bool level4) {
    KeyPlan plan;
    const xkb_layout_index_t groups = xkb_keymap_num_layouts(keymap);
    if (groups == 0) {
        return plan;
    }
    group %= groups;
    const xkb_keycode_t shiftKc =
        findModifierKey(keymap, group, XKB_KEY_Shift_L, KEY_LEFTSHIFT + kEvdevOffset);
    const xkb_keycode_t altGrKc =
        findModifierKey(keymap, group, XKB_KEY_ISO_Level3_Shift, KEY_RIGHTALT + kEvdevOffset);
    const xkb_mod_index_t lock = xkb_keymap_mod_get_index(keymap, XKB_MOD_NAME_CAPS);
    const xkb_mod_mask_t lockedMods = capsLock && lock != XKB_MOD_INVALID ? 1u << lock : 0;

    struct Level {
        bool shift;
        bool altGr;
    };
    std::vector<Level> levels{{false, false}};
    if (shiftKc != 0) {
        levels.push_back({true, false});
    }
    if (altGrKc != 0) {
        levels.push_back({false, true});
    }
    if (level4 && shiftKc != 0 && altGrKc != 0) {
        levels.push_back({true, true});
    }
    const xkb_keycode_t min = xkb_keymap_min_keycode(keymap);
    const xkb_keycode_t max = xkb_keymap_max_keycode(keymap);
    std::vector<XkbStatePtr> states;
    for (const Level& level : levels) {
        states.emplace_back(xkb_state_new(keymap));
        if (!states.back()) {
            return plan;
        }
        xkb_state_update_mask(states.back().get(), 0, 0, lockedMods, 0, 0, group);
        if (level.shift) {
            xkb_state_update_key(states.back().get(), shiftKc, XKB_KEY_DOWN);
        }
        if (level.altGr) {
            xkb_state_update_key(states.back().get(), altGrKc, XKB_KEY_DOWN);
        }
    }
    // The main block of a standard keyboard first, whatever the level: keys beyond it (the
    // keypad's parentheses, a Dollar key) exist on few keyboards, and those above key code 255
    // reach no X client through Xwayland.
    for (int rank = 0; rank < 3; ++rank) {
        for (std::size_t l = 0; l < levels.size(); ++l) {
            xkb_state* state = states[l].get();
            for (xkb_keycode_t kc = min; kc <= max; ++kc) {
                const int keyRank = kc < kEvdevOffset + 89 ? 0 : kc <= 255 ? 1 : 2;
                if (keyRank != rank || kc < kEvdevOffset || kc == shiftKc || kc == altGrKc) {
                    continue;
                }
                const xkb_keysym_t sym = xkb_state_key_get_one_sym(state, kc);
                if (sym == XKB_KEY_NoSymbol || isKeypadKeysym(sym)) {
                    continue;
                }
                // A key that acts on the keyboard state would lock a modifier or switch the group.
                const xkb_keysym_t* plain = nullptr;
                if (xkb_keymap_key_get_syms_by_level(keymap, kc, group, 0, &plain) == 1 &&
                    ((plain[0] >= XKB_KEY_ISO_Lock && plain[0] <= XKB_KEY_ISO_Last_Group_Lock) ||
                     (plain[0] >= XKB_KEY_Shift_L && plain[0] <= XKB_KEY_Hyper_R) ||
                     plain[0] == XKB_KEY_Mode_switch || plain[0] == XKB_KEY_Num_Lock)) {
                    continue;
                }
                const std::uint32_t cp = xkb_state_key_get_utf32(state, kc);
                if (cp >= plan.strokes.size() || !keyboardTypable(static_cast<std::uint16_t>(cp)) ||
                    plan.strokes[cp]) {
                    continue;
                }
                plan.strokes[cp] = KeyStroke{static_cast<std::uint16_t>(kc - kEvdevOffset),
                                             levels[l].shift, levels[l].altGr};
            }
        }
    }
    plan.shiftKey = shiftKc != 0 ? static_cast<std::uint16_t>(shiftKc - kEvdevOffset) : 0;
    plan.altGrKey = altGrKc != 0 ? static_cast<std::uint16_t>(altGrKc - kEvdevOffset) : 0;
    // Strokes that need a modifier the layout lacks were never made; drop an unused AltGr so
    // the device declares only what it uses.
    bool usesAltGr = false;
    for (const auto& s : plan.strokes) {
        usesAltGr = usesAltGr || (s && s->altGr);
    }
    if (!usesAltGr) {
        plan.altGrKey = 0;
    }
    return plan;
}

}  // namespace platform
