#include "platform/gui/afxwin.h"

#include <objbase.h>
#include <ole2.h>

#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/gui/win32/shell_seams.h"

AfxShellCalls& AfxShell() {
    static AfxShellCalls calls;
    return calls;
}

namespace {

void (*g_sessionEnd)() = nullptr;

std::vector<AfxShellObject*>& shellObjects() {
    static std::vector<AfxShellObject*> objects;
    return objects;
}

struct ClassNames {
    std::mutex mutex;
    std::set<std::string> names;  // stable storage for the returned names
};

ClassNames& classNames() {
    static ClassNames names;
    return names;
}

}  // namespace

namespace {

HCURSOR arrowCursor() {
    return ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
}

}  // namespace

HINSTANCE AfxGetResourceHandle() {
    return ::GetModuleHandleW(nullptr);
}

void CDC::FillSolidRect(const RECT& rect, COLORREF color) {
    HBRUSH brush = ::CreateSolidBrush(color);
    ::FillRect(m_hDC, &rect, brush);
    ::DeleteObject(brush);
}

LPCSTR AfxRegisterWndClass(UINT classStyle, HCURSOR cursor, HBRUSH background, HICON icon) {
    const std::string name = "Afx:" + std::to_string(classStyle) + ":" +
                             std::to_string(reinterpret_cast<UINT_PTR>(cursor)) + ":" +
                             std::to_string(reinterpret_cast<UINT_PTR>(background)) + ":" +
                             std::to_string(reinterpret_cast<UINT_PTR>(icon));
    std::lock_guard<std::mutex> guard(classNames().mutex);
    auto [it, added] = classNames().names.insert(name);
    if (added) {
        const std::wstring wide = afx::widen(name.c_str());
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.style = classStyle;
        wc.lpfnWndProc = &CWnd::AfxWndProc;
        wc.hInstance = AfxGetResourceHandle();
        wc.hCursor = cursor;
        wc.hbrBackground = background;
        wc.hIcon = icon;
        wc.lpszClassName = wide.c_str();
        ::RegisterClassExW(&wc);
    }
    return it->c_str();
}

// ---------------------------------------------------------------------------------------------
// CWnd

BEGIN_MESSAGE_MAP(CWnd, CCmdTarget)
END_MESSAGE_MAP()

CWnd::CWnd() = default;

CWnd::~CWnd() {
    if (m_hWnd != nullptr) {
        HWND hwnd = m_hWnd;
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        m_hWnd = nullptr;
        ::DestroyWindow(hwnd);
    }
}

CWnd* CWnd::FromHandle(HWND hwnd) {
    if (hwnd == nullptr)
        return nullptr;
    DWORD process = 0;
    ::GetWindowThreadProcessId(hwnd, &process);
    if (process != ::GetCurrentProcessId())
        return nullptr;
    WCHAR name[8] = {};
    ::GetClassNameW(hwnd, name, 8);
    if (std::wcsncmp(name, L"Afx:", 4) != 0)
        return nullptr;  // only windows of this layer carry an object
    return reinterpret_cast<CWnd*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

BOOL CWnd::PreCreateWindow(CREATESTRUCT&) {
    return TRUE;
}

BOOL CWnd::Create(LPCSTR lpszClassName, LPCSTR lpszWindowName, DWORD dwStyle, const RECT& rect,
                  CWnd* pParentWnd, UINT nID, CCreateContext*) {
    return CreateEx(0, lpszClassName, lpszWindowName, dwStyle, rect, pParentWnd, nID);
}

BOOL CWnd::CreateEx(DWORD dwExStyle, LPCSTR lpszClassName, LPCSTR lpszWindowName, DWORD dwStyle,
                    const RECT& rect, CWnd* pParentWnd, UINT nID, void* lpParam) {
    if (m_hWnd != nullptr)
        return FALSE;
    CREATESTRUCT cs{};
    cs.lpCreateParams = lpParam;
    cs.hwndParent = pParentWnd != nullptr ? pParentWnd->m_hWnd : nullptr;
    cs.x = rect.left;
    cs.y = rect.top;
    cs.cx = rect.right - rect.left;
    cs.cy = rect.bottom - rect.top;
    cs.style = static_cast<LONG>(dwStyle);
    cs.lpszName = lpszWindowName;
    cs.lpszClass = lpszClassName;
    cs.dwExStyle = dwExStyle;
    cs.hInstance = AfxGetResourceHandle();
    const bool child = (dwStyle & WS_CHILD) != 0;
    cs.hMenu = child ? reinterpret_cast<HMENU>(static_cast<UINT_PTR>(nID))
                     : ::LoadMenuW(cs.hInstance, MAKEINTRESOURCEW(nID));
    if (!PreCreateWindow(cs))
        return FALSE;
    if (child && cs.hwndParent == nullptr)
        return FALSE;
    if (cs.lpszClass == nullptr)
        cs.lpszClass = AfxRegisterWndClass(CS_HREDRAW | CS_VREDRAW, arrowCursor(),
                                           AfxSysColorBrush(COLOR_WINDOW + 1));
    m_nID = nID;
    const std::wstring cls = afx::widen(cs.lpszClass);
    const std::wstring name = afx::widen(cs.lpszName);
    // The object goes to the window procedure as the creation parameter, before any message.
    HWND hwnd =
        ::CreateWindowExW(cs.dwExStyle, cls.c_str(), name.c_str(), static_cast<DWORD>(cs.style),
                          cs.x, cs.y, cs.cx, cs.cy, cs.hwndParent, cs.hMenu, cs.hInstance, this);
    return hwnd != nullptr ? TRUE : FALSE;
}

LRESULT CALLBACK CWnd::AfxWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    CWnd* wnd = nullptr;
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        wnd = static_cast<CWnd*>(create->lpCreateParams);
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(wnd));
        if (wnd != nullptr)
            wnd->m_hWnd = hwnd;
    } else {
        wnd = reinterpret_cast<CWnd*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
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
        wnd->m_hWnd = nullptr;
        wnd->m_timers.clear();
        CWinApp* app = AfxGetApp();
        if (app != nullptr && app->m_pMainWnd == wnd) {
            app->m_pMainWnd = nullptr;
            AfxPostQuitMessage(0);
        }
        wnd->PostNcDestroy();
        return result;
    }
    return wnd->WindowProc(message, wParam, lParam);
}

BOOL CWnd::DestroyWindow() {
    if (m_hWnd == nullptr)
        return FALSE;
    return ::DestroyWindow(m_hWnd);
}

BOOL CWnd::ShowWindow(int nCmdShow) {
    if (m_hWnd == nullptr)
        return FALSE;
    const BOOL wasVisible = ::IsWindowVisible(m_hWnd);
    ::ShowWindow(m_hWnd, nCmdShow);
    if (nCmdShow == SW_SHOWNORMAL && (GetStyle() & WS_CHILD) == 0)
        ::SetForegroundWindow(m_hWnd);
    return wasVisible;
}

void CWnd::UpdateWindow() {
    if (m_hWnd != nullptr)
        ::UpdateWindow(m_hWnd);
}

CWnd* CWnd::SetFocus() {
    if (m_hWnd == nullptr)
        return nullptr;
    return FromHandle(::SetFocus(m_hWnd));
}

void CWnd::InvalidateRect(const RECT* rect, BOOL erase) {
    if (m_hWnd != nullptr)
        ::InvalidateRect(m_hWnd, rect, erase);
}

void CWnd::GetClientRect(RECT* rect) const {
    if (m_hWnd == nullptr) {
        *rect = RECT{0, 0, 0, 0};
        return;
    }
    ::GetClientRect(m_hWnd, rect);
}

BOOL CWnd::IsWindowVisible() const {
    return m_hWnd != nullptr && ::IsWindowVisible(m_hWnd) ? TRUE : FALSE;
}

BOOL CWnd::IsIconic() const {
    return m_hWnd != nullptr && ::IsIconic(m_hWnd) ? TRUE : FALSE;
}

void CWnd::SetWindowText(LPCSTR text) {
    if (m_hWnd != nullptr)
        ::SetWindowTextW(m_hWnd, afx::widen(text).c_str());
}

DWORD CWnd::GetStyle() const {
    return m_hWnd != nullptr ? static_cast<DWORD>(::GetWindowLongPtrW(m_hWnd, GWL_STYLE)) : 0;
}

DWORD CWnd::GetExStyle() const {
    return m_hWnd != nullptr ? static_cast<DWORD>(::GetWindowLongPtrW(m_hWnd, GWL_EXSTYLE)) : 0;
}

UINT_PTR CWnd::SetTimer(UINT_PTR nIDEvent, UINT nElapse, void (*)()) {
    if (m_hWnd == nullptr || nIDEvent == 0)
        return 0;
    if (::SetTimer(m_hWnd, nIDEvent, nElapse, nullptr) == 0)
        return 0;
    m_timers.insert(nIDEvent);
    return nIDEvent;
}

BOOL CWnd::KillTimer(UINT_PTR nIDEvent) {
    if (m_timers.erase(nIDEvent) == 0)
        return FALSE;
    if (m_hWnd != nullptr)
        ::KillTimer(m_hWnd, nIDEvent);
    return TRUE;
}

bool CWnd::IsTimerRunning(UINT_PTR nIDEvent) const {
    return m_timers.count(nIDEvent) != 0;
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (m_hWnd == nullptr)
        return 0;
    return ::SendMessageW(m_hWnd, message, wParam, lParam);
}

BOOL CWnd::PostMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (m_hWnd == nullptr)
        return FALSE;
    return ::PostMessageW(m_hWnd, message, wParam, lParam);
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    const Current current{message, wParam, lParam};
    const Current* outer = m_current;
    m_current = &current;
    HWND hwnd = m_hWnd;
    LRESULT result = 0;
    if (message == WM_COMMAND) {
        if (!OnCommand(wParam, lParam))
            result = DefWindowProc(message, wParam, lParam);
    } else if (const AFX_MSGMAP_ENTRY* entry = FindMessageEntry(GetMessageMap(), message, 0, 0)) {
        AfxMessage msg{message, wParam, lParam, 0};
        if (message == WM_SETFOCUS)  // the handler takes the window object, not the HWND
            msg.wParam = reinterpret_cast<WPARAM>(FromHandle(reinterpret_cast<HWND>(wParam)));
        entry->pfn(this, msg);
        result = msg.result;
    } else {
        result = DefWindowProc(message, wParam, lParam);
    }
    // A handler may have destroyed the window and deleted this object (a frame closing).
    if (::IsWindow(hwnd) && FromHandle(hwnd) == this)
        m_current = outer;
    return result;
}

BOOL CWnd::OnCommand(WPARAM wParam, LPARAM lParam) {
    UINT code = HIWORD(wParam);
    if (lParam == 0 && code == 1)
        code = 0;  // an accelerator's command is a command like a menu item's
    return OnCmdMsg(LOWORD(wParam), static_cast<int>(code), nullptr, nullptr);
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (m_hWnd == nullptr)
        return 0;
    return ::DefWindowProcW(m_hWnd, message, wParam, lParam);
}

LRESULT CWnd::Default() {
    if (m_current == nullptr)
        return 0;
    return DefWindowProc(m_current->message, m_current->wParam, m_current->lParam);
}

// ---------------------------------------------------------------------------------------------
// CFrameWnd

BEGIN_MESSAGE_MAP(CFrameWnd, CWnd)
ON_WM_CREATE()
ON_WM_CLOSE()
END_MESSAGE_MAP()

CFrameWnd::~CFrameWnd() {
    if (m_accelerators != nullptr)
        ::DestroyAcceleratorTable(m_accelerators);
}

BOOL CFrameWnd::PreCreateWindow(CREATESTRUCT& cs) {
    if (cs.lpszClass == nullptr) {
        cs.lpszClass = AfxRegisterWndClass(CS_HREDRAW | CS_VREDRAW, arrowCursor(),
                                           AfxSysColorBrush(COLOR_WINDOW + 1));
    }
    cs.dwExStyle |= WS_EX_CLIENTEDGE;
    return TRUE;
}

BOOL CFrameWnd::LoadFrame(UINT nIDResource, DWORD dwDefaultStyle, CWnd* pParentWnd,
                          CCreateContext*) {
    HINSTANCE module = AfxGetResourceHandle();
    WCHAR title[256] = {};
    ::LoadStringW(module, nIDResource, title, 256);
    if (WCHAR* end = std::wcschr(title, L'\n'))
        *end = L'\0';
    m_accelerators = ::LoadAcceleratorsW(module, MAKEINTRESOURCEW(nIDResource));
    // A new top-level window gets the usual default size; the system places it.
    const std::string name = afx::narrow(title);
    if (!CreateEx(0, nullptr, name.c_str(), dwDefaultStyle & ~FWS_ADDTOTITLE,
                  CRect(CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT + 480, CW_USEDEFAULT + 320),
                  pParentWnd, nIDResource)) {
        return FALSE;
    }
    auto icon = reinterpret_cast<LPARAM>(::LoadIconW(module, MAKEINTRESOURCEW(nIDResource)));
    ::SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, icon);
    ::SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, icon);
    RecalcLayout();
    return TRUE;
}

void CFrameWnd::RecalcLayout() {
    if (m_hWnd == nullptr)
        return;
    HWND pane = ::GetDlgItem(m_hWnd, static_cast<int>(AFX_IDW_PANE_FIRST));
    if (pane == nullptr)
        return;
    RECT client;
    ::GetClientRect(m_hWnd, &client);
    ::MoveWindow(pane, 0, 0, client.right, client.bottom, TRUE);
}

LRESULT CFrameWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_SIZE:
            RecalcLayout();
            break;
        case WM_QUERYENDSESSION:
            return TRUE;
        case WM_ENDSESSION:
            if (wParam != FALSE && AfxGetApp() != nullptr && AfxGetApp()->m_pMainWnd == this) {
                AfxEndSession();
                return 0;
            }
            break;
        default:
            break;
    }
    return CWnd::WindowProc(message, wParam, lParam);
}

int CFrameWnd::OnCreate(LPCREATESTRUCT) {
    return 0;
}

void CFrameWnd::OnClose() {
    DestroyWindow();
}

void CFrameWnd::PostNcDestroy() {
    delete this;
}

BOOL CFrameWnd::OnCmdMsg(UINT nID, int nCode, void* pExtra, AFX_CMDHANDLERINFO* pHandlerInfo) {
    if (CWnd::OnCmdMsg(nID, nCode, pExtra, pHandlerInfo))
        return TRUE;
    CWinApp* app = AfxGetApp();
    return app != nullptr && app->OnCmdMsg(nID, nCode, pExtra, pHandlerInfo) ? TRUE : FALSE;
}

// ---------------------------------------------------------------------------------------------
// Painting

CPaintDC::CPaintDC(CWnd* wnd) : CDC(nullptr), m_hWnd(wnd->m_hWnd) {
    m_hDC = ::BeginPaint(m_hWnd, &m_ps);
    m_oldFont = ::SelectObject(m_hDC, ::GetStockObject(DEFAULT_GUI_FONT));
    ::SetBkMode(m_hDC, TRANSPARENT);
}

CPaintDC::~CPaintDC() {
    ::SelectObject(m_hDC, m_oldFont);
    ::EndPaint(m_hWnd, &m_ps);
}

int CPaintDC::DrawText(LPCSTR text, int count, RECT* rect, UINT format) {
    if (text == nullptr || rect == nullptr)
        return 0;
    const std::wstring wide = afx::widen(text, count);
    // A scanned '&' is text, never a mnemonic prefix.
    return ::DrawTextW(m_hDC, wide.c_str(), static_cast<int>(wide.size()), rect,
                       format | DT_NOPREFIX);
}

// ---------------------------------------------------------------------------------------------
// CWinApp

int CWinApp::Run() {
    MSG msg;
    for (;;) {
        const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0 || got == -1) {
            m_exitCode = got == 0 ? static_cast<int>(msg.wParam) : -1;
            break;
        }
        auto* frame = dynamic_cast<CFrameWnd*>(m_pMainWnd);
        if (frame != nullptr && frame->GetAccelerators() != nullptr && frame->m_hWnd != nullptr &&
            (msg.hwnd == frame->m_hWnd || ::IsChild(frame->m_hWnd, msg.hwnd)) &&
            ::TranslateAcceleratorW(frame->m_hWnd, frame->GetAccelerators(), &msg)) {
            continue;
        }
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return ExitInstance();
}

void AfxPostQuitMessage(int exitCode) {
    ::PostQuitMessage(exitCode);
}

void AfxSetSessionEndHandler(void (*handler)()) {
    g_sessionEnd = handler;
}

void AfxPumpMessages() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

void AfxInitFramework() {
    static bool done = false;
    if (done)
        return;
    done = true;
    ::OleInitialize(nullptr);
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_LINK_CLASS};
    ::InitCommonControlsEx(&controls);
}

void AfxEndSession() {
    static bool ending = false;
    if (ending)
        return;
    ending = true;
    if (g_sessionEnd != nullptr)
        g_sessionEnd();
    CWinApp* app = AfxGetApp();
    const int code = app != nullptr ? app->ExitInstance() : 0;
    AfxTermFramework();
    AfxShell().exitProcess(static_cast<UINT>(code));
}

BOOL AfxEnableControlContainer(void*) {
    return TRUE;
}

int AfxWinMain(int& argc, char** argv) {
    CWinApp* app = AfxGetApp();
    if (app == nullptr)
        return -1;
    AfxSetCommandLine(*app, argc, argv);
    AfxInitFramework();
    int exitCode = 0;
    if (!app->InitInstance()) {
        if (app->m_pMainWnd != nullptr)
            app->m_pMainWnd->DestroyWindow();
        exitCode = app->ExitInstance();
    } else {
        exitCode = app->Run();
    }
    AfxTermFramework();
    return exitCode;
}

void AfxRegisterShellObject(AfxShellObject* object) {
    shellObjects().push_back(object);
}

void AfxUnregisterShellObject(AfxShellObject* object) {
    auto& objects = shellObjects();
    for (auto it = objects.begin(); it != objects.end(); ++it) {
        if (*it == object) {
            objects.erase(it);
            return;
        }
    }
}

void AfxTermFramework() {
    CWinApp* app = AfxGetApp();
    if (app != nullptr && app->m_pMainWnd != nullptr)
        app->m_pMainWnd->DestroyWindow();
    const std::vector<AfxShellObject*> objects = shellObjects();
    for (AfxShellObject* object : objects)
        object->OnFrameworkTerm();
}
