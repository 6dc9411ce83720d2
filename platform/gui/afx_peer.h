// The native half of the framework's windows and of the UI extensions: each backend supplies one
// peer per object, which only makes the toolkit's calls, through the one Backend its library
// defines. The objects the program holds (CWnd, CTrayIcon...) keep the behaviour and are
// declared once.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/gui/afx_gdi.h"
#include "platform/gui/afx_msgmap.h"

class CWnd;
class CDC;
class CDialog;

namespace platform {
struct DialogTemplate;
}

namespace afx {

// The native window of one CWnd. It sets the window's m_hWnd once the native window exists and
// hands every message the native window gets to CWnd::AfxCallWindowProc.
class WindowPeer {
public:
    virtual ~WindowPeer() = default;  // takes a native window still there along, quietly

    // Makes the native window (after the window's PreCreateWindow); false when it was not made
    // or WM_CREATE refused it.
    virtual bool create(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style,
                        const RECT& rect, CWnd* parent, UINT id, void* param) = 0;
    virtual bool destroy() = 0;
    // Returns whether the window was visible before.
    virtual bool show(int command) = 0;
    virtual void update() = 0;
    // Returns the window that had the focus.
    virtual CWnd* setFocus() = 0;
    virtual void invalidate(const RECT* rect, bool erase) = 0;
    virtual RECT clientRect() const = 0;
    virtual bool isVisible() const = 0;
    virtual bool isIconic() const = 0;
    virtual void setText(LPCSTR text) = 0;
    virtual DWORD style() const = 0;
    virtual DWORD exStyle() const = 0;
    // Starts (or restarts) the native timer `id`; false when there is none to be had.
    virtual bool startTimer(UINT_PTR id, UINT ms) = 0;
    virtual void stopTimer(UINT_PTR id) = 0;
    virtual LRESULT send(UINT message, WPARAM wParam, LPARAM lParam) = 0;
    virtual bool post(UINT message, WPARAM wParam, LPARAM lParam) = 0;
    // What the system does with a message no handler took.
    virtual LRESULT defaultProc(UINT message, WPARAM wParam, LPARAM lParam) = 0;
};

// What a frame's peer adds: menu bar, accelerators, icon and title from one resource id.
class FramePeer {
public:
    virtual ~FramePeer() = default;
    virtual bool loadFrame(UINT resourceId, DWORD style, CWnd* parent) = 0;
};

// Painting one window, between the native begin and end of painting.
class PaintPeer {
public:
    virtual ~PaintPeer() = default;
    virtual HDC dc() const = 0;
    virtual int drawText(LPCSTR text, int count, RECT* rect, UINT format) = 0;
};

// How a static control draws its text: kDefaultColor keeps a colour's default, kNoFillColor as
// background lets what lies behind show through; an empty face keeps the control's font.
struct ControlAppearance {
    COLORREF text = kDefaultColor;
    COLORREF background = kDefaultColor;
    int padding = 0;  // inner margin in pixels
    std::string fontFace;
    double fontPointSize = 0;
    bool fontBold = false;
};

// The native dialog of one CDialog, made from its template. It sets the dialog's m_hWnd while
// the native dialog exists, runs CDialog::AfxInitDialog once it is up and hands control
// notifications to CDialog::OnCommand.
class DialogPeer {
public:
    virtual ~DialogPeer() = default;
    virtual int doModal() = 0;
    virtual void end(int result) = 0;
    // The native control `id`, or null.
    virtual HWND control(int id) const = 0;
    // The state of check box `id`; false when there is none.
    virtual bool checked(int id, bool& on) const = 0;
    virtual void setChecked(int id, bool on) = 0;
    // The selected position of list `id` (-1: none); false when there is no list.
    virtual bool listIndex(int id, int& index) const = 0;
    virtual void setListIndex(int id, int index) = 0;
    // The text of edit control `id` as a file name in the platform's encoding.
    virtual bool fileName(int id, std::string& name) const = 0;
    virtual void setFileName(int id, const std::string& name) = 0;
    virtual void setText(const char* caption) = 0;
    virtual RECT clientRect() const = 0;
    virtual void offerSerialPortNames(int id) = 0;
};

// One control of a dialog.
class ControlPeer {
public:
    virtual ~ControlPeer() = default;
    // True when the control was disabled before.
    virtual bool enable(bool on) = 0;
    virtual bool isEnabled() const = 0;
    // Narrow text, shown as Latin-1.
    virtual void setText(const char* text) = 0;
    virtual void setAppearance(const ControlAppearance& look) = 0;
    virtual void showRichText() = 0;
    // A list's items: positions, -1 when not a list.
    virtual int addString(const char* text) = 0;
    virtual int count() const = 0;
    virtual int currentSelection() const = 0;
    virtual int select(int position) = 0;
};

// What a tray peer reports to the icon object that owns it.
class TrayOwner {
public:
    virtual ~TrayOwner() = default;
    // Replaces the check for a notification area when set (tests).
    virtual const std::function<bool()>& availabilityProbe() const = 0;
    virtual bool trayAvailable() const = 0;
    // The notification area took the icon or stopped having it; the owner tells its handler.
    virtual void setTrayAvailable(bool available) = 0;
};

// One notification-area icon; the chosen menu item goes to the notification window as
// WM_COMMAND.
class TrayPeer {
public:
    virtual ~TrayPeer() = default;
    virtual void setNotificationWindow(CWnd* wnd, unsigned callbackMessage) = 0;
    // The first popup of menu resource `menuId`; false when there is none.
    virtual bool setMenu(unsigned menuId) = 0;
    // Shows the icon of icon resource `iconId`; false when there is none.
    virtual bool setIcon(unsigned iconId) = 0;
    // Narrow text, shown as Latin-1.
    virtual void setToolTip(const std::string& text) = 0;
    // True when a missing notification area is only late (a shell still starting at logon) and
    // the icon is retried until it comes; false when a desktop may have none at all.
    virtual bool waitsForTray() const = 0;
};

// A picture decoded from a typed resource of the program.
class PicturePeer {
public:
    virtual ~PicturePeer() = default;
    virtual bool load(unsigned id, const char* type) = 0;
    virtual bool isLoaded() const = 0;
    // Stretched over `rect`.
    virtual bool render(CDC& dc, const RECT& rect) const = 0;
};

// What the toolkit needs alive while the program runs (its application object).
class Session {
public:
    virtual ~Session() = default;
};

class Backend {
public:
    virtual ~Backend() = default;
    // Made before InitInstance and gone after AfxTermFramework; takes the toolkit's own options
    // out of the arguments.
    virtual std::unique_ptr<Session> startSession(int& argc, char** argv) = 0;
    // Runs the message loop until it is ended; the exit code it was ended with.
    virtual int messageLoop() = 0;
    virtual void fillSolidRect(HDC dc, const RECT& rect, COLORREF color) = 0;
    virtual std::unique_ptr<WindowPeer> createWindow(CWnd& wnd) = 0;
    // A window peer that is also a FramePeer.
    virtual std::unique_ptr<WindowPeer> createFrame(CWnd& frame) = 0;
    virtual std::unique_ptr<PaintPeer> beginPaint(CWnd& wnd) = 0;
    // The window object of a native window of this layer, or null.
    virtual CWnd* windowOf(HWND hwnd) = 0;
    virtual std::unique_ptr<DialogPeer> createDialog(CDialog& dialog,
                                                     const platform::DialogTemplate& dialogTemplate,
                                                     CWnd* parent) = 0;
    virtual std::unique_ptr<ControlPeer> createControl(HWND control) = 0;
    virtual std::unique_ptr<TrayPeer> createTray(TrayOwner& owner, unsigned id) = 0;
    virtual std::unique_ptr<PicturePeer> createPicture() = 0;
    // Claims the one copy of program `name` in the user's desktop session for this process.
    // True when this process holds it (then a later start calls `comeForward` on the UI thread);
    // false when another copy holds it, which has been asked to come forward.
    virtual bool claimInstance(const std::string& name, std::function<void()> comeForward) = 0;
};

// Defined by exactly one backend library: the one the build links.
Backend& backend();

}  // namespace afx
