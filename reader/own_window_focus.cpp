#include "reader/own_window_focus.h"

#include <atomic>
#include <utility>

namespace {

std::atomic<bool> g_ownWindowActive{false};

class OwnWindowGuard : public platform::KeySink {
public:
    explicit OwnWindowGuard(std::unique_ptr<platform::KeySink> sink) : m_sink(std::move(sink)) {}

    // Decided once per block: a block is typed whole or not at all.
    void beginBlock() override {
        m_skip = ownWindowActive();
        if (!m_skip) {
            m_sink->beginBlock();
        }
    }
    void sendKey(std::uint16_t codeUnit) override {
        if (!m_skip) {
            m_sink->sendKey(codeUnit);
        }
    }
    void endBlock() override {
        if (!m_skip) {
            m_sink->endBlock();
        }
        m_skip = false;
    }
    std::string failure() const override { return m_sink->failure(); }
    std::string unreachableTarget() const override {
        return m_skip ? std::string() : m_sink->unreachableTarget();
    }

private:
    std::unique_ptr<platform::KeySink> m_sink;
    bool m_skip = false;
};

}  // namespace

void setOwnWindowActive(bool active) {
    g_ownWindowActive.store(active);
}

bool ownWindowActive() {
    return g_ownWindowActive.load() || platform::foregroundWindowIsOurs();
}

std::unique_ptr<platform::KeySink> skipWhileOwnWindowActive(
    std::unique_ptr<platform::KeySink> sink) {
    return std::make_unique<OwnWindowGuard>(std::move(sink));
}
