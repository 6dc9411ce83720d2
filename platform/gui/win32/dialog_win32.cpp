#include "platform/gui/afxdlg.h"

#include <objbase.h>
#include <shldisp.h>
#include <shlguid.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/gui/win32/serial_port_names.h"
#include "platform/gui/win32/shell_seams.h"
#include "platform/gui/win32/win32_rich_text.h"

// ---- controls ----

bool CDialogControl::SubclassDlgItem(int id, CDialog* dialog) {
    HWND hwnd = dialog != nullptr ? dialog->controlHandle(id) : nullptr;
    if (hwnd == nullptr)
        return false;
    m_hWnd = hwnd;
    m_id = id;
    m_dialog = dialog;
    dialog->m_bound[id] = this;
    OnSubclassed();
    return true;
}

CDialogControl::~CDialogControl() {
    if (m_brush != nullptr)
        ::DeleteObject(m_brush);
    if (m_font != nullptr) {
        if (m_hWnd != nullptr && ::IsWindow(m_hWnd))
            ::SendMessageW(m_hWnd, WM_SETFONT, 0, FALSE);
        ::DeleteObject(m_font);
    }
}

void CDialogControl::SetAppearance(const afx::ControlAppearance& look) {
    if (m_hWnd == nullptr)
        return;
    m_noFill = look.background == kNoFillColor;
    m_textColor = look.text != kDefaultColor ? look.text : CLR_INVALID;
    const COLORREF background =
        !m_noFill && look.background != kDefaultColor ? look.background : CLR_INVALID;
    if (background != m_backColor && m_brush != nullptr) {
        ::DeleteObject(m_brush);
        m_brush = nullptr;
    }
    m_backColor = background;
    if (m_backColor != CLR_INVALID && !m_noFill && m_brush == nullptr)
        m_brush = ::CreateSolidBrush(m_backColor);
    ::InvalidateRect(m_hWnd, nullptr, TRUE);
    if (!look.fontFace.empty()) {
        HDC screen = ::GetDC(nullptr);
        const int height = -::MulDiv(static_cast<int>(look.fontPointSize + 0.5),
                                     ::GetDeviceCaps(screen, LOGPIXELSY), 72);
        ::ReleaseDC(nullptr, screen);
        const std::wstring face = afx::widen(look.fontFace.c_str());
        setControlFont(::CreateFontW(height, 0, 0, 0, look.fontBold ? FW_BOLD : FW_NORMAL, FALSE,
                                     FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                     CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                                     DEFAULT_PITCH | FF_SWISS, face.c_str()));
    }
    // The inner margin: the content window, if any, sits inside the control by `padding`.
    if (m_companion != nullptr) {
        RECT box;
        ::GetWindowRect(m_hWnd, &box);
        ::MapWindowPoints(nullptr, ::GetParent(m_hWnd), reinterpret_cast<POINT*>(&box), 2);
        const int pad = look.padding + 1;  // inside the border
        ::MoveWindow(m_companion, box.left + pad, box.top + pad, box.right - box.left - 2 * pad,
                     box.bottom - box.top - 2 * pad, TRUE);
    }
}

void CDialogControl::setControlFont(HFONT font) {
    if (m_hWnd != nullptr)
        ::SendMessageW(m_hWnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    if (m_font != nullptr)
        ::DeleteObject(m_font);
    m_font = font;
}

HBRUSH CDialogControl::ctlColor(HDC dc) const {
    if (m_textColor == CLR_INVALID && m_backColor == CLR_INVALID && !m_noFill)
        return nullptr;
    ::SetTextColor(dc, m_textColor != CLR_INVALID ? m_textColor : ::GetSysColor(COLOR_WINDOWTEXT));
    if (m_noFill) {
        ::SetBkMode(dc, TRANSPARENT);
        return static_cast<HBRUSH>(::GetStockObject(NULL_BRUSH));
    }
    if (m_brush != nullptr) {
        ::SetBkColor(dc, m_backColor);
        return m_brush;
    }
    return ::GetSysColorBrush(COLOR_BTNFACE);
}

int CDialogControl::EnableWindow(int enable) {
    if (m_hWnd == nullptr)
        return 0;
    return ::EnableWindow(m_hWnd, enable != 0) ? 1 : 0;
}

int CDialogControl::IsWindowEnabled() const {
    return m_hWnd != nullptr && ::IsWindowEnabled(m_hWnd) ? 1 : 0;
}

void CDialogControl::SetWindowText(const char* text) {
    if (m_hWnd == nullptr)
        return;
    const char* value = text != nullptr ? text : "";
    if (m_companion != nullptr) {
        ::SetWindowTextW(m_hWnd, L"");
        ::SetWindowTextW(m_companion, afx::toLinkMarkup(m_companion, value).c_str());
        return;
    }
    ::SetWindowTextW(m_hWnd, afx::widen(value).c_str());
}

int CComboBox::AddString(const char* text) {
    if (m_hWnd == nullptr)
        return -1;
    const std::wstring item = afx::widen(text != nullptr ? text : "");
    const LRESULT position =
        ::SendMessageW(m_hWnd, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
    return position < 0 ? -1 : static_cast<int>(position);
}

int CComboBox::GetCount() const {
    return m_hWnd != nullptr ? static_cast<int>(::SendMessageW(m_hWnd, CB_GETCOUNT, 0, 0)) : 0;
}

int CComboBox::GetCurSel() const {
    return m_hWnd != nullptr ? static_cast<int>(::SendMessageW(m_hWnd, CB_GETCURSEL, 0, 0)) : -1;
}

int CComboBox::SetCurSel(int position) {
    if (m_hWnd == nullptr)
        return -1;
    return static_cast<int>(::SendMessageW(m_hWnd, CB_SETCURSEL, static_cast<WPARAM>(position), 0));
}

void DDX_Check(CDataExchange* pDX, int id, int& value) {
    HWND dialog = pDX->m_pDlgWnd->m_hWnd;
    if (::GetDlgItem(dialog, id) == nullptr)
        return;
    if (pDX->m_bSaveAndValidate) {
        value = ::IsDlgButtonChecked(dialog, id) == BST_CHECKED ? 1 : 0;
    } else {
        ::CheckDlgButton(dialog, id, value != 0 ? BST_CHECKED : BST_UNCHECKED);
    }
}

void DDX_CBIndex(CDataExchange* pDX, int id, int& index) {
    HWND list = pDX->m_pDlgWnd->controlHandle(id);
    if (list == nullptr)
        return;
    if (pDX->m_bSaveAndValidate) {
        index = static_cast<int>(::SendMessageW(list, CB_GETCURSEL, 0, 0));
    } else {
        ::SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    }
}

void DDX_Control(CDataExchange* pDX, int id, CDialogControl& control) {
    if (!control.IsBound())
        control.SubclassDlgItem(id, pDX->m_pDlgWnd);
}

// ---- the serial ports as completions of an edit control ----

namespace {

// The list of names IAutoComplete asks for, in order. COM interfaces have no virtual destructor:
// Release deletes the object through its own type.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
#pragma GCC diagnostic ignored "-Wdelete-non-virtual-dtor"
class NameList final : public IEnumString {
public:
    explicit NameList(std::vector<std::wstring> names) : m_names(std::move(names)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (iid == IID_IUnknown || iid == IID_IEnumString) {
            *out = static_cast<IEnumString*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --m_refs;
        if (left == 0)
            delete this;
        return left;
    }
    HRESULT STDMETHODCALLTYPE Next(ULONG count, LPOLESTR* out, ULONG* fetched) override {
        ULONG n = 0;
        for (; n < count && m_next < m_names.size(); ++n, ++m_next) {
            const std::wstring& name = m_names[m_next];
            const std::size_t bytes = (name.size() + 1) * sizeof(wchar_t);
            out[n] = static_cast<LPOLESTR>(::CoTaskMemAlloc(bytes));
            if (out[n] == nullptr)
                break;
            std::memcpy(out[n], name.c_str(), bytes);
        }
        if (fetched != nullptr)
            *fetched = n;
        return n == count ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
        m_next += count;
        return m_next <= m_names.size() ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Reset() override {
        m_next = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(IEnumString** out) override {
        auto* copy = new NameList(m_names);
        copy->m_next = m_next;
        *out = copy;
        return S_OK;
    }

private:
    std::vector<std::wstring> m_names;
    std::size_t m_next = 0;
    ULONG m_refs = 1;
};
#pragma GCC diagnostic pop

}  // namespace

struct CDialog::PortCompletion {
    IAutoComplete* complete = nullptr;
    ~PortCompletion() {
        if (complete != nullptr)
            complete->Release();
    }
};

void CDialog::OfferSerialPortNames(int id) {
    HWND edit = controlHandle(id);
    if (edit == nullptr || m_portCompletion != nullptr)
        return;
    auto completion = std::make_unique<PortCompletion>();
    if (FAILED(::CoCreateInstance(CLSID_AutoComplete, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IAutoComplete,
                                  reinterpret_cast<void**>(&completion->complete)))) {
        return;
    }
    auto* names = new NameList(win32gui::listSerialPortNames());
    completion->complete->Init(edit, names, nullptr, nullptr);
    names->Release();
    IAutoComplete2* options = nullptr;
    if (SUCCEEDED(completion->complete->QueryInterface(IID_IAutoComplete2,
                                                       reinterpret_cast<void**>(&options)))) {
        options->SetOptions(ACO_AUTOSUGGEST | ACO_AUTOAPPEND | ACO_UPDOWNKEYDROPSLIST);
        options->Release();
    }
    m_portCompletion = std::move(completion);
}

// ---- the dialog ----

namespace {

void (*g_initHook)(CDialog&) = nullptr;

}  // namespace

void CDialog::SetInitHook(void (*hook)(CDialog&)) {
    g_initHook = hook;
}

CDialog::CDialog(const platform::DialogTemplate& dialogTemplate, CWnd* pParentWnd)
    : m_template(dialogTemplate), m_parent(pParentWnd != nullptr ? pParentWnd->m_hWnd : nullptr) {}

CDialog::~CDialog() = default;

int CDialog::DoModal() {
    const INT_PTR result =
        ::DialogBoxParamW(AfxGetResourceHandle(), MAKEINTRESOURCEW(m_template.id), m_parent,
                          &CDialog::DialogProc, reinterpret_cast<LPARAM>(this));
    return static_cast<int>(result);
}

void CDialog::EndDialog(int result) {
    if (m_hWnd != nullptr)
        ::EndDialog(m_hWnd, result);
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

bool CDialog::GetDlgItemFileName(int id, std::string& name) const {
    HWND edit = controlHandle(id);
    if (edit == nullptr)
        return false;
    const int length = ::GetWindowTextLengthW(edit);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    text.resize(static_cast<std::size_t>(::GetWindowTextW(edit, text.data(), length + 1)));
    name = afx::narrowFileName(text);
    return true;
}

void CDialog::SetDlgItemFileName(int id, const std::string& name) {
    if (HWND edit = controlHandle(id))
        ::SetWindowTextW(edit, afx::widenFileName(name).c_str());
}

HWND CDialog::controlHandle(int id) const {
    return m_hWnd != nullptr ? ::GetDlgItem(m_hWnd, id) : nullptr;
}

CDialogControl* CDialog::GetDlgItem(int id) const {
    auto& wrapper = m_wrappers[id];
    if (wrapper == nullptr) {
        wrapper = std::make_unique<CDialogControl>();
        wrapper->SubclassDlgItem(id, const_cast<CDialog*>(this));
    }
    return wrapper.get();
}

void CDialog::SetWindowText(const char* text) {
    if (m_hWnd != nullptr)
        ::SetWindowTextW(m_hWnd, afx::widen(text != nullptr ? text : "").c_str());
}

void CDialog::GetClientRect(RECT* rect) const {
    if (m_hWnd == nullptr) {
        *rect = RECT{0, 0, 0, 0};
        return;
    }
    ::GetClientRect(m_hWnd, rect);
}

void CDialog::OnCommand(int id, unsigned code) {
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

CDialogControl* CDialog::boundControlFor(HWND hwnd) const {
    if (hwnd == nullptr)
        return nullptr;
    for (const auto& [id, control] : m_bound) {
        if (control->GetSafeHwnd() == hwnd || control->companion() == hwnd)
            return control;
    }
    return nullptr;
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    CDialog* dialog = nullptr;
    if (message == WM_INITDIALOG) {
        dialog = reinterpret_cast<CDialog*>(lParam);
        ::SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
        dialog->m_hWnd = hwnd;
    } else {
        dialog = reinterpret_cast<CDialog*>(::GetWindowLongPtrW(hwnd, DWLP_USER));
    }
    if (dialog == nullptr)
        return FALSE;
    const INT_PTR result = dialog->HandleMessage(message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        dialog->m_hWnd = nullptr;
        dialog->m_bound.clear();
        dialog->m_portCompletion.reset();
    }
    return result;
}

INT_PTR CDialog::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: {
            const int focusDefault = OnInitDialog();
            if (g_initHook != nullptr)
                g_initHook(*this);
            return focusDefault != 0 ? TRUE : FALSE;
        }
        case WM_COMMAND:
            if (m_inUpdateData)
                return TRUE;  // a change the exchange itself made
            OnCommand(LOWORD(wParam), HIWORD(wParam));
            return TRUE;
        case WM_CLOSE:
            OnCancel();
            return TRUE;
        case WM_ERASEBKGND: {
            CDC dc(reinterpret_cast<HDC>(wParam));
            if (OnEraseBkgnd(&dc) != 0) {
                ::SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, TRUE);
                return TRUE;
            }
            return FALSE;
        }
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN:
            if (CDialogControl* control = boundControlFor(reinterpret_cast<HWND>(lParam))) {
                if (HBRUSH brush = control->ctlColor(reinterpret_cast<HDC>(wParam)))
                    return reinterpret_cast<INT_PTR>(brush);
            }
            return FALSE;
        case WM_NOTIFY: {
            // A link in a control's text opens in the browser.
            auto* header = reinterpret_cast<NMHDR*>(lParam);
            if ((header->code == NM_CLICK || header->code == NM_RETURN) &&
                boundControlFor(header->hwndFrom) != nullptr) {
                const auto* link = reinterpret_cast<NMLINK*>(lParam);
                AfxShell().shellExecute(m_hWnd, L"open", link->item.szUrl, nullptr, nullptr,
                                        SW_SHOWNORMAL);
                return TRUE;
            }
            return FALSE;
        }
        default:
            return FALSE;
    }
}
