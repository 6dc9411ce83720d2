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
