// Modal dialogs on the Win32 dialog manager: DialogBoxParamW over the DIALOGEX resource with the
// template's id, data exchange on the real controls, and a message map for their notifications.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "platform/gui/afx_peer.h"
#include "platform/gui/afxwin.h"
#include "platform/gui/dialog_exchange.h"
#include "platform/gui/dialog_template.h"

class CDialog;

// One control of a dialog, found by its id. Member objects bind to their control through
// DDX_Control; GetDlgItem hands out the dialog's own wrapper.
class CDialogControl {
public:
    CDialogControl() = default;
    CDialogControl(const CDialogControl&) = delete;
    CDialogControl& operator=(const CDialogControl&) = delete;
    virtual ~CDialogControl();

    // Binds this object to the dialog's control `id`; false when there is no such control.
    bool SubclassDlgItem(int id, CDialog* dialog);
    bool IsBound() const { return m_hWnd != nullptr; }

    int GetDlgCtrlID() const { return m_id; }
    int EnableWindow(int enable);  // nonzero when the control was disabled before
    int IsWindowEnabled() const;
    void SetWindowText(const char* text);
    HWND GetSafeHwnd() const { return m_hWnd; }
    CDialog* dialog() const { return m_dialog; }

    // How a static control draws its text.
    void SetAppearance(const afx::ControlAppearance& look);
    // A static control's text is HTML from now on: a SysLink inside it shows the text with its
    // line breaks, paragraphs and links, which open in the browser.
    void ShowRichText();

    // WM_CTLCOLORSTATIC for this control: its brush, or null for the dialog's default.
    HBRUSH ctlColor(HDC dc) const;
    // The window that shows this control's content in its place (a SysLink), or null.
    HWND companion() const { return m_companion; }

protected:
    // Runs once the object is bound to its control.
    virtual void OnSubclassed() {}

    HWND m_hWnd = nullptr;

private:
    // A font the control uses from now on; the control owns it.
    void setControlFont(HFONT font);

    int m_id = 0;
    CDialog* m_dialog = nullptr;
    COLORREF m_textColor = CLR_INVALID;
    COLORREF m_backColor = CLR_INVALID;
    bool m_noFill = false;
    HBRUSH m_brush = nullptr;
    HFONT m_font = nullptr;
    HWND m_companion = nullptr;
};

// A drop-down list.
class CComboBox : public CDialogControl {
public:
    // Appends an item (narrow text) to the unsorted list; its position, or -1 when unbound.
    int AddString(const char* text);
    int GetCount() const;
    int GetCurSel() const;
    int SetCurSel(int position);
};

class CDialog {
public:
    explicit CDialog(const platform::DialogTemplate& dialogTemplate, CWnd* pParentWnd = nullptr);
    virtual ~CDialog();
    CDialog(const CDialog&) = delete;
    CDialog& operator=(const CDialog&) = delete;

    // Shows the dialog of the template's resource modally: IDOK, IDCANCEL or the EndDialog
    // code; -1 when the resource is missing.
    int DoModal();
    void EndDialog(int result);

    virtual int OnInitDialog();
    // Ends the dialog with IDOK once the exchange from the controls succeeds; a failed exchange
    // leaves it open.
    virtual void OnOK();
    virtual void OnCancel();

    // Runs DoDataExchange in the given direction; control notifications that arrive meanwhile are
    // dropped, so a change the exchange makes itself does not start another exchange. 0 when a
    // DDX routine failed.
    int UpdateData(int saveAndValidate = 1);

    CDialogControl* GetDlgItem(int id) const;
    // The text of edit control `id` as a file name in the platform's encoding; false when there
    // is no such control.
    bool GetDlgItemFileName(int id, std::string& name) const;
    void SetDlgItemFileName(int id, const std::string& name);
    HWND controlHandle(int id) const;
    void SetWindowText(const char* text);
    void GetClientRect(RECT* rect) const;
    // Offers the names of the serial ports present (HKLM\HARDWARE\DEVICEMAP\SERIALCOMM) as
    // completions of edit control `id`; the ports are listed, never opened.
    void OfferSerialPortNames(int id);

    const platform::DialogTemplate& dialogTemplate() const { return m_template; }
    HWND GetSafeHwnd() const { return m_hWnd; }
    HWND m_hWnd = nullptr;

    // A notification from control `id`: the message maps first, then OK and Cancel.
    void OnCommand(int id, unsigned code);

    // Runs `hook` with the dialog's window once it is initialised (tests drive modal dialogs
    // from there). Null removes it.
    static void SetInitHook(void (*hook)(CDialog& dialog));

protected:
    virtual void DoDataExchange(CDataExchange* pDX);
    virtual const DialogMessageMap* GetMessageMap() const;
    // Paints the background of the client area; zero leaves it to the default.
    virtual int OnEraseBkgnd(CDC* pDC);

private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    CDialogControl* boundControlFor(HWND hwnd) const;

    const platform::DialogTemplate& m_template;
    HWND m_parent = nullptr;
    mutable std::map<int, std::unique_ptr<CDialogControl>> m_wrappers;  // GetDlgItem's
    std::map<int, CDialogControl*> m_bound;                             // DDX_Control's
    bool m_inUpdateData = false;
    struct PortCompletion;
    std::unique_ptr<PortCompletion> m_portCompletion;

    friend class CDialogControl;
};
