#include "platform/gui/qt/qt_peers.h"

namespace afx {

namespace {

class QtBackend final : public Backend {
public:
    std::unique_ptr<TrayPeer> createTray(TrayOwner& owner, unsigned) override {
        return std::make_unique<qt::TrayIcon>(owner);
    }
    std::unique_ptr<PicturePeer> createPicture() override {
        return std::make_unique<qt::Picture>();
    }
};

}  // namespace

Backend& backend() {
    static QtBackend qtBackend;
    return qtBackend;
}

}  // namespace afx
