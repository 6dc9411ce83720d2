#include "platform/gui/win32/win32_peers.h"

namespace afx {

namespace {

class Win32Backend final : public Backend {
public:
    std::unique_ptr<WindowPeer> createWindow(CWnd& wnd) override {
        return std::make_unique<win32::Window>(wnd);
    }
    std::unique_ptr<WindowPeer> createFrame(CWnd& frame) override {
        return std::make_unique<win32::Frame>(frame);
    }
    std::unique_ptr<PaintPeer> beginPaint(CWnd& wnd) override {
        return std::make_unique<win32::Paint>(wnd);
    }
    CWnd* windowOf(HWND hwnd) override { return win32::windowOf(hwnd); }
    std::unique_ptr<DialogPeer> createDialog(CDialog& dialog,
                                             const platform::DialogTemplate& dialogTemplate,
                                             CWnd* parent) override {
        return std::make_unique<win32::Dialog>(dialog, dialogTemplate, parent);
    }
    std::unique_ptr<ControlPeer> createControl(HWND control) override {
        return std::make_unique<win32::Control>(control);
    }
    std::unique_ptr<TrayPeer> createTray(TrayOwner& owner, unsigned id) override {
        return std::make_unique<win32::TrayIcon>(owner, id);
    }
    std::unique_ptr<PicturePeer> createPicture() override {
        return std::make_unique<win32::Picture>();
    }
};

}  // namespace

Backend& backend() {
    static Win32Backend win32Backend;
    return win32Backend;
}

}  // namespace afx
