// Win32 backend of platform/gui/afxdlg.h.
#pragma once

#include "platform/win32gui/dialog_win32.h"
