// Posts one message to the top-level window with the given title, as the shell does for a tray
// icon's callback: the Linux-side harness cannot reach a hidden window otherwise. Prints "done"
// once posted.
//   post_message <window title> <message> <wParam> <lParam>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    if (argc != 5) {
        std::printf("usage: post_message TITLE MESSAGE WPARAM LPARAM\n");
        return 2;
    }
    const std::string title = argv[1];
    const std::wstring wideTitle(title.begin(), title.end());
    // The program may still be starting: look for its window a while.
    HWND window = nullptr;
    for (int attempt = 0; attempt < 100 && window == nullptr; ++attempt) {
        if (attempt > 0) {
            Sleep(100);
        }
        window = FindWindowW(nullptr, wideTitle.c_str());
    }
    if (window == nullptr) {
        std::printf("no window titled '%s'\n", title.c_str());
        return 1;
    }
    const auto number = [](const char* text) { return std::strtoull(text, nullptr, 0); };
    if (!PostMessageW(window, static_cast<UINT>(number(argv[2])),
                      static_cast<WPARAM>(number(argv[3])), static_cast<LPARAM>(number(argv[4])))) {
        std::printf("PostMessage failed (error %lu)\n", GetLastError());
        return 1;
    }
    std::printf("done\n");
    return 0;
}
