// The Options dialog: edits the fourteen scanner settings and writes them all on OK.
#pragma once

#include "platform/gui/afxdlg.h"
#include "support/vl_string.h"

class OptionsDialog : public CDialog {
public:
    explicit OptionsDialog(CWnd* pParent = nullptr);
    ~OptionsDialog() override;

    int OnInitDialog() override;
    void OnOK() override;

    // Every check-box click and every change of the device name re-reads the controls, which
    // re-applies the enabling rules.
    void OnButtonClicked(unsigned id);
    void OnDeviceNameChanged();

protected:
    const DialogMessageMap* GetMessageMap() const override;
    void DoDataExchange(CDataExchange* pDX) override;

private:
    void fillLists();
    void applyEnabling();
    // Says, over the dialog, that OK stored nothing and why; the dialog stays open.
    void WarnNotSaved(const vantel::VLString& problem, const char* advice);

    bool m_listsFilled;
    vantel::VLString m_deviceName;
    int m_serialDevice = 1;
    int m_bParity = 1;
    int m_bDTR = 1;
    int m_bDSR = 1;
    int m_bCTS = 0;
    int m_bXIN = 1;
    int m_bXOUT = 1;
    int m_bCRLF = 1;
    int m_bSkipFirstChar = 1;
    int m_baudRateIndex = -1;
    int m_parityIndex = -1;
    int m_dataBitsIndex = -1;
    int m_stopBitsIndex = -1;
    CComboBox m_baudRateList;
    CComboBox m_parityList;
    CComboBox m_stopBitsList;
    CComboBox m_dataBitsList;
};
