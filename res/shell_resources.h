// The shell's menus, accelerator table and strings as data; pelmora.rc holds the same for the
// Windows build and resource_script_test keeps the two alike.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "platform/gui/menu_template.h"
#include "res/resource.h"

namespace res {

// The main frame's menu bar (IDR_MAINFRAME) and the tray menu (IDR_TRAYMENU), whose first popup
// is the menu shown.
const platform::MenuTemplate& mainFrameMenu();
const platform::MenuTemplate& trayMenu();
// Accelerator table IDR_MAINFRAME.
const std::vector<platform::Accelerator>& mainFrameAccelerators();
// The string table: id and text.
const std::vector<std::pair<unsigned, std::string>>& strings();

}  // namespace res
