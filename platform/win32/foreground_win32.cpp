#include <windows.h>

#include "reader/own_window_focus.h"

namespace platform {

// Covers every window of the program, its modal dialogs included, whatever their window
// procedure.
bool foregroundWindowIsOurs() {
    HWND foreground = GetForegroundWindow();
    if (foreground == nullptr) {
        return false;
    }
    DWORD process = 0;
    GetWindowThreadProcessId(foreground, &process);
    return process == GetCurrentProcessId();
}

}  // namespace platform
