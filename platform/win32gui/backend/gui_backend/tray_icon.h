// Win32 backend of support/ui/tray_icon.h.
#pragma once

#include "support/ui/win32/tray_icon_win32.h"
