#include "platform/gui/afxdlg.h"

// ---- controls ----

CDialogControl::CDialogControl() = default;

CDialogControl::~CDialogControl() = default;

bool CDialogControl::SubclassDlgItem(int id, CDialog* dialog) {
    HWND control = dialog != nullptr ? dialog->AfxPeer().control(id) : nullptr;
    if (control == nullptr)
        return false;
    m_hWnd = control;
    m_id = id;
    m_dialog = dialog;
    m_peer = afx::backend().createControl(control);
    dialog->AfxBind(id, this);
    OnSubclassed();
    return true;
}

int CDialogControl::EnableWindow(int enable) {
    return m_peer != nullptr && m_peer->enable(enable != 0) ? 1 : 0;
}

int CDialogControl::IsWindowEnabled() const {
    return m_peer != nullptr && m_peer->isEnabled() ? 1 : 0;
}

void CDialogControl::SetWindowText(const char* text) {
    if (m_peer != nullptr)
        m_peer->setText(text != nullptr ? text : "");
}

void CDialogControl::SetAppearance(const afx::ControlAppearance& look) {
    if (m_peer != nullptr)
        m_peer->setAppearance(look);
}

void CDialogControl::ShowRichText() {
    if (m_peer != nullptr)
        m_peer->showRichText();
}

int CComboBox::AddString(const char* text) {
    return m_peer != nullptr ? m_peer->addString(text != nullptr ? text : "") : -1;
}

int CComboBox::GetCount() const {
    return m_peer != nullptr ? m_peer->count() : 0;
}

int CComboBox::GetCurSel() const {
    return m_peer != nullptr ? m_peer->currentSelection() : -1;
}

int CComboBox::SetCurSel(int position) {
    return m_peer != nullptr ? m_peer->select(position) : -1;
}

// ---- data exchange ----

void DDX_Check(CDataExchange* pDX, int id, int& value) {
    afx::DialogPeer& dialog = pDX->m_pDlgWnd->AfxPeer();
    if (pDX->m_bSaveAndValidate) {
        bool on = false;
        if (dialog.checked(id, on))
            value = on ? 1 : 0;
    } else {
        dialog.setChecked(id, value != 0);
    }
}

void DDX_CBIndex(CDataExchange* pDX, int id, int& index) {
    afx::DialogPeer& dialog = pDX->m_pDlgWnd->AfxPeer();
    if (pDX->m_bSaveAndValidate) {
        int selected = -1;
        if (dialog.listIndex(id, selected))
            index = selected;
    } else {
        dialog.setListIndex(id, index);
    }
}

void DDX_Control(CDataExchange* pDX, int id, CDialogControl& control) {
    if (!control.IsBound())
        control.SubclassDlgItem(id, pDX->m_pDlgWnd);
}

// ---- the dialog ----

namespace {

void (*g_initHook)(CDialog&) = nullptr;

}  // namespace

void CDialog::SetInitHook(void (*hook)(CDialog&)) {
    g_initHook = hook;
}

CDialog::CDialog(const platform::DialogTemplate& dialogTemplate, CWnd* pParentWnd)
    : m_template(dialogTemplate),
      m_peer(afx::backend().createDialog(*this, dialogTemplate, pParentWnd)) {}

CDialog::~CDialog() {
    // The wrappers and bound controls go before the native dialog they refer to.
    m_wrappers.clear();
    m_bound.clear();
    m_peer.reset();
}

int CDialog::DoModal() {
    return m_peer->doModal();
}

void CDialog::EndDialog(int result) {
    if (m_hWnd != nullptr)
        m_peer->end(result);
}

int CDialog::AfxInitDialog() {
    const int focusDefault = OnInitDialog();
    if (g_initHook != nullptr)
        g_initHook(*this);
    return focusDefault;
}

void CDialog::AfxDialogGone() {
    m_hWnd = nullptr;
    m_bound.clear();
}

int CDialog::OnInitDialog() {
    UpdateData(0);
    return 1;
}

void CDialog::OnOK() {
    if (!UpdateData(1))
        return;
    EndDialog(IDOK);
}

void CDialog::OnCancel() {
    EndDialog(IDCANCEL);
}

int CDialog::UpdateData(int saveAndValidate) {
    if (m_hWnd == nullptr)
        return 0;
    const bool outer = m_inUpdateData;
    m_inUpdateData = true;
    CDataExchange exchange(this, saveAndValidate != 0);
    DoDataExchange(&exchange);
    m_inUpdateData = outer;
    return exchange.failed() ? 0 : 1;
}

void CDialog::DoDataExchange(CDataExchange*) {}

const DialogMessageMap* CDialog::GetMessageMap() const {
    return nullptr;
}

int CDialog::OnEraseBkgnd(CDC*) {
    return 0;
}

CDialogControl* CDialog::GetDlgItem(int id) const {
    auto& wrapper = m_wrappers[id];
    if (wrapper == nullptr) {
        wrapper = std::make_unique<CDialogControl>();
        wrapper->SubclassDlgItem(id, const_cast<CDialog*>(this));
    }
    return wrapper.get();
}

bool CDialog::GetDlgItemFileName(int id, std::string& name) const {
    return m_peer->fileName(id, name);
}

void CDialog::SetDlgItemFileName(int id, const std::string& name) {
    m_peer->setFileName(id, name);
}

void CDialog::SetWindowText(const char* text) {
    if (m_hWnd != nullptr)
        m_peer->setText(text != nullptr ? text : "");
}

void CDialog::GetClientRect(RECT* rect) const {
    *rect = m_hWnd != nullptr ? m_peer->clientRect() : RECT{0, 0, 0, 0};
}

void CDialog::OfferSerialPortNames(int id) {
    m_peer->offerSerialPortNames(id);
}

void CDialog::OnCommand(int id, unsigned code) {
    if (m_inUpdateData)
        return;  // a change the exchange itself made
    for (const DialogMessageMap* map = GetMessageMap(); map != nullptr; map = map->base) {
        for (std::size_t i = 0; i < map->count; ++i) {
            const DialogMessageEntry& entry = map->entries[i];
            if (entry.code == code && id >= entry.firstId && id <= entry.lastId) {
                entry.handler(*this, static_cast<unsigned>(id));
                return;
            }
        }
    }
    if (code == BN_CLICKED && id == IDOK) {
        OnOK();
    } else if (code == BN_CLICKED && id == IDCANCEL) {
        OnCancel();
    }
}
