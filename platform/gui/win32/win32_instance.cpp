// One copy per logon session: a named mutex in the session's namespace, and a message-only window
// of a class named after the program, to which a later start posts its request to come forward.
#include <functional>
#include <string>
#include <utility>

#include "platform/gui/win32/win32_peers.h"

namespace afx::win32 {

namespace {

constexpr UINT kComeForward = WM_APP + 1;

std::function<void()>& comeForwardHandler() {
    static std::function<void()> handler;
    return handler;
}

LRESULT CALLBACK instanceProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kComeForward) {
        if (comeForwardHandler()) {
            comeForwardHandler()();
        }
        return 0;
    }
    return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace

bool claimInstance(const std::string& name, std::function<void()> comeForward) {
    static HANDLE held = nullptr;
    if (held != nullptr) {
        return true;
    }
    const std::wstring wide = widen(name.c_str());
    const std::wstring windowClass = wide + L".Instance";
    HANDLE mutex = ::CreateMutexW(nullptr, FALSE, (L"Local\\" + windowClass).c_str());
    if (mutex == nullptr) {
        return true;  // a copy that cannot tell is better than none
    }
    if (::GetLastError() == ERROR_ALREADY_EXISTS) {
        ::CloseHandle(mutex);
        // The holder may still be starting: its window comes after its mutex.
        for (int attempt = 0; attempt < 50; ++attempt) {
            HWND holder = ::FindWindowExW(HWND_MESSAGE, nullptr, windowClass.c_str(), nullptr);
            if (holder != nullptr) {
                // This start has the foreground right the user just gave it; the holder
                // needs it to put its window in front.
                DWORD pid = 0;
                ::GetWindowThreadProcessId(holder, &pid);
                ::AllowSetForegroundWindow(pid);
                ::PostMessageW(holder, kComeForward, 0, 0);
                break;
            }
            ::Sleep(100);
        }
        return false;
    }
    // Held, with its window, until the process ends.
    held = mutex;
    comeForwardHandler() = std::move(comeForward);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &instanceProcedure;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = windowClass.c_str();
    ::RegisterClassExW(&wc);
    ::CreateWindowExW(0, windowClass.c_str(), L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                      wc.hInstance, nullptr);
    return true;
}

}  // namespace afx::win32
