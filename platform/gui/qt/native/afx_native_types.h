// The Win32 vocabulary the application code is written in, on Qt: integer types, window
// messages, styles, show commands, standard command identifiers, colours and rectangles, with
// their Win32 values. A leaf: the shared layer includes it by this name.
#pragma once

#include <QColor>
#include <cstdint>

class QPainter;

using BOOL = int;
using UINT = unsigned int;
using UINT_PTR = std::uintptr_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using DWORD = std::uint32_t;
using WORD = std::uint16_t;
using LONG = std::int32_t;
using LPCSTR = const char*;

class QWidget;
// A native window: the widget of a CWnd.
using HWND = QWidget*;
using HDC = QPainter*;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

inline constexpr WORD LOWORD(WPARAM value) {
    return static_cast<WORD>(value & 0xFFFF);
}
inline constexpr WORD HIWORD(WPARAM value) {
    return static_cast<WORD>((value >> 16) & 0xFFFF);
}
inline constexpr WPARAM MAKEWPARAM(WORD low, WORD high) {
    return static_cast<WPARAM>(low) | (static_cast<WPARAM>(high) << 16);
}

// Window messages.
inline constexpr UINT WM_CREATE = 0x0001;
inline constexpr UINT WM_DESTROY = 0x0002;
inline constexpr UINT WM_SIZE = 0x0005;
inline constexpr UINT WM_SETFOCUS = 0x0007;
inline constexpr UINT WM_PAINT = 0x000F;
inline constexpr UINT WM_CLOSE = 0x0010;
inline constexpr UINT WM_COMMAND = 0x0111;
inline constexpr UINT WM_TIMER = 0x0113;
inline constexpr UINT WM_USER = 0x0400;

// Window styles.
inline constexpr DWORD WS_OVERLAPPED = 0x00000000;
inline constexpr DWORD WS_CAPTION = 0x00C00000;
inline constexpr DWORD WS_SYSMENU = 0x00080000;
inline constexpr DWORD WS_THICKFRAME = 0x00040000;
inline constexpr DWORD WS_MINIMIZEBOX = 0x00020000;
inline constexpr DWORD WS_MAXIMIZEBOX = 0x00010000;
inline constexpr DWORD WS_OVERLAPPEDWINDOW =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
inline constexpr DWORD WS_CHILD = 0x40000000;
inline constexpr DWORD WS_VISIBLE = 0x10000000;
inline constexpr DWORD WS_DISABLED = 0x08000000;
inline constexpr DWORD WS_BORDER = 0x00800000;
inline constexpr DWORD WS_EX_CLIENTEDGE = 0x00000200;
inline constexpr DWORD FWS_ADDTOTITLE = 0x00008000;

// Window class styles and system colours.
inline constexpr UINT CS_VREDRAW = 0x0001;
inline constexpr UINT CS_HREDRAW = 0x0002;
inline constexpr UINT CS_DBLCLKS = 0x0008;
inline constexpr int COLOR_WINDOW = 5;
inline constexpr int COLOR_BTNFACE = 15;

// ShowWindow commands.
inline constexpr int SW_HIDE = 0;
inline constexpr int SW_SHOWNORMAL = 1;
inline constexpr int SW_SHOWMINIMIZED = 2;
inline constexpr int SW_SHOW = 5;

// DrawText formats.
inline constexpr UINT DT_LEFT = 0x0000;
inline constexpr UINT DT_TOP = 0x0000;
inline constexpr UINT DT_CENTER = 0x0001;
inline constexpr UINT DT_RIGHT = 0x0002;
inline constexpr UINT DT_VCENTER = 0x0004;
inline constexpr UINT DT_BOTTOM = 0x0008;
inline constexpr UINT DT_WORDBREAK = 0x0010;
inline constexpr UINT DT_SINGLELINE = 0x0020;
inline constexpr UINT DT_NOCLIP = 0x0100;

// Dialog results and the control notification codes carried with a command.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr unsigned BN_CLICKED = 0;
inline constexpr unsigned CBN_SELCHANGE = 1;
inline constexpr unsigned EN_CHANGE = 0x300;

// The framework's standard command identifiers.
inline constexpr UINT ID_EDIT_COPY = 0xE122;   // 57634
inline constexpr UINT ID_EDIT_CUT = 0xE123;    // 57635
inline constexpr UINT ID_EDIT_PASTE = 0xE125;  // 57637
inline constexpr UINT ID_EDIT_UNDO = 0xE12B;   // 57643
inline constexpr UINT ID_APP_ABOUT = 0xE140;   // 57664
inline constexpr UINT ID_APP_EXIT = 0xE141;    // 57665
inline constexpr UINT ID_HELP = 0xE146;        // 57670
inline constexpr UINT ID_NEXT_PANE = 0xE150;   // 57680
inline constexpr UINT ID_PREV_PANE = 0xE151;   // 57681
// The child window that a frame's layout sizes to its client area.
inline constexpr UINT AFX_IDW_PANE_FIRST = 0xE900;  // 59648

class CWnd;

struct CREATESTRUCT {
    void* lpCreateParams = nullptr;
    UINT hMenu = 0;  // a child's identifier, or a frame's menu resource
    HWND hwndParent = nullptr;
    int cy = 0;
    int cx = 0;
    int y = 0;
    int x = 0;
    DWORD style = 0;
    LPCSTR lpszName = nullptr;
    LPCSTR lpszClass = nullptr;
    DWORD dwExStyle = 0;
};
using LPCREATESTRUCT = CREATESTRUCT*;

// Never dereferenced: present where the framework's signatures carry them.
struct CCreateContext;

// 0x00BBGGRR. 0xFF000000 stands for a control's default colour; as a background, 0xFFFFFFFF
// stands for no fill at all.
using COLORREF = std::uint32_t;

inline constexpr COLORREF kDefaultColor = 0xFF000000u;
inline constexpr COLORREF kNoFillColor = 0xFFFFFFFFu;

inline QColor colorFromColorRef(COLORREF color) {
    return QColor(int(color & 0xFFu), int((color >> 8) & 0xFFu), int((color >> 16) & 0xFFu));
}

struct RECT {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};
