// The keyboard layout of the session, for the sinks that need the user's keymap: named by the
// user (PELMORA_LAYOUT, set by `pelmorad --layout`), else the desktop's own settings (GNOME's
// input sources, KDE's kxkbrc), else XKB_DEFAULT_*, else /etc/default/keyboard. The active group
// comes from GNOME's most recently used source, KWin (asked by the caller) or sway's IPC where
// they say; group 0 elsewhere.
#pragma once

#include <optional>
#include <string>

#include "platform/xkb/xkb_key_plan.h"

namespace platform {

struct SessionLayout {
    LayoutNames names;
    unsigned group = 0;
    std::string source;  // where the names came from, for --verbose
};

// `activeGroup`, when given, is the active layout as the desktop reports it at run time (KDE
// keeps it in KWin, not in kxkbrc); it replaces what the stored settings say.
SessionLayout detectSessionLayout(std::optional<unsigned> activeGroup = std::nullopt);

// The layout's keymap, and its name with the group and where it came from for the sink's words;
// null, with `error` saying how to name the layout, when it does not compile.
XkbKeymapPtr compileSessionKeymap(const SessionLayout& layout, std::string& name,
                                  std::string& error);

// Changes whenever the stored layout settings may have changed (PELMORA_LAYOUT, GNOME's dconf
// database, KDE's kxkbrc): one stat per file, so a sink can look at every scan and run the
// slower detectSessionLayout only when the user switched or edited layouts.
std::string sessionLayoutStamp();

// Whether this is a KDE Plasma session, whose active layout only KWin knows.
bool kdeSession();

// "de", "de:nodeadkeys", "us,de:nodeadkeys": layouts separated by commas, each with an optional
// variant after ':'. Nothing when the text is not of that form.
std::optional<LayoutNames> parseLayoutOption(const std::string& text);

// The XKB* lines of /etc/default/keyboard (shell assignments, quoted or not).
LayoutNames parseDefaultKeyboard(const std::string& text);

// GNOME: `gsettings get org.gnome.desktop.input-sources sources` and `... mru-sources`, as
// printed ("[('xkb', 'us'), ('xkb', 'de+nodeadkeys')]"). The keymap's groups are the xkb
// sources in order; the active one is the first xkb entry of mru-sources.
std::optional<SessionLayout> parseGnomeSources(const std::string& sources, const std::string& mru);

// KDE's ~/.config/kxkbrc: [Layout] LayoutList, VariantList, Options, Model when Use=true.
std::optional<LayoutNames> parseKxkbrc(const std::string& text);

// `swaymsg -t get_inputs --raw`: the xkb_active_layout_index of the first keyboard.
std::optional<unsigned> parseSwayActiveLayout(const std::string& json);

}  // namespace platform
