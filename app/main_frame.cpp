#include "app/main_frame.h"

#include "app/pelmora.h"

BEGIN_MESSAGE_MAP(CMainFrame, CFrameWnd)
ON_WM_CREATE()
ON_WM_SETFOCUS()
ON_WM_CLOSE()
ON_WM_TIMER()
END_MESSAGE_MAP()

namespace {
// Picks up, on this thread, what the reader has to say in the tray icon's tooltip.
constexpr UINT_PTR kReaderNotesTimer = 2;
}  // namespace

CMainFrame::CMainFrame() = default;

CMainFrame::~CMainFrame() = default;

BOOL CMainFrame::PreCreateWindow(CREATESTRUCT& cs) {
    if (!CFrameWnd::PreCreateWindow(cs)) {
        return FALSE;
    }
    cs.dwExStyle &= ~WS_EX_CLIENTEDGE;
    cs.lpszClass = AfxRegisterWndClass(0, nullptr, nullptr, nullptr);
    return TRUE;
}

int CMainFrame::OnCreate(LPCREATESTRUCT lpCreateStruct) {
    if (CFrameWnd::OnCreate(lpCreateStruct) == -1) {
        return -1;
    }
    if (!m_view.Create(nullptr, nullptr, WS_CHILD | WS_VISIBLE | WS_BORDER, CRect(0, 0, 0, 0), this,
                       AFX_IDW_PANE_FIRST, nullptr)) {
        return -1;
    }
    SetTimer(kReaderNotesTimer, 1000);
    return 0;
}

void CMainFrame::OnTimer(UINT_PTR nIDEvent) {
    if (nIDEvent == kReaderNotesTimer) {
        theApp.ShowReaderNotes();
    }
}

void CMainFrame::OnSetFocus(CWnd*) {
    m_view.SetFocus();
}

BOOL CMainFrame::OnCmdMsg(UINT nID, int nCode, void* pExtra, AFX_CMDHANDLERINFO* pHandlerInfo) {
    if (m_view.OnCmdMsg(nID, nCode, pExtra, pHandlerInfo)) {
        return TRUE;
    }
    return CFrameWnd::OnCmdMsg(nID, nCode, pExtra, pHandlerInfo);
}

void CMainFrame::OnClose() {
    if (theApp.m_exitRequested) {
        CFrameWnd::OnClose();
        return;
    }
    if (theApp.MainWindowIsOnlyAccess()) {
        if (theApp.m_trayIcon.WaitsForTray()) {
            // The icon is still to come: keep the program within reach on the taskbar.
            ShowWindow(SW_SHOWMINIMIZED);
        } else {
            // With no tray to come back from, closing the window is the way out.
            theApp.OnExit();
        }
        return;
    }
    theApp.OnHideMainWindow();
}
