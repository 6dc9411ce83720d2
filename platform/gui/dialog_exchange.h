// Data exchange between a dialog's controls and its members (DDX_*) and the static message maps
// of control notifications; afx_dialog.h declares the dialog and its controls.
#pragma once

#include <cstddef>

class CDialog;
class CDialogControl;

class CDataExchange {
public:
    CDataExchange(CDialog* dialog, bool saveAndValidate)
        : m_pDlgWnd(dialog), m_bSaveAndValidate(saveAndValidate) {}

    // A DDX routine that finds a control's content unusable: UpdateData then returns 0, and OnOK
    // leaves the dialog open.
    void Fail() { m_failed = true; }
    bool failed() const { return m_failed; }

    CDialog* m_pDlgWnd;
    bool m_bSaveAndValidate;  // true: from the controls to the members

private:
    bool m_failed = false;
};

void DDX_Check(CDataExchange* pDX, int id, int& value);
void DDX_CBIndex(CDataExchange* pDX, int id, int& index);
void DDX_Control(CDataExchange* pDX, int id, CDialogControl& control);

// Static message map entries: a notification code for a range of control ids and its handler.
struct DialogMessageEntry {
    unsigned code;
    int firstId;
    int lastId;
    void (*handler)(CDialog& dialog, unsigned id);
};

struct DialogMessageMap {
    const DialogMessageMap* base;
    const DialogMessageEntry* entries;
    std::size_t count;
};

// ON_CONTROL_RANGE: handler(id) for `code` from any control in [first, last].
template <class Dialog, void (Dialog::*Handler)(unsigned)>
constexpr DialogMessageEntry onControlRange(unsigned code, int first, int last) {
    return {code, first, last,
            [](CDialog& dialog, unsigned id) { (static_cast<Dialog&>(dialog).*Handler)(id); }};
}

// ON_CONTROL: handler() for `code` from control `id`.
template <class Dialog, void (Dialog::*Handler)()>
constexpr DialogMessageEntry onControl(unsigned code, int id) {
    return {code, id, id,
            [](CDialog& dialog, unsigned) { (static_cast<Dialog&>(dialog).*Handler)(); }};
}
