// The window classes, brushes, resources and message pump of the windowing layer on the Win32
// API. CWinApp (platform/gui/afx_winapp.h) runs the message loop; each CWnd's peer owns one HWND,
// whose window procedure finds the object (stored at WM_NCCREATE) and runs the message through
// its message map.
#pragma once

#include "platform/gui/afx_msgmap.h"

// A system colour as a class background brush, passed as the colour index plus one.
inline HBRUSH AfxSysColorBrush(int colorIndexPlusOne) {
    return reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(colorIndexPlusOne));
}
// Registers (once) a window class with these attributes and returns its name.
LPCSTR AfxRegisterWndClass(UINT classStyle, HCURSOR cursor = nullptr, HBRUSH background = nullptr,
                           HICON icon = nullptr);

// The module whose resources the layer loads.
HINSTANCE AfxGetResourceHandle();
// Pumps the messages waiting in the queue (tests).
void AfxPumpMessages();

// An object that lives in the shell (a notification-area icon): it sees the messages of all the
// layer's windows first, and goes when the framework ends.
class AfxShellObject {
public:
    virtual ~AfxShellObject() = default;
    // True when the message was this object's; `result` is then the window procedure's result.
    virtual bool OnWindowMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                 LRESULT& result) = 0;
    virtual void OnFrameworkTerm() = 0;
};
void AfxRegisterShellObject(AfxShellObject* object);
void AfxUnregisterShellObject(AfxShellObject* object);

// Called by the main frame on WM_ENDSESSION: the session-end handler, then the rest of a normal
// shutdown, since the process may be ended as soon as the message returns.
void AfxEndSession();
