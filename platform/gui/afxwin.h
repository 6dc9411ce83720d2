// The windowing framework the application code is written in, under the framework's names:
// CWinApp (application object, message loop), CWnd (a window with a message map, timers and
// painting), CFrameWnd (a frame with menu bar, accelerators and a pane filling its client area),
// CPaintDC/CDC, and the Win32 types, messages, styles and command identifiers.
//
// The classes are declared once (afx_wnd.h); the backend the build links (PELMORA_GUI: Qt 6
// Widgets, or the Win32 API) supplies their peers and, in its native/ folder, the types and the
// window-class functions.
#pragma once

#include <afx_native_wnd.h>  // window classes, cursors, brushes

#include "platform/gui/afx_wnd.h"

// Runs `handler` once on the UI thread when the session ends under the program (logoff, shutdown,
// a termination signal), so that it can end the way Exit does. Null removes it.
void AfxSetSessionEndHandler(void (*handler)());
