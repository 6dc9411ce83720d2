// The inverse of an xkbcommon keymap: for each code unit, the key and level that make the
// compositor (which applies that keymap) deliver its character. A pure function of the keymap,
// the active group and Caps Lock, found by simulating each press on an xkb_state.
#pragma once

#include <xkbcommon/xkbcommon.h>

#include <memory>
#include <string>

#include "platform/xkb/key_plan.h"

namespace platform {

// Rules, model, layout, variant and options, as in /etc/default/keyboard; empty fields take
// xkbcommon's defaults.
struct LayoutNames {
    std::string rules, model, layout, variant, options;
    // "de", "de(nodeadkeys)", "us,de(nodeadkeys)": for messages.
    std::string describe() const;
};

struct XkbContextDeleter {
    void operator()(xkb_context* c) const { xkb_context_unref(c); }
};
struct XkbKeymapDeleter {
    void operator()(xkb_keymap* k) const { xkb_keymap_unref(k); }
};
using XkbKeymapPtr = std::unique_ptr<xkb_keymap, XkbKeymapDeleter>;

// Compiles the keymap for these names from the system's XKB data, ignoring XKB_DEFAULT_* (the
// names say everything); null with `error` set when the names are unknown.
XkbKeymapPtr compileKeymap(const LayoutNames& names, std::string& error);

// The keys that type each code unit in `group` (wrapped into the keymap's groups) with Caps Lock
// on or off: keys of a standard keyboard's main block before others, then the plain level before
// Shift before AltGr (before Shift+AltGr with `level4`), then the lowest key code.
// Keypad keys (their result follows Num Lock), keys that change the keyboard's state and levels
// that give a dead key are never used; a code unit that keyboardTypable refuses never gets one.
KeyPlan planKeys(xkb_keymap* keymap, unsigned group, bool capsLock, bool level4 = false);

}  // namespace platform
