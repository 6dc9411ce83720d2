// A window that takes the keyboard focus and prints every WM_CHAR it receives as "char XXXX" (the
// UTF-16 code unit in hex): the far end of the typing test. Prints "ready" once it is the
// foreground window with the focus, "focus lost" and "focus back" when another window takes the
// foreground and gives it back, and "done" after the expected number of characters; gives up when
// no character has come for the idle time.
//   typing_target <expected characters> <idle ms>
#include <windows.h>

#include <cstdio>
#include <cstdlib>

namespace {

long expected = 0;
long received = 0;
DWORD idleMs = 20000;
DWORD lastActivity = 0;
bool ready = false;
bool foreground = false;
bool finished = false;

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CHAR:
            std::printf("char %04X\n", static_cast<unsigned>(wParam & 0xFFFF));
            std::fflush(stdout);
            lastActivity = GetTickCount();
            if (++received >= expected) {
                finished = true;
                std::printf("done\n");
                std::fflush(stdout);
                PostQuitMessage(0);
            }
            return 0;
        case WM_TIMER:
            if (!ready) {
                // Keep asking for the focus until the window manager has given it.
                SetForegroundWindow(window);
                SetFocus(window);
                if (GetForegroundWindow() == window && GetFocus() == window) {
                    ready = true;
                    foreground = true;
                    lastActivity = GetTickCount();
                    std::printf("ready\n");
                    std::fflush(stdout);
                }
            } else if (finished) {
                return 0;
            } else if ((GetForegroundWindow() == window) != foreground) {
                foreground = !foreground;
                std::printf(foreground ? "focus back\n" : "focus lost\n");
                std::fflush(stdout);
            } else if (GetTickCount() - lastActivity > idleMs) {
                std::printf("idle after %ld of %ld characters\n", received, expected);
                std::fflush(stdout);
                PostQuitMessage(1);
            }
            return 0;
        case WM_DESTROY:
            PostQuitMessage(1);
            return 0;
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace

int main(int argc, char** argv) {
    expected = argc > 1 ? std::atol(argv[1]) : 1;
    idleMs = argc > 2 ? static_cast<DWORD>(std::atol(argv[2])) : 20000;

    // A Unicode window: WM_CHAR then carries the code unit itself, not an ANSI translation.
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"PelmoraTypingTarget";
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    // Right after a new Wine prefix is made its desktop may not be up yet: keep trying a while.
    HWND window = nullptr;
    for (int attempt = 0; attempt < 150 && window == nullptr; ++attempt) {
        if (attempt > 0) {
            Sleep(200);
        }
        if (RegisterClassW(&windowClass) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
            continue;
        }
        window = CreateWindowExW(WS_EX_TOPMOST, L"PelmoraTypingTarget", L"Typing target",
                                 WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 400, 200, nullptr,
                                 nullptr, windowClass.hInstance, nullptr);
    }
    if (window == nullptr) {
        std::printf("cannot create the window (error %lu)\n", GetLastError());
        return 1;
    }
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    SetTimer(window, 1, 50, nullptr);

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}
