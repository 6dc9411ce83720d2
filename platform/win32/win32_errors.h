#pragma once

#include <windows.h>

#include <string>

namespace platform::win32 {

// "error 5: Access is denied." style text for a GetLastError code.
std::string describeError(DWORD code);

}  // namespace platform::win32
