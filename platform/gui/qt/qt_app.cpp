#include "platform/gui/afxwin.h"

#include <QApplication>
#include <QCoreApplication>
#include <QSystemTrayIcon>
#include <QWidget>

#include "platform/gui/qt/afx_res.h"
#include "platform/gui/qt/session_hooks.h"

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
