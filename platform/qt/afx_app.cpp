#include "platform/qt/afx_app.h"

#include <QApplication>
#include <QCoreApplication>
#include <QSystemTrayIcon>

#include "platform/qt/afx_res.h"
#include "platform/qt/session_hooks.h"

int CWinApp::Run() {
    m_exitCode = QApplication::exec();
    return ExitInstance();
}

void AfxPostQuitMessage(int exitCode) {
    QCoreApplication::exit(exitCode);
}

void AfxInitFramework() {
    // A tray program goes on running with no window open.
    QApplication::setQuitOnLastWindowClosed(false);
    AfxTrackOwnFocus();
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
        AfxNoDisplayExit noDisplay(argc > 0 ? argv[0] : nullptr);
        QApplication framework(argc, argv);  // takes Qt's own options out of argv
        noDisplay.done();
        AfxInitFramework();
        AfxSetCommandLine(*app, argc, argv);
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
