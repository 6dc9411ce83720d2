// The Win32 peers of the UI extensions: a notification-area icon on Shell_NotifyIconW, a picture
// on OleLoadPicture.
#pragma once

#include <memory>
#include <string>

#include "platform/gui/afx_peer.h"
#include "platform/gui/afxwin.h"

struct IPicture;

namespace afx::win32 {

// Keyed by the notification window and the id; added again when the taskbar is recreated.
class TrayIcon final : public TrayPeer, private AfxShellObject {
public:
    TrayIcon(TrayOwner& owner, unsigned id);
    ~TrayIcon() override;

    void setNotificationWindow(CWnd* wnd, unsigned callbackMessage) override;
    bool setMenu(unsigned menuId) override;
    bool setIcon(unsigned iconId) override;
    void setToolTip(const std::string& text) override;

    // Opens the menu at the cursor, as a click on the icon does.
    void showMenu();

private:
    bool OnWindowMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                         LRESULT& result) override;
    void OnFrameworkTerm() override;
    // NIM_ADD, or NIM_MODIFY once added; updates the availability.
    void update();
    void remove();

    TrayOwner& m_owner;
    unsigned m_id;
    HWND m_hwnd = nullptr;
    UINT m_callbackMessage = 0;
    unsigned m_menuId = 0;
    HICON m_icon = nullptr;
    std::wstring m_tip;
    bool m_added = false;
    UINT m_taskbarCreated = 0;
};

class Picture final : public PicturePeer {
public:
    bool load(unsigned id, const char* type) override;
    bool isLoaded() const override { return m_picture != nullptr; }
    bool render(CDC& dc, const RECT& rect) const override;

private:
    std::shared_ptr<IPicture> m_picture;
};

}  // namespace afx::win32
