#include "platform/win32/win32_errors.h"

#include <cstdio>

namespace platform::win32 {

std::string describeError(DWORD code) {
    char number[32];
    std::snprintf(number, sizeof number, "error %lu", static_cast<unsigned long>(code));
    std::string text(number);
    char* message = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<char*>(&message), 0, nullptr);
    if (length > 0 && message != nullptr) {
        std::string detail(message, length);
        while (!detail.empty() &&
               (detail.back() == '\r' || detail.back() == '\n' || detail.back() == ' ')) {
            detail.pop_back();
        }
        if (!detail.empty()) {
            text += ": ";
            text += detail;
        }
    }
    if (message != nullptr) {
        LocalFree(message);
    }
    return text;
}

}  // namespace platform::win32
