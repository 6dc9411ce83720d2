// CTrayIcon: one notification-area icon with a tooltip and a menu; the chosen menu item goes to
// the notification window as WM_COMMAND. When no notification area takes the icon, the
// availability handler hears of it. Implemented by the windowing backend the build picks.
#pragma once

#include "gui_backend/tray_icon.h"
