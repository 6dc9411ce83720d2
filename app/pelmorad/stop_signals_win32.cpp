// Console control events (Ctrl+C, Ctrl+Break, closing the console, log-off, shut-down) through
// one auto-reset event. Windows has no reconnect request: a restart reads new settings.
#include <windows.h>

#include <atomic>

#include "app/pelmorad/stop_signals.h"

namespace pelmorad {
namespace {

HANDLE g_event = nullptr;
std::atomic<DWORD> g_lastEvent{0xFFFFFFFF};

BOOL WINAPI onConsoleEvent(DWORD type) {
    g_lastEvent.store(type);
    SetEvent(g_event);
    // Handled: the main thread stops the reader. For close, log-off and shut-down Windows ends
    // the process when this returns, so wait a little for the main thread to finish.
    if (type == CTRL_CLOSE_EVENT || type == CTRL_LOGOFF_EVENT || type == CTRL_SHUTDOWN_EVENT) {
        Sleep(2000);
    }
    return TRUE;
}

}  // namespace

bool installStopSignals(std::string& error) {
    g_event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (g_event == nullptr || !SetConsoleCtrlHandler(onConsoleEvent, TRUE)) {
        error = "cannot install the console control handler";
        return false;
    }
    return true;
}

Wake waitForWake(int timeoutMs) {
    const DWORD limit = timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs);
    return WaitForSingleObject(g_event, limit) == WAIT_OBJECT_0 ? Wake::Stop : Wake::Timeout;
}

void requestStop() {
    SetEvent(g_event);
}

std::string lastStopReason() {
    switch (g_lastEvent.load()) {
        case CTRL_C_EVENT:
            return "Ctrl+C";
        case CTRL_BREAK_EVENT:
            return "Ctrl+Break";
        case CTRL_CLOSE_EVENT:
            return "closing the console";
        case CTRL_LOGOFF_EVENT:
            return "log-off";
        case CTRL_SHUTDOWN_EVENT:
            return "shut-down";
        default:
            return "a request";
    }
}

}  // namespace pelmorad
