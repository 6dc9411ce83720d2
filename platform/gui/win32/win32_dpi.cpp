// The DPI a window is drawn at, and what depends on it. The per-monitor calls exist from
// Windows 10 1607: looked up, so that the program still starts on Windows 7.
#include <map>

#include "platform/gui/win32/win32_peers.h"

namespace afx::win32 {

namespace {

template <class Function>
Function fromUser32(const char* name) {
    FARPROC proc = ::GetProcAddress(::GetModuleHandleW(L"user32.dll"), name);
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(proc));
}

UINT systemDpi() {
    HDC screen = ::GetDC(nullptr);
    const int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
    ::ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : kBaseDpi;
}

}  // namespace

UINT dpiOf(HWND hwnd) {
    static const auto forWindow = fromUser32<UINT(WINAPI*)(HWND)>("GetDpiForWindow");
    if (forWindow != nullptr && hwnd != nullptr) {
        if (const UINT dpi = forWindow(hwnd))
            return dpi;
    }
    return systemDpi();
}

int metricFor(int index, UINT dpi) {
    static const auto forDpi = fromUser32<int(WINAPI*)(int, UINT)>("GetSystemMetricsForDpi");
    if (forDpi != nullptr)
        return forDpi(index, dpi);
    return ::GetSystemMetrics(index);  // at the system DPI, the only one before per-monitor DPI
}

HFONT guiFontFor(UINT dpi) {
    // One per DPI met, kept for the process: a window moved between monitors flips between few.
    static std::map<UINT, HFONT> fonts;
    auto found = fonts.find(dpi);
    if (found != fonts.end())
        return found->second;
    LOGFONTW face{};
    ::GetObjectW(::GetStockObject(DEFAULT_GUI_FONT), sizeof face, &face);
    // The stock font is made for the system DPI.
    face.lfHeight = ::MulDiv(face.lfHeight, static_cast<int>(dpi), static_cast<int>(systemDpi()));
    HFONT font = ::CreateFontIndirectW(&face);
    if (font == nullptr)
        return static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
    fonts.emplace(dpi, font);
    return font;
}

}  // namespace afx::win32
