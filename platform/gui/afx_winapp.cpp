// The application object and the program's entry; the backend supplies the toolkit's session and
// message loop, AfxPostQuitMessage and AfxInitFramework/AfxTermFramework.
#include "platform/gui/afx_winapp.h"

#include <memory>
#include <string>

#include "platform/gui/afxwin.h"

namespace {
CWinApp* g_app = nullptr;
LPCSTR g_singleInstance = nullptr;

// Another start of the program asked for this copy: its main window, shown, normal, in front.
void ComeForward() {
    CWinApp* app = AfxGetApp();
    if (app != nullptr && app->m_pMainWnd != nullptr) {
        app->m_pMainWnd->ShowWindow(SW_SHOWNORMAL);
    }
}

}  // namespace

void AfxSetSingleInstance(LPCSTR name) {
    g_singleInstance = name;
}

BEGIN_MESSAGE_MAP(CWinApp, CCmdTarget)
ON_COMMAND(ID_APP_EXIT, &CWinApp::OnAppExit)
END_MESSAGE_MAP()

CWinApp::CWinApp(LPCSTR lpszAppName) : m_pszAppName(lpszAppName) {
    // Constructed before the backend's event loop exists: nothing here may touch it.
    g_app = this;
}

CWinApp::~CWinApp() {
    if (g_app == this) {
        g_app = nullptr;
    }
}

int CWinApp::Run() {
    m_exitCode = afx::backend().messageLoop();
    return ExitInstance();
}

int AfxWinMain(int& argc, char** argv) {
    CWinApp* app = AfxGetApp();
    if (app == nullptr)
        return -1;
    int exitCode = 0;
    {
        const std::unique_ptr<afx::Session> session = afx::backend().startSession(argc, argv);
        AfxInitFramework();
        AfxSetCommandLine(*app, argc, argv);
        if (g_singleInstance != nullptr &&
            !afx::backend().claimInstance(g_singleInstance, &ComeForward)) {
            // The running copy came forward: nothing of this one was started.
        } else if (!app->InitInstance()) {
            if (app->m_pMainWnd != nullptr)
                app->m_pMainWnd->DestroyWindow();
            exitCode = app->ExitInstance();
        } else {
            exitCode = app->Run();
        }
        AfxTermFramework();
    }
    return exitCode;
}

BOOL CWinApp::InitInstance() {
    return TRUE;
}

int CWinApp::ExitInstance() {
    return m_exitCode;
}

void CWinApp::SetRegistryKey(LPCSTR lpszRegistryKey) {
    m_pszRegistryKey = lpszRegistryKey;
}

void CWinApp::OnAppExit() {
    if (m_pMainWnd != nullptr) {
        m_pMainWnd->SendMessage(WM_CLOSE);
    }
}

void CWinApp::OnHelp() {}

CWinApp* AfxGetApp() {
    return g_app;
}

void AfxSetCommandLine(CWinApp& app, int argc, char** argv) {
    static std::string commandLine;
    commandLine.clear();
    for (int i = 1; i < argc; ++i) {
        commandLine += (i > 1 ? " " : "");
        commandLine += argv[i];
    }
    app.m_lpCmdLine = commandLine.c_str();
}
