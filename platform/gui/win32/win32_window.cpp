// The Win32 peers of CWnd, CFrameWnd and CPaintDC: one HWND per window, whose window procedure
// finds the object from the window (stored at WM_NCCREATE).
#include <cwchar>
#include <string>

#include "platform/gui/win32/win32_peers.h"

namespace afx::win32 {

namespace {

CWnd* objectOf(HWND hwnd) {
    return reinterpret_cast<CWnd*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

}  // namespace

LRESULT CALLBACK windowProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    CWnd* wnd = nullptr;
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        wnd = static_cast<CWnd*>(create->lpCreateParams);
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(wnd));
        if (wnd != nullptr)
            wnd->m_hWnd = hwnd;
    } else {
        wnd = objectOf(hwnd);
    }
    if (wnd == nullptr)
        return ::DefWindowProcW(hwnd, message, wParam, lParam);
    const std::vector<AfxShellObject*> objects = shellObjects();
    for (AfxShellObject* object : objects) {
        LRESULT result = 0;
        if (object->OnWindowMessage(hwnd, message, wParam, lParam, result))
            return result;
    }
    if (message == WM_NCDESTROY) {
        const LRESULT result = ::DefWindowProcW(hwnd, message, wParam, lParam);
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        wnd->AfxWindowGone();
        return result;
    }
    return static_cast<Window*>(wnd->AfxPeer())->handle(message, wParam, lParam);
}

CWnd* windowOf(HWND hwnd) {
    DWORD process = 0;
    ::GetWindowThreadProcessId(hwnd, &process);
    if (process != ::GetCurrentProcessId())
        return nullptr;
    WCHAR name[8] = {};
    ::GetClassNameW(hwnd, name, 8);
    if (std::wcsncmp(name, L"Afx:", 4) != 0)
        return nullptr;  // only windows of this layer carry an object
    return objectOf(hwnd);
}

HACCEL acceleratorsOf(CWnd* wnd) {
    if (wnd == nullptr || wnd->m_hWnd == nullptr)
        return nullptr;
    auto* frame = dynamic_cast<Frame*>(wnd->AfxPeer());
    return frame != nullptr ? frame->accelerators() : nullptr;
}

Window::~Window() {
    if (HWND hwnd = m_wnd.m_hWnd) {
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        m_wnd.m_hWnd = nullptr;
        ::DestroyWindow(hwnd);
    }
}

bool Window::create(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style,
                    const RECT& rect, CWnd* parent, UINT id, void* param) {
    CREATESTRUCT cs{};
    cs.lpCreateParams = param;
    cs.hwndParent = parent != nullptr ? parent->m_hWnd : nullptr;
    cs.x = rect.left;
    cs.y = rect.top;
    cs.cx = rect.right - rect.left;
    cs.cy = rect.bottom - rect.top;
    cs.style = static_cast<LONG>(style);
    cs.lpszName = windowName;
    cs.lpszClass = className;
    cs.dwExStyle = exStyle;
    cs.hInstance = AfxGetResourceHandle();
    const bool child = (style & WS_CHILD) != 0;
    cs.hMenu = child ? reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id))
                     : ::LoadMenuW(cs.hInstance, MAKEINTRESOURCEW(id));
    if (!m_wnd.PreCreateWindow(cs))
        return false;
    if (child && cs.hwndParent == nullptr)
        return false;
    if (cs.lpszClass == nullptr)
        cs.lpszClass = AfxRegisterWndClass(CS_HREDRAW | CS_VREDRAW, LoadCursorA(nullptr, IDC_ARROW),
                                           AfxSysColorBrush(COLOR_WINDOW + 1));
    const std::wstring cls = widen(cs.lpszClass);
    const std::wstring name = widen(cs.lpszName);
    // The object goes to the window procedure as the creation parameter, before any message.
    HWND hwnd =
        ::CreateWindowExW(cs.dwExStyle, cls.c_str(), name.c_str(), static_cast<DWORD>(cs.style),
                          cs.x, cs.y, cs.cx, cs.cy, cs.hwndParent, cs.hMenu, cs.hInstance, &m_wnd);
    return hwnd != nullptr;
}

bool Window::destroy() {
    return ::DestroyWindow(m_wnd.m_hWnd) != FALSE;
}

bool Window::show(int command) {
    HWND hwnd = m_wnd.m_hWnd;
    const bool wasVisible = ::IsWindowVisible(hwnd) != FALSE;
    ::ShowWindow(hwnd, command);
    if (command == SW_SHOWNORMAL && (style() & WS_CHILD) == 0)
        ::SetForegroundWindow(hwnd);
    return wasVisible;
}

void Window::update() {
    ::UpdateWindow(m_wnd.m_hWnd);
}

CWnd* Window::setFocus() {
    return CWnd::FromHandle(::SetFocus(m_wnd.m_hWnd));
}

void Window::invalidate(const RECT* rect, bool erase) {
    ::InvalidateRect(m_wnd.m_hWnd, rect, erase ? TRUE : FALSE);
}

RECT Window::clientRect() const {
    RECT rect{0, 0, 0, 0};
    ::GetClientRect(m_wnd.m_hWnd, &rect);
    return rect;
}

bool Window::isVisible() const {
    return ::IsWindowVisible(m_wnd.m_hWnd) != FALSE;
}

bool Window::isIconic() const {
    return ::IsIconic(m_wnd.m_hWnd) != FALSE;
}

void Window::setText(LPCSTR text) {
    ::SetWindowTextW(m_wnd.m_hWnd, widen(text).c_str());
}

DWORD Window::style() const {
    return static_cast<DWORD>(::GetWindowLongPtrW(m_wnd.m_hWnd, GWL_STYLE));
}

DWORD Window::exStyle() const {
    return static_cast<DWORD>(::GetWindowLongPtrW(m_wnd.m_hWnd, GWL_EXSTYLE));
}

bool Window::startTimer(UINT_PTR id, UINT ms) {
    return ::SetTimer(m_wnd.m_hWnd, id, ms, nullptr) != 0;
}

void Window::stopTimer(UINT_PTR id) {
    ::KillTimer(m_wnd.m_hWnd, id);
}

LRESULT Window::send(UINT message, WPARAM wParam, LPARAM lParam) {
    return ::SendMessageW(m_wnd.m_hWnd, message, wParam, lParam);
}

bool Window::post(UINT message, WPARAM wParam, LPARAM lParam) {
    return ::PostMessageW(m_wnd.m_hWnd, message, wParam, lParam) != FALSE;
}

LRESULT Window::defaultProc(UINT message, WPARAM wParam, LPARAM lParam) {
    return ::DefWindowProcW(m_wnd.m_hWnd, message, wParam, lParam);
}

LRESULT Window::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    return m_wnd.AfxCallWindowProc(message, wParam, lParam);
}

// ---- frames ----

Frame::~Frame() {
    if (m_accelerators != nullptr)
        ::DestroyAcceleratorTable(m_accelerators);
    if (m_bigIcon != nullptr)
        ::DestroyIcon(m_bigIcon);
    if (m_smallIcon != nullptr)
        ::DestroyIcon(m_smallIcon);
}

void Frame::loadIcons() {
    const UINT dpi = dpiOf(m_wnd.m_hWnd);
    HINSTANCE module = AfxGetResourceHandle();
    auto load = [&](int cx, int cy) {
        return static_cast<HICON>(::LoadImageW(module, MAKEINTRESOURCEW(m_iconId), IMAGE_ICON,
                                               metricFor(cx, dpi), metricFor(cy, dpi),
                                               LR_DEFAULTCOLOR));
    };
    HICON big = load(SM_CXICON, SM_CYICON);
    HICON small = load(SM_CXSMICON, SM_CYSMICON);
    ::SendMessageW(m_wnd.m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
    ::SendMessageW(m_wnd.m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
    // The window no longer uses the old ones.
    if (m_bigIcon != nullptr)
        ::DestroyIcon(m_bigIcon);
    if (m_smallIcon != nullptr)
        ::DestroyIcon(m_smallIcon);
    m_bigIcon = big;
    m_smallIcon = small;
}

bool Frame::loadFrame(UINT resourceId, DWORD style, CWnd* parent) {
    HINSTANCE module = AfxGetResourceHandle();
    WCHAR title[256] = {};
    ::LoadStringW(module, resourceId, title, 256);
    if (WCHAR* end = std::wcschr(title, L'\n'))
        *end = L'\0';
    m_accelerators = ::LoadAcceleratorsW(module, MAKEINTRESOURCEW(resourceId));
    // A new top-level window gets the usual default size, scaled as the text in it is; the
    // system places it.
    const std::string name = narrow(title);
    const int dpi = static_cast<int>(dpiOf(nullptr));
    const int width = ::MulDiv(480, dpi, kBaseDpi);
    const int height = ::MulDiv(320, dpi, kBaseDpi);
    if (!m_wnd.CreateEx(
            0, nullptr, name.c_str(), style & ~FWS_ADDTOTITLE,
            CRect(CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT + width, CW_USEDEFAULT + height),
            parent, resourceId)) {
        return false;
    }
    m_iconId = resourceId;
    loadIcons();
    recalcLayout();
    return true;
}

void Frame::recalcLayout() {
    if (m_wnd.m_hWnd == nullptr)
        return;
    HWND pane = ::GetDlgItem(m_wnd.m_hWnd, static_cast<int>(AFX_IDW_PANE_FIRST));
    if (pane == nullptr)
        return;
    RECT client;
    ::GetClientRect(m_wnd.m_hWnd, &client);
    ::MoveWindow(pane, 0, 0, client.right, client.bottom, TRUE);
}

LRESULT Frame::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_SIZE:
            recalcLayout();
            break;
        case WM_DPICHANGED: {
            // Moved to a monitor of another scaling: take the size the system suggests for it;
            // the view paints with the font of the new DPI.
            const auto* suggested = reinterpret_cast<const RECT*>(lParam);
            ::SetWindowPos(m_wnd.m_hWnd, nullptr, suggested->left, suggested->top,
                           suggested->right - suggested->left, suggested->bottom - suggested->top,
                           SWP_NOZORDER | SWP_NOACTIVATE);
            loadIcons();
            ::RedrawWindow(m_wnd.m_hWnd, nullptr, nullptr,
                           RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
            return 0;
        }
        case WM_QUERYENDSESSION:
            return TRUE;
        case WM_ENDSESSION:
            if (wParam != FALSE && AfxGetApp() != nullptr && AfxGetApp()->m_pMainWnd == &m_wnd) {
                AfxEndSession();
                return 0;
            }
            break;
        default:
            break;
    }
    return Window::handle(message, wParam, lParam);
}

// ---- painting ----

Paint::Paint(CWnd& wnd) : m_hwnd(wnd.m_hWnd) {
    m_dc = ::BeginPaint(m_hwnd, &m_ps);
    m_oldFont = ::SelectObject(m_dc, guiFontFor(dpiOf(m_hwnd)));
    ::SetBkMode(m_dc, TRANSPARENT);
    // The text colour that goes with the class background, or a dark scheme paints black on
    // black.
    const auto brush = ::GetClassLongPtrW(m_hwnd, GCLP_HBRBACKGROUND);
    ::SetTextColor(m_dc,
                   ::GetSysColor(brush == COLOR_BTNFACE + 1 ? COLOR_BTNTEXT : COLOR_WINDOWTEXT));
}

Paint::~Paint() {
    ::SelectObject(m_dc, m_oldFont);
    ::EndPaint(m_hwnd, &m_ps);
}

int Paint::drawText(LPCSTR text, int count, RECT* rect, UINT format) {
    const std::wstring wide = widen(text, count);
    // A scanned '&' is text, never a mnemonic prefix.
    return ::DrawTextW(m_dc, wide.c_str(), static_cast<int>(wide.size()), rect,
                       format | DT_NOPREFIX);
}

}  // namespace afx::win32
