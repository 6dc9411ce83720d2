#include <windows.h>

#include <cstdio>

#include "platform/gui/afx_console.h"

void AfxAttachParentConsole() {
    const auto missing = [](DWORD stream) {
        HANDLE handle = GetStdHandle(stream);
        return handle == nullptr || handle == INVALID_HANDLE_VALUE;
    };
    if (!missing(STD_OUTPUT_HANDLE) && !missing(STD_ERROR_HANDLE)) {
        return;
    }
    if (!AttachConsole(ATTACH_PARENT_PROCESS)) {
        return;
    }
    if (missing(STD_OUTPUT_HANDLE)) {
        [[maybe_unused]] FILE* out = std::freopen("CONOUT$", "w", stdout);
    }
    if (missing(STD_ERROR_HANDLE)) {
        [[maybe_unused]] FILE* err = std::freopen("CONOUT$", "w", stderr);
    }
}
