// Dialog templates 100 (About) and 102 (Options), and the ids their code refers to.
#pragma once

#include "platform/qt/dialog_template.h"

namespace res {

inline constexpr unsigned kAboutDialogId = 100;
inline constexpr unsigned kOptionsDialogId = 102;
// The About picture: JPEG resource of type "JPG".
inline constexpr unsigned kAboutPictureId = 20000;

// Options dialog controls.
inline constexpr int kSkipFirstCharId = 1000;
inline constexpr int kDeviceNameId = 1001;
inline constexpr int kCrLfId = 1002;
inline constexpr int kBaudRateListId = 1004;
inline constexpr int kSerialDeviceId = 1005;
inline constexpr int kParityListId = 1006;
inline constexpr int kDataBitsListId = 1007;
inline constexpr int kStopBitsListId = 1008;
inline constexpr int kParityCheckId = 1009;
inline constexpr int kDsrId = 1010;
inline constexpr int kCtsId = 1011;
inline constexpr int kDtrId = 1012;
inline constexpr int kXonInputId = 1014;
inline constexpr int kXonOutputId = 1015;

// About box controls.
inline constexpr int kAboutTitleId = 1010;
inline constexpr int kAboutInfoId = 1016;

const platform::DialogTemplate& optionsDialogTemplate();
const platform::DialogTemplate& aboutDialogTemplate();
// Null when there is no template with that id.
const platform::DialogTemplate* findDialogTemplate(unsigned id);

}  // namespace res
