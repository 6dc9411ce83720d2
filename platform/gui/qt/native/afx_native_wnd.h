// The window classes, cursors and brushes of the windowing layer on Qt widgets. The Qt
// application is made after the static application object and before InitInstance; its event
// loop is the message loop.
#pragma once

#include "platform/gui/afx_msgmap.h"

struct HCURSOR__;
struct HBRUSH__;
struct HICON__;
struct HINSTANCE__;
using HCURSOR = HCURSOR__*;
using HBRUSH = HBRUSH__*;
using HICON = HICON__*;
using HINSTANCE = HINSTANCE__*;

inline const LPCSTR IDC_ARROW = reinterpret_cast<LPCSTR>(static_cast<UINT_PTR>(32512));
HCURSOR LoadCursorA(HINSTANCE module, LPCSTR name);
// A system colour brush, passed as the colour index plus one.
inline HBRUSH AfxSysColorBrush(int colorIndexPlusOne) {
    return reinterpret_cast<HBRUSH>(static_cast<UINT_PTR>(colorIndexPlusOne));
}
// Registers (once) a window class with these attributes and returns its name.
LPCSTR AfxRegisterWndClass(UINT classStyle, HCURSOR cursor = nullptr, HBRUSH background = nullptr,
                           HICON icon = nullptr);

void InitCommonControls();
