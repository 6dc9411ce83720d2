#include "res/dialog_templates.h"

#include <iterator>

namespace res {
namespace {

using platform::ControlKind;
using platform::DialogControl;
using platform::DialogTemplate;
namespace ws = platform::style;
namespace wsx = platform::exstyle;

constexpr std::uint32_t kChild = ws::kVisible;
constexpr std::uint32_t kCheckStyle = kChild | ws::kTabStop;
constexpr std::uint32_t kListStyle = kChild | ws::kVScroll | ws::kTabStop;

// In template order, which is the tab order.
constexpr DialogControl kOptionsControls[] = {
    {kDeviceNameId, ControlKind::Edit, nullptr, 57, 11, 40, 14,
     kChild | ws::kBorder | ws::kAutoHScroll | ws::kTabStop, 0},
    {kSerialDeviceId, ControlKind::AutoCheckBox, "Serial Device", 120, 13, 59, 10, kCheckStyle, 0},
    {kBaudRateListId, ControlKind::DropDownList, nullptr, 57, 45, 48, 65, kListStyle, 0},
    {kParityListId, ControlKind::DropDownList, nullptr, 57, 59, 48, 65, kListStyle, 0},
    {kDataBitsListId, ControlKind::DropDownList, nullptr, 57, 73, 48, 65, kListStyle, 0},
    {kStopBitsListId, ControlKind::DropDownList, nullptr, 57, 88, 48, 65, kListStyle, 0},
    {kParityCheckId, ControlKind::AutoCheckBox, "Parity", 120, 46, 35, 10, kCheckStyle, 0},
    {kDsrId, ControlKind::AutoCheckBox, "DSR", 120, 60, 29, 10, kCheckStyle, 0},
    {kCtsId, ControlKind::AutoCheckBox, "CTS", 120, 74, 29, 10, kCheckStyle, 0},
    {kDtrId, ControlKind::AutoCheckBox, "DTR", 120, 89, 29, 10, kCheckStyle, 0},
    {kXonInputId, ControlKind::AutoCheckBox, "XON/XOFF (Input)", 160, 46, 75, 10, kCheckStyle, 0},
    {kXonOutputId, ControlKind::AutoCheckBox, "XON/XOFF (Output)", 160, 60, 80, 10, kCheckStyle, 0},
    {kSkipFirstCharId, ControlKind::AutoCheckBox, "Skip first transmitted char", 57, 111, 170, 10,
     kCheckStyle, 0},
    {1, ControlKind::DefPushButton, "OK", 87, 140, 50, 16, kChild | ws::kTabStop, 0},
    {2, ControlKind::PushButton, "Cancel", 146, 140, 50, 16, kChild | ws::kTabStop, 0},
    {-1, ControlKind::Static, "Device Name:", 7, 14, 45, 8, kChild, 0},
    {-1, ControlKind::Static, "Baud Rate:", 7, 47, 37, 8, kChild, 0},
    {-1, ControlKind::Static, "Parity:", 7, 61, 22, 8, kChild, 0},
    {-1, ControlKind::Static, "Data bits:", 7, 75, 32, 8, kChild, 0},
    {-1, ControlKind::Static, "Stop bits:", 7, 90, 32, 8, kChild, 0},
    {kCrLfId, ControlKind::AutoCheckBox, "Add CR/LF at the end of each scanned barcode", 57, 124,
     170, 10, kCheckStyle, 0},
};

constexpr DialogTemplate kOptionsTemplate{
    kOptionsDialogId,
    "Pelmora",
    "MS Shell Dlg",
    8,
    282,
    163,
    ws::kModalFrame | ws::kPopup | ws::kVisible | ws::kCaption | ws::kSysMenu | ws::kSetFont,
    wsx::kAppWindow,
    kOptionsControls,
    std::size(kOptionsControls),
};

constexpr DialogControl kAboutControls[] = {
    {1, ControlKind::DefPushButton, "OK", 10, 145, 50, 16, kChild | ws::kTabStop | ws::kGroup, 0},
    {kAboutInfoId, ControlKind::Static, "Software Information", 10, 83, 226, 60,
     kChild | ws::kBorder | ws::kGroup | ws::kNoPrefix, 0},
    {kAboutTitleId, ControlKind::Static, "Software Title", 10, 51, 226, 28,
     kChild | ws::kCenter | ws::kCenterImage | ws::kGroup, wsx::kTransparent},
};

constexpr DialogTemplate kAboutTemplate{
    kAboutDialogId,
    "About",  // replaced when the box opens
    "MS Shell Dlg",
    8,
    246,
    172,
    ws::kModalFrame | ws::kPopup | ws::kCaption | ws::kSysMenu | ws::kSetFont | ws::kFixedSys,
    0,
    kAboutControls,
    std::size(kAboutControls),
};

}  // namespace

const DialogTemplate& optionsDialogTemplate() {
    return kOptionsTemplate;
}
const DialogTemplate& aboutDialogTemplate() {
    return kAboutTemplate;
}

const DialogTemplate* findDialogTemplate(unsigned id) {
    if (id == kOptionsDialogId)
        return &kOptionsTemplate;
    if (id == kAboutDialogId)
        return &kAboutTemplate;
    return nullptr;
}

}  // namespace res
