// Menus and accelerator tables as data, the same for every backend: the Windows build has them
// in its resource script as well, the Qt build registers them.
#pragma once

#include <string>
#include <vector>

namespace platform {

// A menu item: a command (id != 0), a separator (no text, no id), or a popup (items).
struct MenuItem {
    std::string text;  // '&' marks the mnemonic
    unsigned id = 0;
    std::vector<MenuItem> popup;

    bool isSeparator() const { return text.empty() && id == 0 && popup.empty(); }
    bool isPopup() const { return !popup.empty(); }
};

struct MenuTemplate {
    std::vector<MenuItem> items;  // for a menu bar: its popups
};

// A key of an accelerator table: a Windows virtual-key code ('A'-'Z' for letters) and its
// modifiers, and the command it sends.
struct Accelerator {
    unsigned key;
    bool control;
    bool shift;
    bool alt;
    unsigned command;
};

// The virtual-key codes the tables use besides letters.
namespace vk {
inline constexpr unsigned kBack = 0x08;
inline constexpr unsigned kInsert = 0x2D;
inline constexpr unsigned kDelete = 0x2E;
inline constexpr unsigned kF1 = 0x70;
inline constexpr unsigned kF6 = 0x75;
inline constexpr unsigned kF12 = 0x7B;
}  // namespace vk

}  // namespace platform
