#include "platform/gui/afxwin.h"

// ---------------------------------------------------------------------------------------------
// CWnd

BEGIN_MESSAGE_MAP(CWnd, CCmdTarget)
END_MESSAGE_MAP()

CWnd::CWnd() = default;

CWnd::~CWnd() {
    *m_alive = false;
    m_peer.reset();
}

CWnd* CWnd::FromHandle(HWND hwnd) {
    return hwnd != nullptr ? afx::backend().windowOf(hwnd) : nullptr;
}

std::unique_ptr<afx::WindowPeer> CWnd::CreatePeer() {
    return afx::backend().createWindow(*this);
}

afx::WindowPeer& CWnd::EnsurePeer() {
    if (m_peer == nullptr)
        m_peer = CreatePeer();
    return *m_peer;
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
    if ((dwStyle & WS_CHILD) != 0 && (pParentWnd == nullptr || pParentWnd->m_hWnd == nullptr))
        return FALSE;
    m_nID = nID;
    return EnsurePeer().create(dwExStyle, lpszClassName, lpszWindowName, dwStyle, rect, pParentWnd,
                               nID, lpParam)
               ? TRUE
               : FALSE;
}

void CWnd::AfxDetach() {
    m_hWnd = nullptr;
    m_timers.clear();
}

void CWnd::AfxWindowGone() {
    AfxDetach();
    CWinApp* app = AfxGetApp();
    if (app != nullptr && app->m_pMainWnd == this) {
        app->m_pMainWnd = nullptr;
        AfxPostQuitMessage(0);
    }
    PostNcDestroy();
}

BOOL CWnd::DestroyWindow() {
    if (m_hWnd == nullptr)
        return FALSE;
    return m_peer->destroy() ? TRUE : FALSE;
}

BOOL CWnd::ShowWindow(int nCmdShow) {
    if (m_hWnd == nullptr)
        return FALSE;
    return m_peer->show(nCmdShow) ? TRUE : FALSE;
}

void CWnd::UpdateWindow() {
    if (m_hWnd != nullptr)
        m_peer->update();
}

CWnd* CWnd::SetFocus() {
    return m_hWnd != nullptr ? m_peer->setFocus() : nullptr;
}

void CWnd::InvalidateRect(const RECT* rect, BOOL erase) {
    if (m_hWnd != nullptr)
        m_peer->invalidate(rect, erase != FALSE);
}

void CWnd::GetClientRect(RECT* rect) const {
    *rect = m_hWnd != nullptr ? m_peer->clientRect() : RECT{0, 0, 0, 0};
}

BOOL CWnd::IsWindowVisible() const {
    return m_hWnd != nullptr && m_peer->isVisible() ? TRUE : FALSE;
}

BOOL CWnd::IsIconic() const {
    return m_hWnd != nullptr && m_peer->isIconic() ? TRUE : FALSE;
}

void CWnd::SetWindowText(LPCSTR text) {
    if (m_hWnd != nullptr)
        m_peer->setText(text);
}

DWORD CWnd::GetStyle() const {
    return m_hWnd != nullptr ? m_peer->style() : 0;
}

DWORD CWnd::GetExStyle() const {
    return m_hWnd != nullptr ? m_peer->exStyle() : 0;
}

UINT_PTR CWnd::SetTimer(UINT_PTR nIDEvent, UINT nElapse, void (*)()) {
    if (m_hWnd == nullptr || nIDEvent == 0 || !m_peer->startTimer(nIDEvent, nElapse))
        return 0;
    m_timers.insert(nIDEvent);
    return nIDEvent;
}

BOOL CWnd::KillTimer(UINT_PTR nIDEvent) {
    if (m_timers.erase(nIDEvent) == 0)
        return FALSE;
    if (m_hWnd != nullptr)
        m_peer->stopTimer(nIDEvent);
    return TRUE;
}

bool CWnd::IsTimerRunning(UINT_PTR nIDEvent) const {
    return m_timers.count(nIDEvent) != 0;
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    return m_hWnd != nullptr ? m_peer->send(message, wParam, lParam) : 0;
}

BOOL CWnd::PostMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    return m_hWnd != nullptr && m_peer->post(message, wParam, lParam) ? TRUE : FALSE;
}

LRESULT CWnd::AfxCallWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    return WindowProc(message, wParam, lParam);
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    const AfxMessage current{message, wParam, lParam, 0};
    const std::shared_ptr<bool> alive = m_alive;
    const AfxMessage* outer = m_currentMessage;
    m_currentMessage = &current;
    LRESULT result = 0;
    if (message == WM_COMMAND) {
        if (!OnCommand(wParam, lParam))
            result = DefWindowProc(message, wParam, lParam);
    } else if (const AFX_MSGMAP_ENTRY* entry = FindMessageEntry(GetMessageMap(), message, 0, 0)) {
        AfxMessage msg = current;
        if (message == WM_SETFOCUS)  // the handler takes the window object, not the handle
            msg.wParam = reinterpret_cast<WPARAM>(FromHandle(reinterpret_cast<HWND>(wParam)));
        entry->pfn(this, msg);
        result = msg.result;
    } else {
        result = DefWindowProc(message, wParam, lParam);
    }
    if (*alive)
        m_currentMessage = outer;
    return result;
}

BOOL CWnd::OnCommand(WPARAM wParam, LPARAM lParam) {
    UINT code = HIWORD(wParam);
    if (lParam == 0 && code == 1)
        code = 0;  // an accelerator's command is a command like a menu item's
    return OnCmdMsg(LOWORD(wParam), static_cast<int>(code), nullptr, nullptr);
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    return m_hWnd != nullptr ? m_peer->defaultProc(message, wParam, lParam) : 0;
}

LRESULT CWnd::Default() {
    if (m_currentMessage == nullptr)
        return 0;
    return DefWindowProc(m_currentMessage->message, m_currentMessage->wParam,
                         m_currentMessage->lParam);
}

// ---------------------------------------------------------------------------------------------
// CFrameWnd

BEGIN_MESSAGE_MAP(CFrameWnd, CWnd)
ON_WM_CREATE()
ON_WM_CLOSE()
END_MESSAGE_MAP()

std::unique_ptr<afx::WindowPeer> CFrameWnd::CreatePeer() {
    return afx::backend().createFrame(*this);
}

BOOL CFrameWnd::PreCreateWindow(CREATESTRUCT& cs) {
    if (cs.lpszClass == nullptr) {
        cs.lpszClass = AfxRegisterWndClass(CS_HREDRAW | CS_VREDRAW, LoadCursorA(nullptr, IDC_ARROW),
                                           AfxSysColorBrush(COLOR_WINDOW + 1));
    }
    cs.dwExStyle |= WS_EX_CLIENTEDGE;
    return TRUE;
}

BOOL CFrameWnd::LoadFrame(UINT nIDResource, DWORD dwDefaultStyle, CWnd* pParentWnd,
                          CCreateContext*) {
    if (m_hWnd != nullptr)
        return FALSE;
    auto* frame = dynamic_cast<afx::FramePeer*>(&EnsurePeer());
    return frame != nullptr && frame->loadFrame(nIDResource, dwDefaultStyle, pParentWnd) ? TRUE
                                                                                         : FALSE;
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

void CDC::FillSolidRect(const RECT& rect, COLORREF color) {
    afx::backend().fillSolidRect(m_hDC, rect, color);
}

CPaintDC::CPaintDC(CWnd* wnd) : CPaintDC(afx::backend().beginPaint(*wnd)) {}

CPaintDC::CPaintDC(std::unique_ptr<afx::PaintPeer> peer)
    : CDC(peer->dc()), m_peer(std::move(peer)) {}

CPaintDC::~CPaintDC() = default;

int CPaintDC::DrawText(LPCSTR text, int count, RECT* rect, UINT format) {
    if (text == nullptr || rect == nullptr)
        return 0;
    return m_peer->drawText(text, count, rect, format);
}
