// The tray program on the Win32 backend under Wine, in process: the tray icon and its menu, the
// Options dialog on the real controls with OK reaching the registry and the reader on COM1 (a
// pseudo-terminal), Exit while Options is open, colours, icons and DPI, and the main window
// standing in while the notification area is late.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <cwchar>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/pelmora.h"
#include "fakes/recording_sink.h"
#include "platform/gui/afxdlg.h"
#include "platform/gui/win32/shell_seams.h"
#include "platform/gui/win32/win32_peers.h"
#include "platform/win32/registry_settings.h"
#include "res/dialog_templates.h"
#include "res/resource.h"
#include "settings/product_info.h"
#include "settings/scanner_settings.h"

util::VLAppConfig theConfig(kProductName, kCompanyName, kCompanyWebAddress);
CPelmora theApp(platform::makeSerialApi(),
                std::make_unique<fakes::RecordingKeySink>(std::make_shared<fakes::KeyLog>()));

namespace {

constexpr const wchar_t* kKey = L"Software\\Vantel\\PelmoraShellTest";

// ---- the shell calls, recorded ----

struct NotifyCall {
    DWORD message;
    HWND hwnd;
    UINT id;
    UINT callback;
    std::wstring tip;
};
std::vector<NotifyCall> g_notify;
std::vector<std::string> g_calls;  // the popup sequence
std::vector<std::string> g_menuItems;
HWND g_foreground = nullptr;
HWND g_menuOwner = nullptr;
UINT g_choice = 0;  // the item the "user" picks from the popup

BOOL WINAPI recordNotify(DWORD message, PNOTIFYICONDATAW data) {
    g_notify.push_back({message, data->hWnd, data->uID, data->uCallbackMessage, data->szTip});
    return ::Shell_NotifyIconW(message, data);
}
BOOL WINAPI recordForeground(HWND hwnd) {
    g_calls.push_back("SetForegroundWindow");
    g_foreground = hwnd;
    return ::SetForegroundWindow(hwnd);
}
// Reads the items and picks g_choice, as a click on it would; the real call would wait for one.
BOOL WINAPI recordTrack(HMENU menu, UINT, int, int, int, HWND owner, const RECT*) {
    g_calls.push_back("TrackPopupMenu");
    g_menuOwner = owner;
    g_menuItems.clear();
    for (int i = 0; i < ::GetMenuItemCount(menu); ++i) {
        wchar_t text[64] = {};
        ::GetMenuStringW(menu, static_cast<UINT>(i), text, 64, MF_BYPOSITION);
        g_menuItems.push_back(afx::narrow(text) + ":" + std::to_string(::GetMenuItemID(menu, i)));
    }
    if (g_choice != 0)
        ::PostMessageW(owner, WM_COMMAND, g_choice, 0);
    return TRUE;
}
std::vector<std::wstring> g_opened;  // what ShellExecuteW was asked to open

HINSTANCE WINAPI recordOpen(HWND, LPCWSTR, LPCWSTR file, LPCWSTR, LPCWSTR, INT) {
    g_opened.emplace_back(file != nullptr ? file : L"");
    return reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(33));  // success, nothing started
}

BOOL WINAPI recordPost(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NULL)
        g_calls.push_back("PostMessage WM_NULL");
    return ::PostMessageW(hwnd, message, wParam, lParam);
}

// ---- the reader's events ----

std::mutex g_eventsMutex;
std::vector<std::string> g_events;

int countEvents(const std::string& event) {
    std::lock_guard<std::mutex> guard(g_eventsMutex);
    int n = 0;
    for (const auto& e : g_events)
        n += e == event ? 1 : 0;
    return n;
}

bool waitFor(const std::function<bool()>& done, DWORD ms) {
    const DWORD start = ::GetTickCount();
    while (!done()) {
        if (::GetTickCount() - start > ms)
            return false;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        AfxPumpMessages();
    }
    return true;
}

std::optional<DWORD> storedNumber(const wchar_t* name) {
    DWORD value = 0;
    DWORD size = sizeof value;
    if (::RegGetValueW(HKEY_CURRENT_USER, kKey, name, RRF_RT_REG_DWORD, nullptr, &value, &size) !=
        ERROR_SUCCESS)
        return std::nullopt;
    return value;
}

bool g_trayUp = false;  // what the notification area answers when the probe replaces it

void startApp(bool trayProbe) {
    AfxInitFramework();
    AfxShell().notifyIcon = recordNotify;
    AfxShell().setForegroundWindow = recordForeground;
    AfxShell().trackPopupMenu = recordTrack;
    AfxShell().postMessage = recordPost;
    AfxShell().shellExecute = recordOpen;
    ::RegDeleteTreeW(HKEY_CURRENT_USER, kKey);
    auto store =
        std::make_shared<platform::win32::RegistrySettingsStore>("Vantel", "PelmoraShellTest");
    store->writeString("", ScannerSettings::DeviceName.name, "COM1");
    theConfig.setStore(store);
    theApp.m_reader.setListener([](const vantel::VLString& event) {
        std::lock_guard<std::mutex> guard(g_eventsMutex);
        g_events.emplace_back(event.t_str());
    });
    if (!trayProbe)
        theApp.m_trayIcon.SetAvailabilityProbe([] { return g_trayUp; });
    ASSERT_TRUE(theApp.InitInstance());
    ASSERT_NE(theApp.m_pMainWnd, nullptr);
}

HWND frameWindow() {
    return theApp.m_pMainWnd != nullptr ? theApp.m_pMainWnd->m_hWnd : nullptr;
}

void clickTrayIcon(UINT choice) {
    g_choice = choice;
    g_calls.clear();
    ::SendMessageW(frameWindow(), kTrayNotifyMessage, kTrayIconId, WM_RBUTTONUP);
    AfxPumpMessages();
}

// ---- the Options dialog, driven from inside its modal loop ----

std::function<void(HWND)> g_scenario;

void CALLBACK runScenario(HWND dialog, UINT, UINT_PTR timer, DWORD) {
    ::KillTimer(dialog, timer);
    g_scenario(dialog);
    if (::IsWindow(dialog) && ::IsWindowEnabled(dialog))
        ::PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);  // a failed step must not hang the run
}

void onDialogInit(CDialog& dialog) {
    // Once the modal loop runs and the dialog is on screen.
    ::SetTimer(dialog.m_hWnd, 1, 50, runScenario);
}

std::string text(HWND dialog, int id) {
    wchar_t buffer[256] = {};
    ::GetDlgItemTextW(dialog, id, buffer, 256);
    return afx::narrow(buffer);
}
std::string selected(HWND dialog, int id) {
    HWND list = ::GetDlgItem(dialog, id);
    const LRESULT at = ::SendMessageW(list, CB_GETCURSEL, 0, 0);
    wchar_t buffer[64] = {};
    ::SendMessageW(list, CB_GETLBTEXT, static_cast<WPARAM>(at), reinterpret_cast<LPARAM>(buffer));
    return afx::narrow(buffer);
}
bool enabled(HWND dialog, int id) {
    return ::IsWindowEnabled(::GetDlgItem(dialog, id)) != FALSE;
}
bool checked(HWND dialog, int id) {
    return ::IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}
void click(HWND dialog, int id) {
    ::SendMessageW(::GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}
void typeName(HWND dialog, const wchar_t* name) {
    ::SetDlgItemTextW(dialog, IDC_DEVICE_NAME, name);  // the edit reports EN_CHANGE
}
void pick(HWND dialog, int id, const wchar_t* item) {
    HWND list = ::GetDlgItem(dialog, id);
    const LRESULT at = ::SendMessageW(list, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                      reinterpret_cast<LPARAM>(item));
    ::SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(at), 0);
}

const int kLineControls[] = {IDC_PARITY,    IDC_DTR,        IDC_DSR,       IDC_CTS,
                             IDC_XON_INPUT, IDC_XON_OUTPUT, IDC_BAUD_RATE, IDC_PARITY_LIST,
                             IDC_DATA_BITS, IDC_STOP_BITS};

// The labels and check boxes whose text does not fit their control in the dialog's own font
// (a label wraps and loses its second line; a check box clips), as "text: needs W x H in W x H".
std::string cutTexts(HWND dialog) {
    std::string cut;
    HDC dc = ::GetDC(dialog);
    for (HWND c = ::GetWindow(dialog, GW_CHILD); c != nullptr; c = ::GetWindow(c, GW_HWNDNEXT)) {
        wchar_t kind[32] = {}, label[128] = {};
        ::GetClassNameW(c, kind, 32);
        ::GetWindowTextW(c, label, 128);
        const LONG style = ::GetWindowLongW(c, GWL_STYLE);
        const bool box =
            _wcsicmp(kind, L"Button") == 0 &&
            ((style & BS_TYPEMASK) == BS_AUTOCHECKBOX || (style & BS_TYPEMASK) == BS_CHECKBOX);
        const bool staticText = _wcsicmp(kind, L"Static") == 0 && (style & SS_TYPEMASK) <= SS_RIGHT;
        if (label[0] == 0 || (!box && !staticText))
            continue;
        RECT room;
        ::GetClientRect(c, &room);
        if (box)  // the check mark and the gap after it
            room.right -= ::GetSystemMetrics(SM_CXMENUCHECK) + 4;
        HGDIOBJ old =
            ::SelectObject(dc, reinterpret_cast<HGDIOBJ>(::SendMessageW(c, WM_GETFONT, 0, 0)));
        RECT need{0, 0, room.right, 0};
        ::DrawTextW(dc, label, -1, &need, DT_CALCRECT | DT_WORDBREAK | (box ? DT_SINGLELINE : 0));
        ::SelectObject(dc, old);
        if (need.right > room.right || need.bottom > room.bottom)
            cut += afx::narrow(label) + ": needs " + std::to_string(need.right) + "x" +
                   std::to_string(need.bottom) + " in " + std::to_string(room.right) + "x" +
                   std::to_string(room.bottom) + "; ";
    }
    ::ReleaseDC(dialog, dc);
    return cut;
}

bool lineControlsEnabled(HWND dialog, bool expected) {
    for (int id : kLineControls) {
        if (enabled(dialog, id) != expected)
            return false;
    }
    return true;
}

// ---- the tests, in order: one application for the run ----

TEST(Shell, TrayIconAndItsMenuReachTheApplication) {
    startApp(true);
    HWND frame = frameWindow();
    EXPECT_TRUE(theApp.m_trayIcon.IsTrayAvailable());
    EXPECT_FALSE(::IsWindowVisible(frame));
    ASSERT_FALSE(g_notify.empty());
    EXPECT_EQ(g_notify.front().message, static_cast<DWORD>(NIM_ADD));
    EXPECT_EQ(g_notify.front().hwnd, frame);
    EXPECT_EQ(g_notify.front().id, kTrayIconId);
    EXPECT_EQ(g_notify.front().callback, kTrayNotifyMessage);
    EXPECT_EQ(g_notify.back().tip, L"Pelmora tool");
    // Docked in trayer: Wine shows its own tray window only when no tray host took the icon.
    EXPECT_EQ(::FindWindowW(L"__winex11_standalone_tray", nullptr), nullptr);

    clickTrayIcon(ID_SHOW_MAIN_WINDOW);
    EXPECT_EQ(g_calls, (std::vector<std::string>{"SetForegroundWindow", "TrackPopupMenu",
                                                 "PostMessage WM_NULL"}));
    EXPECT_EQ(g_foreground, frame);
    EXPECT_EQ(g_menuOwner, frame);
    EXPECT_EQ(g_menuItems,
              (std::vector<std::string>{"&Show Main Window:32777", "&Options:32778", ":0",
                                        "&About scanner...:57664", ":0", "E&xit:32779"}));
    EXPECT_TRUE(::IsWindowVisible(frame));

    // The main menu's Hide.
    ::PostMessageW(frame, WM_COMMAND, ID_HIDE_MAIN_WINDOW, 0);
    AfxPumpMessages();
    EXPECT_FALSE(::IsWindowVisible(frame));

    // A restarted taskbar gets the icon again.
    g_notify.clear();
    ::SendMessageW(frame, ::RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
    ASSERT_FALSE(g_notify.empty());
    EXPECT_EQ(g_notify.front().message, static_cast<DWORD>(NIM_ADD));
}

TEST(Shell, OptionsOnTheRealControls) {
    ASSERT_TRUE(waitFor([] { return countEvents("opened COM1") == 1; }, 20000));
    CDialog::SetInitHook(onDialogInit);
    int steps = 0;

    // Nothing stored but the name: the defaults; editing the name and the box; Cancel.
    g_scenario = [&](HWND d) {
        EXPECT_EQ(text(d, IDC_DEVICE_NAME), "COM1");
        EXPECT_TRUE(checked(d, IDC_SERIAL_DEVICE));
        EXPECT_FALSE(enabled(d, IDC_SERIAL_DEVICE));
        EXPECT_EQ(selected(d, IDC_BAUD_RATE), "9600");
        EXPECT_EQ(selected(d, IDC_PARITY_LIST), "None");
        EXPECT_EQ(selected(d, IDC_DATA_BITS), "8");
        EXPECT_EQ(selected(d, IDC_STOP_BITS), "1");
        EXPECT_EQ(::SendDlgItemMessageW(d, IDC_BAUD_RATE, CB_GETCOUNT, 0, 0), 15);
        EXPECT_FALSE(checked(d, IDC_CTS));
        for (int id : {IDC_PARITY, IDC_DSR, IDC_DTR, IDC_XON_INPUT, IDC_XON_OUTPUT, IDC_CRLF,
                       IDC_SKIP_FIRST_CHAR})
            EXPECT_TRUE(checked(d, id)) << id;
        EXPECT_TRUE(lineControlsEnabled(d, true));
        // In the dialog font Windows uses (wine_harness sets it up), every text fits.
        EXPECT_EQ(cutTexts(d), "");

        typeName(d, L"/dev/scanner");
        EXPECT_TRUE(enabled(d, IDC_SERIAL_DEVICE));
        click(d, IDC_SERIAL_DEVICE);
        EXPECT_FALSE(checked(d, IDC_SERIAL_DEVICE));
        EXPECT_TRUE(lineControlsEnabled(d, false));
        EXPECT_TRUE(enabled(d, IDC_CRLF));
        EXPECT_TRUE(enabled(d, IDC_SKIP_FIRST_CHAR));
        click(d, IDC_SERIAL_DEVICE);
        EXPECT_TRUE(lineControlsEnabled(d, true));
        click(d, IDC_SERIAL_DEVICE);
        typeName(d, L"cOm7");  // a serial port name in any case: the box no longer counts
        EXPECT_FALSE(enabled(d, IDC_SERIAL_DEVICE));
        EXPECT_TRUE(lineControlsEnabled(d, true));
        ++steps;
        click(d, IDCANCEL);
    };
    theApp.OnOptions();
    EXPECT_EQ(steps, 1);
    EXPECT_FALSE(storedNumber(L"SerialDevice").has_value());  // Cancel wrote nothing
    EXPECT_FALSE(storedNumber(L"BaudRate").has_value());

    // OK: all fourteen values stored, and the reader opens COM1 again with the new line.
    g_scenario = [&](HWND d) {
        EXPECT_EQ(::SendDlgItemMessageW(d, IDC_BAUD_RATE, CB_GETCOUNT, 0, 0), 15);
        pick(d, IDC_BAUD_RATE, L"19200");
        pick(d, IDC_DATA_BITS, L"7");
        click(d, IDC_CTS);
        ++steps;
        click(d, IDOK);
    };
    theApp.OnOptions();
    EXPECT_EQ(steps, 2);
    EXPECT_EQ(storedNumber(L"BaudRate"), 19200u);
    EXPECT_EQ(storedNumber(L"DataBits"), 7u);
    EXPECT_EQ(storedNumber(L"bCTS"), 1u);
    EXPECT_EQ(storedNumber(L"SerialDevice"), 1u);
    EXPECT_EQ(storedNumber(L"bSkipFirstChar"), 1u);
    CDialog::SetInitHook(nullptr);

    ASSERT_TRUE(waitFor([] { return countEvents("opened COM1") == 2; }, 20000));
    HANDLE port = ::CreateFileW(L"\\\\.\\COM1", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(port, INVALID_HANDLE_VALUE);
    DCB line{};
    line.DCBlength = sizeof line;
    ASSERT_TRUE(::GetCommState(port, &line));
    ::CloseHandle(port);
    // A pseudo-terminal keeps its character size whatever is set: the rate tells.
    EXPECT_EQ(line.BaudRate, 19200u);
}

TEST(Shell, AboutShowsThePictureTitleAndALinkThatOpensTheBrowser) {
    CDialog::SetInitHook(onDialogInit);
    int steps = 0;
    g_scenario = [&](HWND d) {
        wchar_t caption[64] = {};
        ::GetWindowTextW(d, caption, 64);
        EXPECT_EQ(std::wstring(caption), L"About Pelmora");
        EXPECT_EQ(text(d, IDC_ABOUT_TITLE), "Pelmora");
        EXPECT_EQ(::GetFocus(), ::GetDlgItem(d, IDOK));  // the first tab stop, as templated
        // The picture fills the client area: its lower part is light blue, not the white of a
        // missing picture.
        ::RedrawWindow(d, nullptr, nullptr, RDW_ERASE | RDW_INVALIDATE | RDW_UPDATENOW);
        RECT client;
        ::GetClientRect(d, &client);
        HDC dc = ::GetDC(d);
        const COLORREF low = ::GetPixel(dc, 2, client.bottom - 3);
        ::ReleaseDC(d, dc);
        EXPECT_NE(low, RGB(255, 255, 255));
        EXPECT_GT(GetBValue(low), GetRValue(low));
        // The information text is a SysLink with the support address as its link; a click on it
        // opens the address.
        HWND link = ::FindWindowExW(d, nullptr, WC_LINK, nullptr);
        ASSERT_NE(link, nullptr);
        LITEM item{};
        item.mask = LIF_ITEMINDEX | LIF_URL;
        item.iLink = 0;
        ASSERT_TRUE(::SendMessageW(link, LM_GETITEM, 0, reinterpret_cast<LPARAM>(&item)));
        EXPECT_EQ(afx::narrow(item.szUrl), kCompanyWebAddress);
        NMLINK linkClick{};
        linkClick.hdr.hwndFrom = link;
        linkClick.hdr.code = NM_CLICK;
        linkClick.item = item;
        g_opened.clear();
        ::SendMessageW(d, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&linkClick));
        EXPECT_EQ(g_opened, (std::vector<std::wstring>{item.szUrl}));
        ++steps;
        click(d, IDOK);
    };
    theApp.OnAppAbout();
    EXPECT_EQ(steps, 1);
    CDialog::SetInitHook(nullptr);
}

// How many pixels of the window's client area, as painted, are within 64 of `color` in each
// channel.
int pixelsNear(HWND hwnd, COLORREF color) {
    RECT r{};
    ::GetClientRect(hwnd, &r);
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), r.right, -r.bottom, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    HDC window = ::GetDC(hwnd);
    HDC memory = ::CreateCompatibleDC(window);
    void* bits = nullptr;
    HBITMAP bitmap = ::CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = ::SelectObject(memory, bitmap);
    ::BitBlt(memory, 0, 0, r.right, r.bottom, window, 0, 0, SRCCOPY);
    int n = 0;
    const auto* pixel = static_cast<const std::uint32_t*>(bits);
    for (long i = 0; i < static_cast<long>(r.right) * r.bottom; ++i) {
        const std::uint32_t p = pixel[i];  // 0x00RRGGBB
        n += std::abs(static_cast<int>((p >> 16) & 0xFF) - GetRValue(color)) < 64 &&
             std::abs(static_cast<int>((p >> 8) & 0xFF) - GetGValue(color)) < 64 &&
             std::abs(static_cast<int>(p & 0xFF) - GetBValue(color)) < 64;
    }
    ::SelectObject(memory, old);
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(hwnd, window);
    return n;
}

// A scheme with black windows and white text, as the high-contrast ones have: the status text
// must not vanish black on black.
TEST(Shell, StatusTextReadableInABlackWindowScheme) {
    const INT elements[] = {COLOR_WINDOW, COLOR_WINDOWTEXT};
    const COLORREF saved[] = {::GetSysColor(COLOR_WINDOW), ::GetSysColor(COLOR_WINDOWTEXT)};
    const COLORREF dark[] = {RGB(0, 0, 0), RGB(255, 255, 255)};
    ASSERT_TRUE(::SetSysColors(2, elements, dark));
    clickTrayIcon(ID_SHOW_MAIN_WINDOW);
    HWND view = ::GetDlgItem(frameWindow(), AFX_IDW_PANE_FIRST);
    ASSERT_NE(view, nullptr);
    ::RedrawWindow(view, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    AfxPumpMessages();
    RECT r{};
    ::GetClientRect(view, &r);
    const int area = r.right * r.bottom;
    const int black = pixelsNear(view, RGB(0, 0, 0));
    const int white = pixelsNear(view, RGB(255, 255, 255));
    ::SetSysColors(2, elements, saved);
    clickTrayIcon(ID_HIDE_MAIN_WINDOW);
    EXPECT_GT(black, area / 2);
    EXPECT_GT(white, 100);  // the four lines' strokes
}

// Wine cannot switch high contrast on: only the setting is played, the colours are real.
BOOL WINAPI highContrastOn(UINT action, UINT param, PVOID data, UINT winIni) {
    if (action != SPI_GETHIGHCONTRAST)
        return ::SystemParametersInfoW(action, param, data, winIni);
    static_cast<HIGHCONTRASTW*>(data)->dwFlags = HCF_HIGHCONTRASTON;
    return TRUE;
}

// In a high-contrast scheme the information box takes the scheme's window colours instead of
// its white: white text of the scheme on a white box would vanish.
TEST(Shell, AboutInformationFollowsAHighContrastScheme) {
    AfxShell().systemParametersInfo = highContrastOn;
    const INT elements[] = {COLOR_WINDOW, COLOR_WINDOWTEXT};
    const COLORREF saved[] = {::GetSysColor(COLOR_WINDOW), ::GetSysColor(COLOR_WINDOWTEXT)};
    const COLORREF dark[] = {RGB(0, 0, 0), RGB(255, 255, 255)};
    // The common controls read the scheme's colours when told of a change, which the change
    // broadcasts to top-level windows: give them one, as a running program's tooltips are.
    HWND tip = ::CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP, 0, 0, 0, 0, nullptr,
                                 nullptr, nullptr, nullptr);
    ::SetSysColors(2, elements, dark);
    CDialog::SetInitHook(onDialogInit);
    int black = 0, white = 0, area = 0;
    g_scenario = [&](HWND d) {
        HWND box = ::GetDlgItem(d, IDC_ABOUT_INFO);
        ::RedrawWindow(d, nullptr, nullptr,
                       RDW_ERASE | RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
        RECT r{};
        ::GetClientRect(box, &r);
        area = r.right * r.bottom;
        black = pixelsNear(box, RGB(0, 0, 0));
        HWND link = ::FindWindowExW(d, nullptr, WC_LINK, nullptr);
        white = pixelsNear(link, RGB(255, 255, 255));
        click(d, IDOK);
    };
    theApp.OnAppAbout();
    CDialog::SetInitHook(nullptr);
    ::SetSysColors(2, elements, saved);
    ::DestroyWindow(tip);
    AfxShell().systemParametersInfo = ::SystemParametersInfoW;
    EXPECT_GT(black, area / 2);
    EXPECT_GT(white, 100);
}

int iconWidth(HICON icon) {
    ICONINFO info{};
    if (icon == nullptr || !::GetIconInfo(icon, &info))
        return 0;
    BITMAP bitmap{};
    ::GetObjectW(info.hbmColor != nullptr ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
    ::DeleteObject(info.hbmColor);
    ::DeleteObject(info.hbmMask);
    return bitmap.bmWidth;
}

// The window's icons at the system's two sizes, and a move to a monitor of another scaling
// (Wine sends no WM_DPICHANGED: it is played here) gives the window the size suggested for it.
TEST(Shell, IconsAtTheSystemSizesAndTheSuggestedRectOnADpiChange) {
    HWND frame = frameWindow();
    const UINT dpi = afx::win32::dpiOf(frame);
    auto icon = [frame](WPARAM kind) {
        return reinterpret_cast<HICON>(::SendMessageW(frame, WM_GETICON, kind, 0));
    };
    EXPECT_EQ(iconWidth(icon(ICON_BIG)), afx::win32::metricFor(SM_CXICON, dpi));
    EXPECT_EQ(iconWidth(icon(ICON_SMALL)), afx::win32::metricFor(SM_CXSMICON, dpi));
    EXPECT_NE(afx::win32::metricFor(SM_CXICON, dpi), afx::win32::metricFor(SM_CXSMICON, dpi));

    clickTrayIcon(ID_SHOW_MAIN_WINDOW);
    RECT before{};
    ::GetWindowRect(frame, &before);
    const RECT suggested{before.left + 10, before.top + 10,
                         before.left + 10 + (before.right - before.left) * 3 / 2,
                         before.top + 10 + (before.bottom - before.top) * 3 / 2};
    ::SendMessageW(frame, WM_DPICHANGED, MAKEWPARAM(dpi * 3 / 2, dpi * 3 / 2),
                   reinterpret_cast<LPARAM>(&suggested));
    AfxPumpMessages();
    RECT after{};
    ::GetWindowRect(frame, &after);
    EXPECT_EQ(after.right - after.left, suggested.right - suggested.left);
    EXPECT_EQ(after.bottom - after.top, suggested.bottom - suggested.top);
    RECT client{}, pane{};
    ::GetClientRect(frame, &client);
    ::GetClientRect(::GetDlgItem(frame, AFX_IDW_PANE_FIRST), &pane);
    EXPECT_GT(pane.right, 0);
    EXPECT_GE(pane.right, client.right - 4);  // the view fills it (less its sunken edge)
    ::SendMessageW(frame, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&before));
    clickTrayIcon(ID_HIDE_MAIN_WINDOW);
}

int g_dialogsMade = 0;

// Only the first dialog runs the scenario; a second one would be a fault, ended at once.
void countDialog(CDialog& dialog) {
    if (++g_dialogsMade == 1)
        onDialogInit(dialog);
    else
        ::PostMessageW(dialog.m_hWnd, WM_COMMAND, IDCANCEL, 0);
}

TEST(Shell, ExitFromTheTrayMenuWhileOptionsIsOpenEndsTheProgram) {
    HWND frame = frameWindow();
    ASSERT_NE(frame, nullptr);
    CDialog::SetInitHook(countDialog);
    int steps = 0;
    g_scenario = [&](HWND d) {
        // Owned by the main window, which is disabled while it is up.
        EXPECT_EQ(::GetWindow(d, GW_OWNER), frame);
        EXPECT_FALSE(::IsWindowEnabled(frame));
        clickTrayIcon(ID_OPTIONS);
        AfxPumpMessages();
        EXPECT_EQ(g_dialogsMade, 1);
        pick(d, IDC_BAUD_RATE, L"9600");  // not to be stored: Exit cancels the dialog
        g_notify.clear();
        ++steps;
        clickTrayIcon(ID_EXIT);
    };
    theApp.OnOptions();
    CDialog::SetInitHook(nullptr);
    EXPECT_EQ(steps, 1);
    const int code = theApp.Run();  // returns once the frame is gone
    EXPECT_EQ(code, 0);
    EXPECT_EQ(theApp.m_pMainWnd, nullptr);
    EXPECT_FALSE(::IsWindow(frame));
    EXPECT_FALSE(theApp.m_reader.isOpen());
    ASSERT_FALSE(g_notify.empty());
    EXPECT_EQ(g_notify.back().message, static_cast<DWORD>(NIM_DELETE));
    EXPECT_EQ(g_notify.back().id, kTrayIconId);
    EXPECT_EQ(storedNumber(L"BaudRate"), 19200u);  // the settings stay
}

// A separate run (the shell not yet up, as at logon): the main window is the way in until the
// icon is added, which is retried; then the window hides and closing hides, as at a normal start.
TEST(NoTray, MainWindowStandsInUntilTheIconIsAdded) {
    startApp(false);
    HWND frame = frameWindow();
    EXPECT_FALSE(theApp.m_trayIcon.IsTrayAvailable());
    EXPECT_TRUE(g_notify.empty());
    EXPECT_TRUE(::IsWindowVisible(frame));
    ::PostMessageW(frame, WM_COMMAND, ID_HIDE_MAIN_WINDOW, 0);
    AfxPumpMessages();
    EXPECT_TRUE(::IsWindowVisible(frame));
    // Close keeps the program, minimised, rather than ending it.
    ::PostMessageW(frame, WM_CLOSE, 0, 0);
    AfxPumpMessages();
    ASSERT_TRUE(::IsWindow(frame));
    EXPECT_TRUE(::IsIconic(frame));

    g_trayUp = true;  // no TaskbarCreated: the timer alone must find the shell
    ASSERT_TRUE(waitFor([] { return theApp.m_trayIcon.IsTrayAvailable(); },
                        3 * afx::win32::TrayIcon::kRetryMs));
    ASSERT_FALSE(g_notify.empty());
    EXPECT_EQ(g_notify.front().message, static_cast<DWORD>(NIM_ADD));
    EXPECT_EQ(g_notify.front().tip, L"Pelmora tool");
    EXPECT_FALSE(::IsWindowVisible(frame));
    clickTrayIcon(ID_SHOW_MAIN_WINDOW);
    EXPECT_TRUE(::IsWindowVisible(frame));
    EXPECT_FALSE(::IsIconic(frame));
    ::PostMessageW(frame, WM_CLOSE, 0, 0);
    AfxPumpMessages();
    EXPECT_TRUE(::IsWindow(frame));
    EXPECT_FALSE(::IsWindowVisible(frame));

    clickTrayIcon(ID_EXIT);
    EXPECT_EQ(theApp.Run(), 0);
    EXPECT_FALSE(::IsWindow(frame));
    EXPECT_FALSE(theApp.m_reader.isOpen());
}

}  // namespace

namespace {

int g_exitCode = -1;

void WINAPI recordExit(UINT code) {
    g_exitCode = static_cast<int>(code);
}

// A separate run: a logoff or shutdown ends the program the way Exit does, before the system may
// end the process.
TEST(SessionEnd, LogoffStopsTheReaderRemovesTheIconAndKeepsTheSettings) {
    startApp(true);
    AfxShell().exitProcess = recordExit;
    HWND frame = frameWindow();
    ASSERT_TRUE(waitFor([] { return countEvents("opened COM1") == 1; }, 20000));
    EXPECT_NE(::SendMessageW(frame, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), 0);
    EXPECT_TRUE(::IsWindow(frame));  // asking is not ending
    g_notify.clear();
    ::SendMessageW(frame, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
    EXPECT_EQ(g_exitCode, 0);
    EXPECT_FALSE(::IsWindow(frame));
    EXPECT_EQ(theApp.m_pMainWnd, nullptr);
    EXPECT_FALSE(theApp.m_reader.isOpen());
    ASSERT_FALSE(g_notify.empty());
    EXPECT_EQ(g_notify.back().message, static_cast<DWORD>(NIM_DELETE));
    wchar_t name[16] = {};
    DWORD size = sizeof name;
    EXPECT_EQ(
        ::RegGetValueW(HKEY_CURRENT_USER, kKey, L"DeviceName", RRF_RT_REG_SZ, nullptr, name, &size),
        ERROR_SUCCESS);
    EXPECT_EQ(std::wstring(name), L"COM1");
}

}  // namespace
