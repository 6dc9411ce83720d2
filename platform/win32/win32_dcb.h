// Our portable Dcb and the Win32 DCB, field by field. The bit-field layouts happen to agree, but a
// copy by layout would silently break on a compiler that packs them differently.
#pragma once

// Before <windows.h>: its macros of the same names would replace our NOPARITY, ONESTOPBIT, ...
#include "platform/serial_api.h"

#include <windows.h>

namespace platform::win32 {

DCB toWin32Dcb(const Dcb& dcb);
Dcb fromWin32Dcb(const DCB& dcb);
COMMTIMEOUTS toWin32Timeouts(const CommTimeouts& timeouts);

}  // namespace platform::win32
