// The application object and the program's entry: the Qt application is made after the static
// application object and before InitInstance, its event loop is the message loop, and
// ExitInstance runs after the loop ends and before the Qt application goes.
#pragma once

#include "platform/qt/afx_wnd.h"

class CWinApp : public CCmdTarget {
public:
    explicit CWinApp(LPCSTR lpszAppName = nullptr);
    ~CWinApp() override;

    virtual BOOL InitInstance();
    // Returns the program's exit code.
    virtual int ExitInstance();
    // Runs the message loop until the main window goes (or AfxPostQuitMessage), then ExitInstance.
    virtual int Run();

    // Names the framework's own settings area; the program keeps its settings elsewhere.
    void SetRegistryKey(LPCSTR lpszRegistryKey);
    LPCSTR m_pszRegistryKey = nullptr;
    LPCSTR m_pszAppName = nullptr;

    CWnd* m_pMainWnd = nullptr;
    // The arguments after the program's name, separated by spaces ("" when none).
    LPCSTR m_lpCmdLine = "";

    // Asks the main window to close.
    afx_msg void OnAppExit();
    // No help is installed: does nothing.
    afx_msg void OnHelp();

protected:
    int m_exitCode = 0;

    DECLARE_MESSAGE_MAP()
};

CWinApp* AfxGetApp();
// Ends the message loop with this exit code once control returns to it.
void AfxPostQuitMessage(int exitCode);
// Makes the Qt application, runs InitInstance and the message loop of the one CWinApp object,
// and tears the Qt side down. Returns the exit code.
int AfxWinMain(int& argc, char** argv);
// Framework settings that AfxWinMain applies to a Qt application (tests that make their own
// application call it too).
void AfxInitFramework();
// Destroys what must not outlive the Qt application: the main window if it is still there,
// windows waiting for deletion, tray icons and parentless menus. Call before the Qt
// application goes.
void AfxTermFramework();

void InitCommonControls();
BOOL AfxEnableControlContainer(void* occManager = nullptr);
