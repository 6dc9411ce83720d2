// The Win32 peers of CDialog and its controls: the dialog manager's DialogBoxParamW over the
// DIALOGEX resource with the template's id, and the real controls.
#include <objbase.h>
#include <shldisp.h>
#include <shlguid.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/gui/afxdlg.h"
#include "platform/gui/win32/serial_port_names.h"
#include "platform/gui/win32/shell_seams.h"
#include "platform/gui/win32/win32_peers.h"
#include "platform/gui/win32/win32_rich_text.h"

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

namespace afx::win32 {

// ---- controls ----

Control::~Control() {
    if (m_brush != nullptr)
        ::DeleteObject(m_brush);
    if (m_font != nullptr) {
        if (::IsWindow(m_hwnd))
            ::SendMessageW(m_hwnd, WM_SETFONT, 0, FALSE);
        ::DeleteObject(m_font);
    }
}

void Control::setAppearance(const ControlAppearance& look) {
    m_look = look;
    const int dpi = static_cast<int>(dpiOf(m_hwnd));
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
    ::InvalidateRect(m_hwnd, nullptr, TRUE);
    if (!look.fontFace.empty()) {
        const int height = -::MulDiv(static_cast<int>(look.fontPointSize + 0.5), dpi, 72);
        const std::wstring face = widen(look.fontFace.c_str());
        setFont(::CreateFontW(height, 0, 0, 0, look.fontBold ? FW_BOLD : FW_NORMAL, FALSE, FALSE,
                              FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                              CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_SWISS, face.c_str()));
    }
    // The inner margin: the content window, if any, sits inside the control by `padding`.
    if (m_companion != nullptr) {
        RECT box;
        ::GetWindowRect(m_hwnd, &box);
        ::MapWindowPoints(nullptr, ::GetParent(m_hwnd), reinterpret_cast<POINT*>(&box), 2);
        const int pad = ::MulDiv(look.padding, dpi, kBaseDpi) + 1;  // inside the border
        ::SendMessageW(m_companion, WM_SETFONT, ::SendMessageW(m_hwnd, WM_GETFONT, 0, 0), FALSE);
        ::MoveWindow(m_companion, box.left + pad, box.top + pad, box.right - box.left - 2 * pad,
                     box.bottom - box.top - 2 * pad, TRUE);
    }
}

void Control::setFont(HFONT font) {
    ::SendMessageW(m_hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    if (m_font != nullptr)
        ::DeleteObject(m_font);
    m_font = font;
}

namespace {

bool highContrastOn() {
    HIGHCONTRASTW scheme{};
    scheme.cbSize = sizeof scheme;
    return AfxShell().systemParametersInfo(SPI_GETHIGHCONTRAST, sizeof scheme, &scheme, 0) !=
               FALSE &&
           (scheme.dwFlags & HCF_HIGHCONTRASTON) != 0;
}

// Black on a light fill, white on a dark one: the scheme's text colour need not suit our fill.
COLORREF textFor(COLORREF fill) {
    const int luma = 299 * GetRValue(fill) + 587 * GetGValue(fill) + 114 * GetBValue(fill);
    return luma >= 128 * 1000 ? RGB(0, 0, 0) : RGB(255, 255, 255);
}

}  // namespace

HBRUSH Control::ctlColor(HDC dc) const {
    if (m_textColor == CLR_INVALID && m_backColor == CLR_INVALID && !m_noFill)
        return nullptr;
    // A high-contrast scheme is chosen for legibility: a filled box takes its colours, not ours.
    if (!m_noFill && highContrastOn()) {
        ::SetTextColor(dc, ::GetSysColor(COLOR_WINDOWTEXT));
        ::SetBkColor(dc, ::GetSysColor(COLOR_WINDOW));
        return ::GetSysColorBrush(COLOR_WINDOW);
    }
    COLORREF text = m_textColor;
    if (text == CLR_INVALID)
        text = m_brush != nullptr ? textFor(m_backColor) : ::GetSysColor(COLOR_WINDOWTEXT);
    ::SetTextColor(dc, text);
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

bool Control::enable(bool on) {
    return ::EnableWindow(m_hwnd, on ? TRUE : FALSE) != FALSE;
}

bool Control::isEnabled() const {
    return ::IsWindowEnabled(m_hwnd) != FALSE;
}

void Control::setText(const char* text) {
    if (m_companion != nullptr) {
        ::SetWindowTextW(m_hwnd, L"");
        ::SetWindowTextW(m_companion, toLinkMarkup(m_companion, text).c_str());
        return;
    }
    ::SetWindowTextW(m_hwnd, widen(text).c_str());
}

int Control::addString(const char* text) {
    const std::wstring item = widen(text);
    const LRESULT position =
        ::SendMessageW(m_hwnd, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
    return position < 0 ? -1 : static_cast<int>(position);
}

int Control::count() const {
    return static_cast<int>(::SendMessageW(m_hwnd, CB_GETCOUNT, 0, 0));
}

int Control::currentSelection() const {
    return static_cast<int>(::SendMessageW(m_hwnd, CB_GETCURSEL, 0, 0));
}

int Control::select(int position) {
    return static_cast<int>(::SendMessageW(m_hwnd, CB_SETCURSEL, static_cast<WPARAM>(position), 0));
}

// ---- the dialog ----

struct Dialog::PortCompletion {
    IAutoComplete* complete = nullptr;
    ~PortCompletion() {
        if (complete != nullptr)
            complete->Release();
    }
};

Dialog::Dialog(CDialog& dialog, const platform::DialogTemplate& dialogTemplate, CWnd* parent)
    : m_dialog(dialog),
      m_template(dialogTemplate),
      m_parent(parent != nullptr ? parent->m_hWnd : nullptr) {}

Dialog::~Dialog() = default;

int Dialog::doModal() {
    const INT_PTR result =
        ::DialogBoxParamW(AfxGetResourceHandle(), MAKEINTRESOURCEW(m_template.id), m_parent,
                          &Dialog::dialogProc, reinterpret_cast<LPARAM>(this));
    return static_cast<int>(result);
}

void Dialog::end(int result) {
    ::EndDialog(m_dialog.m_hWnd, result);
}

HWND Dialog::control(int id) const {
    return m_dialog.m_hWnd != nullptr ? ::GetDlgItem(m_dialog.m_hWnd, id) : nullptr;
}

bool Dialog::checked(int id, bool& on) const {
    if (control(id) == nullptr)
        return false;
    on = ::IsDlgButtonChecked(m_dialog.m_hWnd, id) == BST_CHECKED;
    return true;
}

void Dialog::setChecked(int id, bool on) {
    if (control(id) != nullptr)
        ::CheckDlgButton(m_dialog.m_hWnd, id, on ? BST_CHECKED : BST_UNCHECKED);
}

bool Dialog::listIndex(int id, int& index) const {
    HWND list = control(id);
    if (list == nullptr)
        return false;
    index = static_cast<int>(::SendMessageW(list, CB_GETCURSEL, 0, 0));
    return true;
}

void Dialog::setListIndex(int id, int index) {
    if (HWND list = control(id))
        ::SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

bool Dialog::fileName(int id, std::string& name) const {
    HWND edit = control(id);
    if (edit == nullptr)
        return false;
    const int length = ::GetWindowTextLengthW(edit);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    text.resize(static_cast<std::size_t>(::GetWindowTextW(edit, text.data(), length + 1)));
    name = narrowFileName(text);
    return true;
}

void Dialog::setFileName(int id, const std::string& name) {
    if (HWND edit = control(id))
        ::SetWindowTextW(edit, widenFileName(name).c_str());
}

void Dialog::setText(const char* caption) {
    ::SetWindowTextW(m_dialog.m_hWnd, widen(caption).c_str());
}

RECT Dialog::clientRect() const {
    RECT rect{0, 0, 0, 0};
    ::GetClientRect(m_dialog.m_hWnd, &rect);
    return rect;
}

void Dialog::offerSerialPortNames(int id) {
    HWND edit = control(id);
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

Control* Dialog::boundControlFor(HWND hwnd) const {
    if (hwnd == nullptr)
        return nullptr;
    for (const auto& [id, bound] : m_dialog.AfxBoundControls()) {
        auto* peer = static_cast<Control*>(bound->AfxPeer());
        if (peer != nullptr && (peer->handle() == hwnd || peer->companion() == hwnd))
            return peer;
    }
    return nullptr;
}

INT_PTR CALLBACK Dialog::dialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Dialog* peer = nullptr;
    if (message == WM_INITDIALOG) {
        peer = reinterpret_cast<Dialog*>(lParam);
        ::SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
        peer->m_dialog.m_hWnd = hwnd;
    } else {
        peer = reinterpret_cast<Dialog*>(::GetWindowLongPtrW(hwnd, DWLP_USER));
    }
    if (peer == nullptr)
        return FALSE;
    const INT_PTR result = peer->handle(message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        peer->m_dialog.AfxDialogGone();
        peer->m_portCompletion.reset();
    }
    return result;
}

namespace {
constexpr UINT kRefreshForDpi = WM_APP + 0x41;
}  // namespace

INT_PTR Dialog::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            return m_dialog.AfxInitDialog() != 0 ? TRUE : FALSE;
        case WM_COMMAND:
            m_dialog.OnCommand(LOWORD(wParam), HIWORD(wParam));
            return TRUE;
        case WM_CLOSE:
            m_dialog.OnCancel();
            return TRUE;
        case WM_ERASEBKGND: {
            CDC dc(reinterpret_cast<HDC>(wParam));
            if (m_dialog.AfxEraseBackground(&dc) != 0) {
                ::SetWindowLongPtrW(m_dialog.m_hWnd, DWLP_MSGRESULT, TRUE);
                return TRUE;
            }
            return FALSE;
        }
        case WM_DPICHANGED:
            // The dialog manager scales the template's controls and their dialog font; what the
            // controls were given besides is made again once it has.
            ::PostMessageW(m_dialog.m_hWnd, kRefreshForDpi, 0, 0);
            return FALSE;
        case kRefreshForDpi:
            for (const auto& [id, bound] : m_dialog.AfxBoundControls()) {
                if (auto* peer = static_cast<Control*>(bound->AfxPeer()))
                    peer->refreshForDpi();
            }
            return TRUE;
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN:
            // Reflected to the control, which knows its colours.
            if (Control* control = boundControlFor(reinterpret_cast<HWND>(lParam))) {
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
                AfxShell().shellExecute(m_dialog.m_hWnd, L"open", link->item.szUrl, nullptr,
                                        nullptr, SW_SHOWNORMAL);
                return TRUE;
            }
            return FALSE;
        }
        default:
            return FALSE;
    }
}

}  // namespace afx::win32
