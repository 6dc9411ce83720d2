// Win32 backend of support/ui/picture.h.
#pragma once

#include "support/ui/win32/picture_win32.h"
