#include <utility>

#include "platform/gui/win32/win32_peers.h"

namespace afx {

namespace {

class Win32Backend final : public Backend {
public:
    // The system needs no application object.
    std::unique_ptr<Session> startSession(int&, char**) override {
        return std::make_unique<Session>();
    }
    void fillSolidRect(HDC dc, const RECT& rect, COLORREF color) override {
        HBRUSH brush = ::CreateSolidBrush(color);
        ::FillRect(dc, &rect, brush);
        ::DeleteObject(brush);
    }
    int messageLoop() override {
        MSG msg;
        for (;;) {
            const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
            if (got == 0 || got == -1)
                return got == 0 ? static_cast<int>(msg.wParam) : -1;
            // The main frame's accelerators, for keys sent to any of its windows.
            CWnd* frame = AfxGetApp() != nullptr ? AfxGetApp()->m_pMainWnd : nullptr;
            HACCEL accelerators = win32::acceleratorsOf(frame);
            if (accelerators != nullptr &&
                (msg.hwnd == frame->m_hWnd || ::IsChild(frame->m_hWnd, msg.hwnd)) &&
                ::TranslateAcceleratorW(frame->m_hWnd, accelerators, &msg)) {
                continue;
            }
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
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
    bool claimInstance(const std::string& name, std::function<void()> comeForward) override {
        return win32::claimInstance(name, std::move(comeForward));
    }
};

}  // namespace

Backend& backend() {
    static Win32Backend win32Backend;
    return win32Backend;
}

}  // namespace afx
