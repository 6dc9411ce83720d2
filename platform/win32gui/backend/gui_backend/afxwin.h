// Win32 backend of platform/gui/afxwin.h.
#pragma once

#include "platform/win32gui/afx_win32.h"
