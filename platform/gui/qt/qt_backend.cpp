#include <QApplication>
#include <utility>

#include "platform/gui/qt/qt_peers.h"
#include "platform/gui/qt/session_hooks.h"

namespace afx {

namespace {

// Without a display Qt would abort while the application is made: the guard says so in one
// line instead, and is done once the application exists.
class QtSession final : public Session {
public:
    QtSession(int& argc, char** argv)
        : m_noDisplay(argc > 0 ? argv[0] : nullptr), m_application(argc, argv) {
        m_noDisplay.done();
    }

private:
    AfxNoDisplayExit m_noDisplay;
    QApplication m_application;
};

class QtBackend final : public Backend {
public:
    std::unique_ptr<Session> startSession(int& argc, char** argv) override {
        return std::make_unique<QtSession>(argc, argv);
    }
    int messageLoop() override { return QApplication::exec(); }
    void fillSolidRect(HDC dc, const RECT& rect, COLORREF color) override {
        dc->fillRect(qt::toQRect(rect), colorFromColorRef(color));
    }
    std::unique_ptr<WindowPeer> createWindow(CWnd& wnd) override {
        return std::make_unique<qt::Window>(wnd);
    }
    std::unique_ptr<WindowPeer> createFrame(CWnd& frame) override {
        return std::make_unique<qt::Frame>(frame);
    }
    std::unique_ptr<PaintPeer> beginPaint(CWnd& wnd) override {
        return std::make_unique<qt::Paint>(wnd);
    }
    CWnd* windowOf(HWND hwnd) override { return qt::windowOf(hwnd); }
    std::unique_ptr<DialogPeer> createDialog(CDialog& dialog,
                                             const platform::DialogTemplate& dialogTemplate,
                                             CWnd* parent) override {
        return std::make_unique<qt::Dialog>(dialog, dialogTemplate, parent);
    }
    std::unique_ptr<ControlPeer> createControl(HWND control) override {
        return std::make_unique<qt::Control>(control);
    }
    std::unique_ptr<TrayPeer> createTray(TrayOwner& owner, unsigned) override {
        return std::make_unique<qt::TrayIcon>(owner);
    }
    std::unique_ptr<PicturePeer> createPicture() override {
        return std::make_unique<qt::Picture>();
    }
    bool claimInstance(const std::string& name, std::function<void()> comeForward) override {
        return qt::claimInstance(name, std::move(comeForward));
    }
};

}  // namespace

Backend& backend() {
    static QtBackend qtBackend;
    return qtBackend;
}

}  // namespace afx
