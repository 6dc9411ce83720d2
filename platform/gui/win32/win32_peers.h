// The Win32 peers: windows on an HWND with the layer's window procedure, dialogs on the dialog
// manager, a notification-area icon on Shell_NotifyIconW, a picture on OleLoadPicture; and what
// only this backend needs (the shell objects, the session's end).
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/gui/afx_peer.h"
#include "platform/gui/afxdlg.h"
#include "platform/gui/afxwin.h"

struct IPicture;

// An object that lives in the shell (a notification-area icon): it sees the messages of all the
// layer's windows first, and goes when the framework ends.
class AfxShellObject {
public:
    virtual ~AfxShellObject() = default;
    // True when the message was this object's; `result` is then the window procedure's result.
    virtual bool OnWindowMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                 LRESULT& result) = 0;
    virtual void OnFrameworkTerm() = 0;
};
void AfxRegisterShellObject(AfxShellObject* object);
void AfxUnregisterShellObject(AfxShellObject* object);

// Called by the main frame on WM_ENDSESSION: the session-end handler, then the rest of a normal
// shutdown, since the process may be ended as soon as the message returns.
void AfxEndSession();

namespace afx::win32 {

// The one copy of program `name` in this logon session (Backend::claimInstance).
bool claimInstance(const std::string& name, std::function<void()> comeForward);
// The window procedure of every window class this layer registers.
LRESULT CALLBACK windowProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
// The layer's shell objects, which see every window message first.
std::vector<AfxShellObject*>& shellObjects();
// The accelerator table a frame's messages are translated with, or null.
HACCEL acceleratorsOf(CWnd* wnd);
CWnd* windowOf(HWND hwnd);

// 100 % scaling.
inline constexpr UINT kBaseDpi = 96;
// The DPI `hwnd` is drawn at: its monitor's when the program is per-monitor aware.
UINT dpiOf(HWND hwnd);
// GetSystemMetrics at `dpi`.
int metricFor(int index, UINT dpi);
// The GUI font at `dpi`; owned by the layer.
HFONT guiFontFor(UINT dpi);

class Window : public WindowPeer {
public:
    explicit Window(CWnd& wnd) : m_wnd(wnd) {}
    ~Window() override;

    bool create(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, const RECT& rect,
                CWnd* parent, UINT id, void* param) override;
    bool destroy() override;
    bool show(int command) override;
    void update() override;
    CWnd* setFocus() override;
    void invalidate(const RECT* rect, bool erase) override;
    RECT clientRect() const override;
    bool isVisible() const override;
    bool isIconic() const override;
    void setText(LPCSTR text) override;
    DWORD style() const override;
    DWORD exStyle() const override;
    bool startTimer(UINT_PTR id, UINT ms) override;
    void stopTimer(UINT_PTR id) override;
    LRESULT send(UINT message, WPARAM wParam, LPARAM lParam) override;
    bool post(UINT message, WPARAM wParam, LPARAM lParam) override;
    LRESULT defaultProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    // A message of the window on its way to the message map.
    virtual LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);

protected:
    CWnd& m_wnd;
};

// Sizes the pane to the client area, answers the session's end, and owns the accelerators.
class Frame final : public Window, public FramePeer {
public:
    using Window::Window;
    ~Frame() override;

    bool loadFrame(UINT resourceId, DWORD style, CWnd* parent) override;
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam) override;
    HACCEL accelerators() const { return m_accelerators; }

private:
    // Sizes the pane (child AFX_IDW_PANE_FIRST) to the client area.
    void recalcLayout();
    // The window's icons at the large and small icon sizes of its DPI.
    void loadIcons();

    HACCEL m_accelerators = nullptr;
    UINT m_iconId = 0;
    HICON m_bigIcon = nullptr;
    HICON m_smallIcon = nullptr;
};

// BeginPaint to EndPaint, with the GUI font, a transparent background and the text colour of the
// class background.
class Paint final : public PaintPeer {
public:
    explicit Paint(CWnd& wnd);
    ~Paint() override;
    HDC dc() const override { return m_dc; }
    int drawText(LPCSTR text, int count, RECT* rect, UINT format) override;

private:
    HWND m_hwnd;
    PAINTSTRUCT m_ps{};
    HDC m_dc = nullptr;
    HGDIOBJ m_oldFont = nullptr;
};

// Keyed by the notification window and the id; added again when the taskbar is recreated.
class TrayIcon final : public TrayPeer, private AfxShellObject {
public:
    TrayIcon(TrayOwner& owner, unsigned id);
    ~TrayIcon() override;

    void setNotificationWindow(CWnd* wnd, unsigned callbackMessage) override;
    bool setMenu(unsigned menuId) override;
    bool setIcon(unsigned iconId) override;
    void setToolTip(const std::string& text) override;
    // Windows always has a taskbar; at logon it may come after the program.
    bool waitsForTray() const override { return true; }

    // How often a failed add is tried again: TaskbarCreated does not reach every program (an
    // elevated one, or one started before Explorer registered the message).
    static constexpr UINT kRetryMs = 2000;
    static constexpr UINT_PTR kRetryTimer = 0x7E41;

    // Opens the menu at the cursor, as a click on the icon does.
    void showMenu();

private:
    bool OnWindowMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                         LRESULT& result) override;
    void OnFrameworkTerm() override;
    // Icon resource `iconId` at the shell's small-icon size.
    bool loadIcon(unsigned iconId);
    // NIM_ADD, or NIM_MODIFY once added; updates the availability.
    void update();
    void remove();

    TrayOwner& m_owner;
    unsigned m_id;
    HWND m_hwnd = nullptr;
    UINT m_callbackMessage = 0;
    unsigned m_menuId = 0;
    unsigned m_iconId = 0;
    HICON m_icon = nullptr;
    std::wstring m_tip;
    bool m_added = false;
    UINT m_taskbarCreated = 0;
};

// A dialog of the dialog manager from the DIALOGEX resource with the template's id, made by
// doModal.
class Dialog final : public DialogPeer {
public:
    Dialog(CDialog& dialog, const platform::DialogTemplate& dialogTemplate, CWnd* parent);
    ~Dialog() override;

    int doModal() override;
    void end(int result) override;
    HWND control(int id) const override;
    bool checked(int id, bool& on) const override;
    void setChecked(int id, bool on) override;
    bool listIndex(int id, int& index) const override;
    void setListIndex(int id, int index) override;
    bool fileName(int id, std::string& name) const override;
    void setFileName(int id, const std::string& name) override;
    void setText(const char* caption) override;
    RECT clientRect() const override;
    void offerSerialPortNames(int id) override;

private:
    struct PortCompletion;
    static INT_PTR CALLBACK dialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR handle(UINT message, WPARAM wParam, LPARAM lParam);
    class Control* boundControlFor(HWND hwnd) const;

    CDialog& m_dialog;
    const platform::DialogTemplate& m_template;
    HWND m_parent;
    std::unique_ptr<PortCompletion> m_portCompletion;
};

// A control of a dialog; it colours itself when the dialog reflects WM_CTLCOLOR* to it.
class Control final : public ControlPeer {
public:
    explicit Control(HWND hwnd) : m_hwnd(hwnd) {}
    ~Control() override;

    bool enable(bool on) override;
    bool isEnabled() const override;
    void setText(const char* text) override;
    void setAppearance(const ControlAppearance& look) override;
    void showRichText() override;
    int addString(const char* text) override;
    int count() const override;
    int currentSelection() const override;
    int select(int position) override;

    HWND handle() const { return m_hwnd; }
    // The SysLink that shows a rich-text static's content in its place, or null.
    HWND companion() const { return m_companion; }
    // WM_CTLCOLORSTATIC for this control: its brush, or null for the dialog's default.
    HBRUSH ctlColor(HDC dc) const;
    // Made again at the dialog's new DPI: the font and the inner margin.
    void refreshForDpi() { setAppearance(m_look); }

private:
    // A font the control uses from now on; the control owns it.
    void setFont(HFONT font);

    HWND m_hwnd;
    ControlAppearance m_look;
    COLORREF m_textColor = CLR_INVALID;
    COLORREF m_backColor = CLR_INVALID;
    bool m_noFill = false;
    HBRUSH m_brush = nullptr;
    HFONT m_font = nullptr;
    HWND m_companion = nullptr;
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
