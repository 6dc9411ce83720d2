// Dialog templates as data: controls with ids, kinds, texts, positions and styles in dialog units.
// Both windowing backends build their dialogs from these; the Windows resource script holds the
// same templates as DIALOGEX resources.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

// Window and control styles; the values are those of the Windows headers, so a template reads
// the same here as in a resource script.
namespace style {
inline constexpr std::uint32_t kPopup = 0x80000000u;
inline constexpr std::uint32_t kVisible = 0x10000000u;
inline constexpr std::uint32_t kCaption = 0x00C00000u;
inline constexpr std::uint32_t kBorder = 0x00800000u;
inline constexpr std::uint32_t kVScroll = 0x00200000u;
inline constexpr std::uint32_t kSysMenu = 0x00080000u;
inline constexpr std::uint32_t kGroup = 0x00020000u;
inline constexpr std::uint32_t kTabStop = 0x00010000u;
inline constexpr std::uint32_t kModalFrame = 0x00000080u;   // DS_MODALFRAME
inline constexpr std::uint32_t kSetFont = 0x00000040u;      // DS_SETFONT
inline constexpr std::uint32_t kFixedSys = 0x00000008u;     // DS_FIXEDSYS
inline constexpr std::uint32_t kAutoHScroll = 0x00000080u;  // ES_AUTOHSCROLL
inline constexpr std::uint32_t kCenter = 0x00000001u;       // SS_CENTER
inline constexpr std::uint32_t kNoPrefix = 0x00000080u;     // SS_NOPREFIX
inline constexpr std::uint32_t kCenterImage = 0x00000200u;  // SS_CENTERIMAGE: centred vertically
}  // namespace style

namespace exstyle {
inline constexpr std::uint32_t kTransparent = 0x00000020u;
inline constexpr std::uint32_t kAppWindow = 0x00040000u;
}  // namespace exstyle

enum class ControlKind {
    PushButton,
    DefPushButton,
    AutoCheckBox,
    Edit,
    DropDownList,  // its template height is the height of the opened list
    Static,
};

struct DialogControl {
    int id;  // -1 for controls nothing refers to
    ControlKind kind;
    const char* text;  // null: none
    int x, y, cx, cy;  // dialog units
    std::uint32_t style;
    std::uint32_t exStyle;
};

struct DialogTemplate {
    unsigned id;
    const char* caption;
    const char* fontFace;
    int fontPointSize;
    int cx, cy;  // client area in dialog units
    std::uint32_t style;
    std::uint32_t exStyle;
    const DialogControl* controls;  // template order, which is also the tab order
    std::size_t controlCount;
};

struct DialogBaseUnits {
    int x;  // average character width
    int y;  // character height
};

// number * numerator / denominator, rounded half away from zero.
int mulDiv(int number, int numerator, int denominator);

}  // namespace platform
