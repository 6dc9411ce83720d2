// The application object, the same on both backends: the program derives its one CWinApp, and
// AfxWinMain runs it (InitInstance, the message loop, ExitInstance) on the backend's event loop.
#pragma once

#include "platform/gui/afx_msgmap.h"

class CWnd;

class CWinApp : public CCmdTarget {
public:
    explicit CWinApp(LPCSTR lpszAppName = nullptr);
    ~CWinApp() override;

    virtual BOOL InitInstance();
    // Returns the program's exit code.
    virtual int ExitInstance();
    // Runs the message loop until it is ended (the main window going, AfxPostQuitMessage), then
    // ExitInstance.
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
// Gives `app` the arguments after the program's name as its m_lpCmdLine (AfxWinMain does it).
void AfxSetCommandLine(CWinApp& app, int argc, char** argv);
// Ends the message loop with this exit code once control returns to it.
void AfxPostQuitMessage(int exitCode);
// Keeps one copy of the program per user session under `name` (AfxWinMain claims it before
// InitInstance): a later start has the running copy show its main window and ends with status 0.
void AfxSetSingleInstance(LPCSTR name);
// Sets the backend up, runs InitInstance and the message loop of the one CWinApp object, then
// AfxTermFramework. Returns the exit code.
int AfxWinMain(int& argc, char** argv);
// What a program needs before windows are made (AfxWinMain does it; tests that make their own
// application call it themselves).
void AfxInitFramework();
// Destroys what must not outlive the framework: the main window if it is still there, the tray
// icons and the backend's own leftovers.
void AfxTermFramework();

BOOL AfxEnableControlContainer(void* occManager = nullptr);
