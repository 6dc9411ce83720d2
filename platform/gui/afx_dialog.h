// Modal dialogs built from a dialog template, declared once for every backend: CDialog with its
// data exchange and control notification map, and its controls (CDialogControl, CComboBox). The
// exchange, the notification walk and OK/Cancel are here; the dialog and each bound control hold
// a peer from the backend (afx_peer.h) that makes the native calls.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "platform/gui/afx_peer.h"
#include "platform/gui/afx_wnd.h"
#include "platform/gui/dialog_exchange.h"
#include "platform/gui/dialog_template.h"

class CDialog;

// One control of a dialog, found by its id. Member objects bind to their control through
// DDX_Control; GetDlgItem hands out the dialog's own wrapper.
class CDialogControl {
public:
    CDialogControl();
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
    // How a static control draws its text.
    void SetAppearance(const afx::ControlAppearance& look);
    // A static control's text is HTML from now on: line breaks, paragraphs and links that open
    // in the browser.
    void ShowRichText();
    HWND GetSafeHwnd() const { return m_hWnd; }
    CDialog* dialog() const { return m_dialog; }
    afx::ControlPeer* AfxPeer() const { return m_peer.get(); }

protected:
    // Runs once the object is bound to its control.
    virtual void OnSubclassed() {}

    HWND m_hWnd = nullptr;
    std::unique_ptr<afx::ControlPeer> m_peer;

private:
    int m_id = 0;
    CDialog* m_dialog = nullptr;
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
    // On backends that build the window at once, the controls exist from here; nothing is shown.
    explicit CDialog(const platform::DialogTemplate& dialogTemplate, CWnd* pParentWnd = nullptr);
    virtual ~CDialog();
    CDialog(const CDialog&) = delete;
    CDialog& operator=(const CDialog&) = delete;

    // Runs the dialog modally (OnInitDialog once it is up): IDOK, IDCANCEL or the EndDialog code;
    // -1 when the template's dialog could not be made.
    int DoModal();
    void EndDialog(int result);

    virtual int OnInitDialog();
    // Ends the dialog with IDOK once the exchange from the controls succeeds; a failed exchange
    // leaves it open.
    virtual void OnOK();
    virtual void OnCancel();

    // Runs DoDataExchange in the given direction; control notifications that arrive meanwhile are
    // dropped, so a change the exchange makes itself does not start another exchange. 0 when a
    // DDX routine failed or there is no window.
    int UpdateData(int saveAndValidate = 1);

    CDialogControl* GetDlgItem(int id) const;
    // The text of edit control `id` as a file name in the platform's encoding; false when there
    // is no such control.
    bool GetDlgItemFileName(int id, std::string& name) const;
    void SetDlgItemFileName(int id, const std::string& name);
    // The caption.
    void SetWindowText(const char* text);
    void GetClientRect(RECT* rect) const;
    // Offers the names of the serial ports present as completions of edit control `id`; the
    // ports are listed, never opened.
    void OfferSerialPortNames(int id);

    const platform::DialogTemplate& dialogTemplate() const { return m_template; }
    HWND GetSafeHwnd() const { return m_hWnd; }
    // Set by the peer while the native dialog exists.
    HWND m_hWnd = nullptr;

    // A notification from control `id`: the message maps first, then OK and Cancel. Dropped
    // while an exchange runs.
    void OnCommand(int id, unsigned code);

    // Runs `hook` with the dialog once it is initialised and up (tests drive modal dialogs from
    // there). Null removes it.
    static void SetInitHook(void (*hook)(CDialog& dialog));

    // ---- for the backend's peer, not for application code ----
    // OnInitDialog, then the init hook; OnInitDialog's result.
    int AfxInitDialog();
    int AfxEraseBackground(CDC* dc) { return OnEraseBkgnd(dc); }
    // The controls bound by SubclassDlgItem, by id.
    const std::map<int, CDialogControl*>& AfxBoundControls() const { return m_bound; }
    void AfxBind(int id, CDialogControl* control) { m_bound[id] = control; }
    // The native dialog is gone.
    void AfxDialogGone();
    afx::DialogPeer& AfxPeer() const { return *m_peer; }

protected:
    virtual void DoDataExchange(CDataExchange* pDX);
    virtual const DialogMessageMap* GetMessageMap() const;
    // Paints the background of the client area; zero leaves it to the default.
    virtual int OnEraseBkgnd(CDC* pDC);

private:
    const platform::DialogTemplate& m_template;
    std::unique_ptr<afx::DialogPeer> m_peer;
    mutable std::map<int, std::unique_ptr<CDialogControl>> m_wrappers;  // GetDlgItem's
    std::map<int, CDialogControl*> m_bound;                             // DDX_Control's
    bool m_inUpdateData = false;
};
