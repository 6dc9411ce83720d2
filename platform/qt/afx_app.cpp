#include "platform/qt/afx_app.h"

#include <QApplication>
#include <QCoreApplication>
#include <QSystemTrayIcon>
#include <string>

#include "platform/qt/afx_res.h"

namespace {
CWinApp* g_app = nullptr;
}

BEGIN_MESSAGE_MAP(CWinApp, CCmdTarget)
ON_COMMAND(ID_APP_EXIT, &CWinApp::OnAppExit)
END_MESSAGE_MAP()

CWinApp::CWinApp(LPCSTR lpszAppName) : m_pszAppName(lpszAppName) {
    // Constructed before the Qt application exists: nothing here may touch Qt.
    g_app = this;
}

CWinApp::~CWinApp() {
    if (g_app == this) {
        g_app = nullptr;
    }
}

BOOL CWinApp::InitInstance() {
    return TRUE;
}

int CWinApp::ExitInstance() {
    return m_exitCode;
}

int CWinApp::Run() {
    m_exitCode = QApplication::exec();
    return ExitInstance();
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

void AfxPostQuitMessage(int exitCode) {
    QCoreApplication::exit(exitCode);
}

void AfxInitFramework() {
    // A tray program goes on running with no window open.
    QApplication::setQuitOnLastWindowClosed(false);
    if (const AfxVersionInfo* version = AfxFindVersionInfo()) {
        auto value = [version](const char* key) {
            auto it = version->strings.find(key);
            return it == version->strings.end() ? QString() : QString::fromStdString(it->second);
        };
        QCoreApplication::setApplicationVersion(value("ProductVersion"));
        QCoreApplication::setOrganizationName(value("CompanyName"));
        if (!value("ProductName").isEmpty()) {
            QCoreApplication::setApplicationName(value("ProductName"));
        }
    }
}

int AfxWinMain(int& argc, char** argv) {
    CWinApp* app = AfxGetApp();
    if (app == nullptr) {
        return -1;
    }
    int exitCode = 0;
    {
        QApplication framework(argc, argv);  // takes Qt's own options out of argv
        AfxInitFramework();
        static std::string commandLine;
        for (int i = 1; i < argc; ++i) {
            commandLine += (i > 1 ? " " : "");
            commandLine += argv[i];
        }
        app->m_lpCmdLine = commandLine.c_str();
        if (!app->InitInstance()) {
            if (app->m_pMainWnd != nullptr) {
                app->m_pMainWnd->DestroyWindow();
            }
            exitCode = app->ExitInstance();
        } else {
            exitCode = app->Run();
        }
        AfxTermFramework();
    }
    return exitCode;
}

void AfxTermFramework() {
    if (QCoreApplication::instance() == nullptr) {
        return;
    }
    CWinApp* app = AfxGetApp();
    if (app != nullptr && app->m_pMainWnd != nullptr) {
        app->m_pMainWnd->DestroyWindow();
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    const auto icons = qApp->findChildren<QSystemTrayIcon*>(Qt::FindDirectChildrenOnly);
    for (QSystemTrayIcon* icon : icons) {
        delete icon;
    }
    // Windows of this layer belong to their CWnd objects; what is left (menus) goes here.
    const auto windows = QApplication::topLevelWidgets();
    for (QWidget* window : windows) {
        if (CWnd::FromHandle(window) == nullptr && window->parent() == nullptr) {
            delete window;
        }
    }
}

void InitCommonControls() {}

BOOL AfxEnableControlContainer(void*) {
    return TRUE;
}
