#include "dialogs/options_dialog.h"

#include <iterator>
#include <string>

#include "platform/gui/afx_message_box.h"
#include "res/dialog_templates.h"
#include "settings/scanner_settings.h"
#include "support/ui/ddx_text.h"

namespace ss = ScannerSettings;

namespace {

// A list always holds a selection once the dialog is shown; should it ever report none, the
// table's fallback row is stored rather than reading outside the table.
int inTable(const CComboBox& list, int position, int fallback) {
    return position >= 0 && position < list.GetCount() ? position : fallback;
}

}  // namespace

OptionsDialog::OptionsDialog(CWnd* pParent)
    : CDialog(res::optionsDialogTemplate(), pParent), m_listsFilled(false) {}

OptionsDialog::~OptionsDialog() = default;

const DialogMessageMap* OptionsDialog::GetMessageMap() const {
    static const DialogMessageEntry entries[] = {
        onControlRange<OptionsDialog, &OptionsDialog::OnButtonClicked>(BN_CLICKED, 100, 9000),
        onControl<OptionsDialog, &OptionsDialog::OnDeviceNameChanged>(EN_CHANGE,
                                                                      res::kDeviceNameId),
    };
    static const DialogMessageMap map{CDialog::GetMessageMap(), entries, std::size(entries)};
    return &map;
}

void OptionsDialog::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Text(pDX, res::kDeviceNameId, m_deviceName);
    DDX_Check(pDX, res::kSerialDeviceId, m_serialDevice);
    DDX_Check(pDX, res::kParityCheckId, m_bParity);
    DDX_Check(pDX, res::kDtrId, m_bDTR);
    DDX_Check(pDX, res::kDsrId, m_bDSR);
    DDX_Check(pDX, res::kCtsId, m_bCTS);
    DDX_Check(pDX, res::kXonInputId, m_bXIN);
    DDX_Check(pDX, res::kXonOutputId, m_bXOUT);
    DDX_Check(pDX, res::kCrLfId, m_bCRLF);
    DDX_Check(pDX, res::kSkipFirstCharId, m_bSkipFirstChar);
    DDX_Control(pDX, res::kBaudRateListId, m_baudRateList);
    DDX_Control(pDX, res::kParityListId, m_parityList);
    DDX_Control(pDX, res::kDataBitsListId, m_dataBitsList);
    DDX_Control(pDX, res::kStopBitsListId, m_stopBitsList);
    if (!m_listsFilled) {
        fillLists();
        m_listsFilled = true;
    }
    DDX_CBIndex(pDX, res::kBaudRateListId, m_baudRateIndex);
    DDX_CBIndex(pDX, res::kParityListId, m_parityIndex);
    DDX_CBIndex(pDX, res::kDataBitsListId, m_dataBitsIndex);
    DDX_CBIndex(pDX, res::kStopBitsListId, m_stopBitsIndex);
    applyEnabling();
}

void OptionsDialog::fillLists() {
    for (const std::int32_t* rate = kBaudRates; *rate != 0; ++rate) {
        m_baudRateList.AddString(vantel::VLString::valueOf(*rate));
    }
    for (const ChoiceEntry* row = kParityChoices; row->label != nullptr; ++row) {
        m_parityList.AddString(row->label);
    }
    for (const ChoiceEntry* row = kDataBitChoices; row->label != nullptr; ++row) {
        m_dataBitsList.AddString(row->label);
    }
    for (const ChoiceEntry* row = kStopBitChoices; row->label != nullptr; ++row) {
        m_stopBitsList.AddString(row->label);
    }
}

// The reader takes a name beginning with "COM" in any letter case as a serial port, whatever
// SerialDevice says, so the dialog does the same and only offers the box for other names.
void OptionsDialog::applyEnabling() {
    const bool serialPortName = m_deviceName.startsWith("COM", vantel::VLString::ignoreCase);
    if (serialPortName)
        m_serialDevice = 1;
    GetDlgItem(res::kSerialDeviceId)->EnableWindow(!serialPortName);
    const int lineControls[] = {res::kParityCheckId,  res::kDtrId,        res::kDsrId,
                                res::kCtsId,          res::kXonInputId,   res::kXonOutputId,
                                res::kBaudRateListId, res::kParityListId, res::kDataBitsListId,
                                res::kStopBitsListId};
    for (int id : lineControls)
        GetDlgItem(id)->EnableWindow(m_serialDevice != 0);
}

int OptionsDialog::OnInitDialog() {
    CDialog::OnInitDialog();

    m_deviceName = readSetting(ss::DeviceName);
    m_serialDevice = readSetting(ss::SerialDevice);
    m_bParity = readSetting(ss::bParity);
    m_bDSR = readSetting(ss::bDSR);
    m_bDTR = readSetting(ss::bDTR);
    m_bCTS = readSetting(ss::bCTS);
    m_bXIN = readSetting(ss::bXIN);
    m_bXOUT = readSetting(ss::bXOUT);
    m_bCRLF = readSetting(ss::bCRLF);
    m_bSkipFirstChar = readSetting(ss::bSkipFirstChar);

    m_baudRateIndex = -1;
    m_parityIndex = -1;
    m_stopBitsIndex = -1;
    m_dataBitsIndex = -1;
    m_baudRateIndex = positionOfValue(kBaudRates, readSetting(ss::BaudRate), kBaudRateFallback);
    if (m_baudRateIndex < 0)
        m_baudRateIndex = kBaudRateFallback;
    m_parityIndex = positionOfValue(kParityChoices, readSetting(ss::Parity), kParityFallback);
    if (m_parityIndex < 0)
        m_parityIndex = kParityFallback;
    m_stopBitsIndex =
        positionOfValue(kStopBitChoices, readSetting(ss::StopBits), kStopBitsFallback);
    if (m_stopBitsIndex < 0)
        m_stopBitsIndex = kStopBitsFallback;
    m_dataBitsIndex =
        positionOfValue(kDataBitChoices, readSetting(ss::DataBits), kDataBitsFallback);
    if (m_dataBitsIndex < 0)
        m_dataBitsIndex = kDataBitsFallback;

    UpdateData(0);

    // Offer the serial ports present as completions; the names are listed, never opened.
    OfferSerialPortNames(res::kDeviceNameId);
    return 1;
}

void OptionsDialog::OnOK() {
    UpdateData(1);

    // Settings that cannot be read are never written over: that would lose the lines the file
    // holds, and a line we cannot read would keep the scanner closed after the save.
    const vantel::VLString unreadable = theConfig.settingsProblem();
    if (!unreadable.isEmpty()) {
        WarnNotSaved(unreadable, "Fix or remove it, then press OK again.");
        return;
    }

    writeSetting(ss::DeviceName, m_deviceName);
    writeSetting(ss::SerialDevice, m_serialDevice);
    writeSetting(ss::bParity, m_bParity);
    writeSetting(ss::bDSR, m_bDSR);
    writeSetting(ss::bDTR, m_bDTR);
    writeSetting(ss::bCTS, m_bCTS);
    writeSetting(ss::bXIN, m_bXIN);
    writeSetting(ss::bXOUT, m_bXOUT);
    writeSetting(ss::bCRLF, m_bCRLF);
    writeSetting(ss::bSkipFirstChar, m_bSkipFirstChar);
    writeSetting(ss::BaudRate, valueAtPosition(kBaudRates, inTable(m_baudRateList, m_baudRateIndex,
                                                                   kBaudRateFallback)));
    writeSetting(ss::Parity, valueAtPosition(kParityChoices, inTable(m_parityList, m_parityIndex,
                                                                     kParityFallback)));
    writeSetting(ss::StopBits,
                 valueAtPosition(kStopBitChoices,
                                 inTable(m_stopBitsList, m_stopBitsIndex, kStopBitsFallback)));
    writeSetting(ss::DataBits,
                 valueAtPosition(kDataBitChoices,
                                 inTable(m_dataBitsList, m_dataBitsIndex, kDataBitsFallback)));

    const vantel::VLString unwritten = theConfig.lastWriteProblem();
    if (!unwritten.isEmpty()) {
        WarnNotSaved(unwritten, "The scanner keeps its old settings.");
        return;
    }
    CDialog::OnOK();
}

void OptionsDialog::WarnNotSaved(const vantel::VLString& problem, const char* advice) {
    std::string text = "The settings were not saved.\n\n";
    text += problem.bytes();
    text += "\n\n";
    text += advice;
    AfxWarningBox(this, "Pelmora", text.c_str());
}

void OptionsDialog::OnButtonClicked(unsigned) {
    UpdateData(1);
}

void OptionsDialog::OnDeviceNameChanged() {
    UpdateData(1);
}
