#include "platform/gui/win32/win32_peers.h"
// After windows.h, which it needs.
#include <shellapi.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include <cwchar>

#include "platform/gui/win32/shell_seams.h"

namespace afx::win32 {

TrayIcon::TrayIcon(TrayOwner& owner, unsigned id) : m_owner(owner), m_id(id) {
    AfxRegisterShellObject(this);
}

TrayIcon::~TrayIcon() {
    remove();
    AfxUnregisterShellObject(this);
    if (m_icon != nullptr)
        ::DestroyIcon(m_icon);
}

void TrayIcon::setNotificationWindow(CWnd* wnd, unsigned callbackMessage) {
    m_hwnd = wnd != nullptr ? wnd->m_hWnd : nullptr;
    m_callbackMessage = callbackMessage;
    // Explorer broadcasts this when it starts again: every icon has to be added anew.
    m_taskbarCreated = ::RegisterWindowMessageW(L"TaskbarCreated");
    // Let it through when the program runs elevated, under Explorer's integrity.
    if (m_hwnd != nullptr && m_taskbarCreated != 0)
        ::ChangeWindowMessageFilterEx(m_hwnd, m_taskbarCreated, MSGFLT_ALLOW, nullptr);
}

bool TrayIcon::setMenu(unsigned menuId) {
    HMENU menu = ::LoadMenuW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(menuId));
    if (menu == nullptr || ::GetSubMenu(menu, 0) == nullptr) {
        if (menu != nullptr)
            ::DestroyMenu(menu);
        return false;
    }
    ::DestroyMenu(menu);
    m_menuId = menuId;
    return true;
}

bool TrayIcon::setIcon(unsigned iconId) {
    if (!loadIcon(iconId))
        return false;
    update();
    return true;
}

bool TrayIcon::loadIcon(unsigned iconId) {
    // The shell's small-icon size at the taskbar's DPI (the system's), scaled down from the
    // nearest larger image rather than up.
    HICON icon = nullptr;
    if (FAILED(::LoadIconMetric(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(iconId), LIM_SMALL,
                                &icon)) ||
        icon == nullptr)
        return false;
    m_iconId = iconId;
    if (m_icon != nullptr)
        ::DestroyIcon(m_icon);
    m_icon = icon;
    return true;
}

void TrayIcon::setToolTip(const std::string& text) {
    m_tip = widen(text.data(), static_cast<int>(text.size()));
    if (m_added)
        update();
}

void TrayIcon::update() {
    if (m_hwnd == nullptr || m_icon == nullptr)
        return;
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = m_hwnd;
    data.uID = m_id;
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = m_callbackMessage;
    data.hIcon = m_icon;
    // The shell shows at most 127 characters: a longer tip says it was cut.
    std::wstring tip = m_tip;
    if (tip.size() >= std::size(data.szTip))
        tip = tip.substr(0, std::size(data.szTip) - 4) + L"...";
    std::wcsncpy(data.szTip, tip.c_str(), std::size(data.szTip) - 1);
    const auto& probe = m_owner.availabilityProbe();
    if (probe && !probe()) {
        m_added = false;
    } else if (m_added) {
        m_added = AfxShell().notifyIcon(NIM_MODIFY, &data) != FALSE;
    } else {
        // An icon the shell still has (a TaskbarCreated without a lost icon) cannot be added
        // again, but it is there.
        m_added = AfxShell().notifyIcon(NIM_ADD, &data) != FALSE ||
                  AfxShell().notifyIcon(NIM_MODIFY, &data) != FALSE;
    }
    // Until the shell takes the icon, try again now and then.
    if (m_added)
        ::KillTimer(m_hwnd, kRetryTimer);
    else
        ::SetTimer(m_hwnd, kRetryTimer, kRetryMs, nullptr);
    m_owner.setTrayAvailable(m_added);
}

void TrayIcon::remove() {
    if (m_hwnd != nullptr)
        ::KillTimer(m_hwnd, kRetryTimer);
    if (!m_added)
        return;
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = m_hwnd;
    data.uID = m_id;
    AfxShell().notifyIcon(NIM_DELETE, &data);
    m_added = false;
}

void TrayIcon::showMenu() {
    if (m_hwnd == nullptr || m_menuId == 0)
        return;
    HMENU menu = ::LoadMenuW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(m_menuId));
    if (menu == nullptr)
        return;
    POINT at{};
    ::GetCursorPos(&at);
    // The owner must be the foreground window or the menu does not close when the user clicks
    // elsewhere, and the posted message makes the switch back happen at once.
    AfxShell().setForegroundWindow(m_hwnd);
    AfxShell().trackPopupMenu(::GetSubMenu(menu, 0), TPM_RIGHTBUTTON, at.x, at.y, 0, m_hwnd,
                              nullptr);
    AfxShell().postMessage(m_hwnd, WM_NULL, 0, 0);
    ::DestroyMenu(menu);
}

bool TrayIcon::OnWindowMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                               LRESULT& result) {
    if (hwnd != m_hwnd || m_hwnd == nullptr)
        return false;
    if (message == m_callbackMessage && static_cast<unsigned>(wParam) == m_id) {
        const UINT mouse = LOWORD(lParam);
        if (mouse == WM_RBUTTONUP || mouse == WM_LBUTTONUP || mouse == WM_CONTEXTMENU)
            showMenu();
        result = 0;
        return true;
    }
    if (message == WM_TIMER && wParam == kRetryTimer) {
        if (!m_added)
            update();
        result = 0;
        return true;
    }
    if (message == m_taskbarCreated && m_taskbarCreated != 0) {
        m_added = false;
        // Also sent when the taskbar's scaling changes: the icon is loaded at the new size.
        if (m_iconId != 0)
            loadIcon(m_iconId);
        update();
        return false;
    }
    if (message == WM_NCDESTROY)
        remove();  // the icon belongs to this window
    return false;
}

void TrayIcon::OnFrameworkTerm() {
    remove();
}

}  // namespace afx::win32
