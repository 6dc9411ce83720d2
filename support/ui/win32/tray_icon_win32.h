// One notification-area icon (Shell_NotifyIconW, keyed by the notification window and the id),
// with a tooltip and the popup of a menu resource; the chosen item goes to the notification
// window as WM_COMMAND. The icon is added again when the taskbar is recreated.
#pragma once

#include <functional>
#include <string>

#include "platform/win32gui/afx_win32.h"
#include "support/vl_string.h"

class CTrayIcon : public AfxShellObject {
public:
    explicit CTrayIcon(unsigned id);
    ~CTrayIcon() override;
    CTrayIcon(const CTrayIcon&) = delete;
    CTrayIcon& operator=(const CTrayIcon&) = delete;

    void SetNotificationWnd(CWnd* wnd, unsigned callbackMessage);
    // The first popup of menu resource `menuId` becomes the icon's menu.
    int SetMenu(unsigned menuId);
    // Shows the icon with icon resource `iconId`.
    int SetIcon(unsigned iconId);
    int SetToolTip(const vantel::VLString& text);

    // Whether the notification area took the icon.
    bool IsTrayAvailable() const { return m_available; }
    // Called whenever the notification area takes the icon or stops having it.
    void SetAvailabilityHandler(std::function<void(bool available)> handler);
    // Replaces the check for a notification area (tests): false plays a system without one.
    void SetAvailabilityProbe(std::function<bool()> probe);

    unsigned GetId() const { return m_id; }
    bool IsAdded() const { return m_added; }
    // Opens the menu at the cursor, as a click on the icon does.
    void ShowMenu();

private:
    bool OnWindowMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                         LRESULT& result) override;
    void OnFrameworkTerm() override;
    // NIM_ADD, or NIM_MODIFY once added; updates the availability.
    void update();
    void remove();

    unsigned m_id;
    HWND m_hwnd = nullptr;
    UINT m_callbackMessage = 0;
    unsigned m_menuId = 0;
    HICON m_icon = nullptr;
    std::wstring m_tip;
    bool m_added = false;
    bool m_available = false;
    UINT m_taskbarCreated = 0;
    std::function<void(bool)> m_onAvailability;
    std::function<bool()> m_probe;
};
