// The Win32 windowing layer on real windows under Wine: commands routed view -> frame ->
// application, window timers, the frame's accelerators reaching their commands, Latin-1 text,
// OK on a dialog whose exchange fails.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/gui/afxdlg.h"
#include "platform/gui/afxwin.h"
#include "res/dialog_templates.h"
#include "res/resource.h"

namespace {

constexpr UINT kViewCommand = 40001;
constexpr UINT kFrameCommand = 40002;
constexpr UINT kAppCommand = 40003;
constexpr UINT kSharedCommand = 40004;  // the view and the frame both handle it
constexpr UINT kUnhandledCommand = 40005;
constexpr UINT_PTR kTimer = 7;

std::vector<std::string> g_seen;

class LayerApp : public CWinApp {
public:
    afx_msg void OnAppCommand() { g_seen.push_back("app"); }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(LayerApp, CWinApp)
ON_COMMAND(kAppCommand, &LayerApp::OnAppCommand)
END_MESSAGE_MAP()

LayerApp theLayerApp;

class View : public CWnd {
public:
    int ticks = 0;
    afx_msg void OnViewCommand() { g_seen.push_back("view"); }
    afx_msg void OnShared() { g_seen.push_back("view-shared"); }
    afx_msg void OnTimer(UINT_PTR id) {
        if (id == kTimer && ++ticks == 3)
            KillTimer(kTimer);
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(View, CWnd)
ON_COMMAND(kViewCommand, &View::OnViewCommand)
ON_COMMAND(kSharedCommand, &View::OnShared)
ON_WM_TIMER()
END_MESSAGE_MAP()

class Frame : public CFrameWnd {
public:
    View m_view;
    BOOL OnCmdMsg(UINT nID, int nCode, void* pExtra, AFX_CMDHANDLERINFO* pInfo) override {
        if (m_view.OnCmdMsg(nID, nCode, pExtra, pInfo))
            return TRUE;
        return CFrameWnd::OnCmdMsg(nID, nCode, pExtra, pInfo);
    }

protected:
    afx_msg int OnCreate(LPCREATESTRUCT cs) {
        if (CFrameWnd::OnCreate(cs) == -1)
            return -1;
        return m_view.Create(nullptr, nullptr, WS_CHILD | WS_VISIBLE, CRect(0, 0, 0, 0), this,
                             AFX_IDW_PANE_FIRST)
                   ? 0
                   : -1;
    }
    afx_msg void OnFrameCommand() { g_seen.push_back("frame"); }
    afx_msg void OnShared() { g_seen.push_back("frame-shared"); }
    afx_msg void OnNextPane() { g_seen.push_back("next-pane"); }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(Frame, CFrameWnd)
ON_WM_CREATE()
ON_COMMAND(kFrameCommand, &Frame::OnFrameCommand)
ON_COMMAND(kSharedCommand, &Frame::OnShared)
ON_COMMAND(ID_NEXT_PANE, &Frame::OnNextPane)
END_MESSAGE_MAP()

// A frame on the program's resources (menu, accelerators and title 128), shown.
Frame* makeFrame() {
    AfxInitFramework();
    auto* frame = new Frame;
    if (!frame->LoadFrame(IDR_MAINFRAME)) {
        delete frame;
        return nullptr;
    }
    theLayerApp.m_pMainWnd = frame;
    frame->ShowWindow(SW_SHOWNORMAL);
    AfxPumpMessages();
    return frame;
}

void postCommand(CWnd* wnd, UINT id) {
    wnd->PostMessage(WM_COMMAND, MAKEWPARAM(id, 0), 0);
}

TEST(Win32Layer, CommandsGoToTheViewThenTheFrameThenTheApplication) {
    g_seen.clear();
    Frame* frame = makeFrame();
    ASSERT_NE(frame, nullptr);
    // The pane fills the client area.
    RECT frameClient, viewClient;
    frame->GetClientRect(&frameClient);
    frame->m_view.GetClientRect(&viewClient);
    EXPECT_GT(frameClient.right, 0);
    EXPECT_EQ(viewClient.right, frameClient.right);
    EXPECT_EQ(viewClient.bottom, frameClient.bottom);

    for (UINT id : {kViewCommand, kFrameCommand, kAppCommand, kSharedCommand, kUnhandledCommand})
        postCommand(frame, id);
    AfxPumpMessages();
    EXPECT_EQ(g_seen, (std::vector<std::string>{"view", "frame", "app", "view-shared"}));

    // Timers tick until killed, and no more after.
    ASSERT_EQ(frame->m_view.SetTimer(kTimer, 20), kTimer);
    EXPECT_TRUE(frame->m_view.IsTimerRunning(kTimer));
    const DWORD start = ::GetTickCount();
    while (frame->m_view.ticks < 3 && ::GetTickCount() - start < 5000) {
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        AfxPumpMessages();
    }
    EXPECT_EQ(frame->m_view.ticks, 3);
    EXPECT_FALSE(frame->m_view.IsTimerRunning(kTimer));
    ::Sleep(150);
    AfxPumpMessages();
    EXPECT_EQ(frame->m_view.ticks, 3);

    // The message loop translates the frame's accelerators (F6 is ID_NEXT_PANE in table 128)
    // for keys sent to any of its windows; closing the main frame ends the loop.
    g_seen.clear();
    frame->m_view.PostMessage(WM_KEYDOWN, VK_F6, 1);
    frame->PostMessage(WM_CLOSE);
    theLayerApp.Run();
    EXPECT_EQ(g_seen, (std::vector<std::string>{"next-pane"}));
    EXPECT_EQ(theLayerApp.m_pMainWnd, nullptr);  // the frame went, and deleted itself
}

TEST(Win32Layer, NarrowTextIsLatin1NotCodePage1252) {
    // 0x80 is the euro sign in code page 1252; here it stays U+0080, like every other byte.
    const std::wstring wide = afx::widen("\x80\x9F\xE9&\xFF");
    EXPECT_EQ(wide, (std::wstring{L'\x0080', L'\x009F', L'\x00E9', L'&', L'\x00FF'}));
    EXPECT_EQ(afx::narrow(L"\x00E9\x20AC&"), "\xE9?&");
}

// The Options template with an exchange that refuses what the controls hold.
class RefusingDialog : public CDialog {
public:
    RefusingDialog() : CDialog(res::optionsDialogTemplate()) {}
    void DoDataExchange(CDataExchange* pDX) override {
        if (pDX->m_bSaveAndValidate)
            pDX->Fail();
    }
};

bool g_openAfterOk = false;

void CALLBACK pressOkThenCancel(HWND dialog, UINT, UINT_PTR timer, DWORD) {
    ::KillTimer(dialog, timer);
    ::SendMessageW(::GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    g_openAfterOk = ::IsWindowVisible(dialog) != FALSE;
    ::PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
}

TEST(Win32Layer, OkLeavesTheDialogOpenWhenTheExchangeFails) {
    CDialog::SetInitHook(
        [](CDialog& dialog) { ::SetTimer(dialog.m_hWnd, 1, 50, pressOkThenCancel); });
    RefusingDialog dialog;
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    CDialog::SetInitHook(nullptr);
    EXPECT_TRUE(g_openAfterOk);
}

}  // namespace
