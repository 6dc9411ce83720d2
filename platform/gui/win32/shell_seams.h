// The system calls through which the layer reaches the user (the tray icon and its menu, the
// browser), reads the high-contrast setting and ends the process at a session's end: tests replace
// them to record the calls or to play a missing notification area.
#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

struct AfxShellCalls {
    BOOL(WINAPI* notifyIcon)(DWORD message, PNOTIFYICONDATAW data) = ::Shell_NotifyIconW;
    BOOL(WINAPI* setForegroundWindow)(HWND hwnd) = ::SetForegroundWindow;
    BOOL(WINAPI* trackPopupMenu)
    (HMENU menu, UINT flags, int x, int y, int reserved, HWND owner,
     const RECT* rect) = ::TrackPopupMenu;
    BOOL(WINAPI* postMessage)
    (HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) = ::PostMessageW;
    HINSTANCE(WINAPI* shellExecute)
    (HWND hwnd, LPCWSTR verb, LPCWSTR file, LPCWSTR parameters, LPCWSTR directory,
     INT show) = ::ShellExecuteW;
    // Asks for the high-contrast setting, which Wine cannot switch on.
    BOOL(WINAPI* systemParametersInfo)
    (UINT action, UINT param, PVOID data, UINT winIni) = ::SystemParametersInfoW;
    // How a session's end finally ends the process.
    void(WINAPI* exitProcess)(UINT code) = ::ExitProcess;
};

// The calls in use; assign members to replace them.
AfxShellCalls& AfxShell();
