// The application object and the program's entry: the Qt application is made after the static
// application object and before InitInstance, its event loop is the message loop, and
// ExitInstance runs after the loop ends and before the Qt application goes.
#pragma once

#include "platform/gui/afx_winapp.h"
#include "platform/qt/afx_wnd.h"

void InitCommonControls();
