// The Win32 vocabulary of the windowing layer on its Win32 backend: the system's own types,
// messages, styles and rectangles (windows.h, commctrl.h), plus the framework's command
// identifiers and colours. A leaf: the shared layer includes it by this name. The UNICODE macros
// stay off: the layer calls the W functions by name, and the application's narrow text is
// Latin-1, one UTF-16 unit per byte.
#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include <string>

// The framework's standard command identifiers.
inline constexpr UINT ID_EDIT_COPY = 0xE122;
inline constexpr UINT ID_EDIT_CUT = 0xE123;
inline constexpr UINT ID_EDIT_PASTE = 0xE125;
inline constexpr UINT ID_EDIT_UNDO = 0xE12B;
inline constexpr UINT ID_APP_ABOUT = 0xE140;
inline constexpr UINT ID_APP_EXIT = 0xE141;
inline constexpr UINT ID_HELP = 0xE146;
inline constexpr UINT ID_NEXT_PANE = 0xE150;
inline constexpr UINT ID_PREV_PANE = 0xE151;
// The child window that a frame's layout sizes to its client area.
inline constexpr UINT AFX_IDW_PANE_FIRST = 0xE900;
inline constexpr DWORD FWS_ADDTOTITLE = 0x00008000;

// 0xFF000000 stands for a control's default colour; as a background, 0xFFFFFFFF for no fill.
inline constexpr COLORREF kDefaultColor = 0xFF000000u;
inline constexpr COLORREF kNoFillColor = 0xFFFFFFFFu;

// Never dereferenced: present where the framework's signatures carry them.
struct CCreateContext;
class CWnd;

namespace afx {

// The one rule for narrow text (win32_text.cpp). Text is Latin-1: each byte becomes the UTF-16
// unit of the same number (never code page 1252, which differs in 0x80-0x9F), as a scan's bytes
// are typed.
std::wstring widen(const char* text, int length = -1);
// Back to bytes: units above 0xFF, which Latin-1 cannot hold, become '?'.
std::string narrow(const wchar_t* text, int length = -1);
// File names are in the ANSI code page, the encoding of the A functions that open them.
std::wstring widenFileName(const std::string& name);
std::string narrowFileName(const std::wstring& name);

}  // namespace afx
