// The native half of the UI extensions: each backend supplies one peer per object, which only
// makes the toolkit's calls, through the one Backend its library defines. The objects the
// program holds (support/ui) keep the behaviour and are declared once.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/gui/afx_msgmap.h"

class CWnd;
class CDC;

namespace afx {

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

class Backend {
public:
    virtual ~Backend() = default;
    virtual std::unique_ptr<TrayPeer> createTray(TrayOwner& owner, unsigned id) = 0;
    virtual std::unique_ptr<PicturePeer> createPicture() = 0;
};

// Defined by exactly one backend library: the one the build links.
Backend& backend();

}  // namespace afx
