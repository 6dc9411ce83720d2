// Qt backend of support/ui/tray_icon.h.
#pragma once

#include "support/ui/qt/tray_icon.h"
