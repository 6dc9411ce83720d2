// Qt backend of platform/gui: the Win32 types and constants.
#pragma once

#include "platform/qt/afx_types.h"
