// Win32 backend of platform/gui: the Win32 types and constants.
#pragma once

#include "platform/win32gui/afx_types.h"
