// Dialog templates 100 (About) and 102 (Options) as data, and the ids their code refers to.
// pelmora.rc holds the same templates as DIALOGEX resources; resource_script_test keeps the two
// alike control by control.
#pragma once

#include "platform/gui/dialog_template.h"
#include "res/resource.h"

namespace res {

inline constexpr unsigned kAboutDialogId = IDD_ABOUTBOX;
inline constexpr unsigned kOptionsDialogId = IDD_OPTIONS;
// The About picture: JPEG resource of type "JPG".
inline constexpr unsigned kAboutPictureId = IDR_ABOUT_PICTURE;

// Options dialog controls.
inline constexpr int kSkipFirstCharId = IDC_SKIP_FIRST_CHAR;
inline constexpr int kDeviceNameId = IDC_DEVICE_NAME;
inline constexpr int kCrLfId = IDC_CRLF;
inline constexpr int kBaudRateListId = IDC_BAUD_RATE;
inline constexpr int kSerialDeviceId = IDC_SERIAL_DEVICE;
inline constexpr int kParityListId = IDC_PARITY_LIST;
inline constexpr int kDataBitsListId = IDC_DATA_BITS;
inline constexpr int kStopBitsListId = IDC_STOP_BITS;
inline constexpr int kParityCheckId = IDC_PARITY;
inline constexpr int kDsrId = IDC_DSR;
inline constexpr int kCtsId = IDC_CTS;
inline constexpr int kDtrId = IDC_DTR;
inline constexpr int kXonInputId = IDC_XON_INPUT;
inline constexpr int kXonOutputId = IDC_XON_OUTPUT;

// About box controls.
inline constexpr int kAboutTitleId = IDC_ABOUT_TITLE;
inline constexpr int kAboutInfoId = IDC_ABOUT_INFO;

const platform::DialogTemplate& optionsDialogTemplate();
const platform::DialogTemplate& aboutDialogTemplate();
// Null when there is no template with that id.
const platform::DialogTemplate* findDialogTemplate(unsigned id);

}  // namespace res
