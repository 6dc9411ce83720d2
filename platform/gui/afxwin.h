// The windowing framework the application code is written in, under the framework's names:
// CWinApp (application object, message loop), CWnd (a window with a message map, timers and
// painting), CFrameWnd (a frame with menu bar, accelerators and a pane filling its client area),
// CPaintDC/CDC, and the Win32 types, messages, styles and command identifiers.
//
// The build picks the backend that implements it (PELMORA_GUI: Qt 6 Widgets, or the Win32 API)
// by putting that backend's gui_backend/ folder on the include path; code that includes this
// header works on either.
#pragma once

#include <afx_native_wnd.h>

// Runs `handler` once on the UI thread when the session ends under the program (logoff, shutdown,
// a termination signal), so that it can end the way Exit does. Null removes it.
void AfxSetSessionEndHandler(void (*handler)());
