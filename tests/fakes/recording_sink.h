// Records every code unit it is asked to type, with the block boundaries.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/key_sink.h"

namespace fakes {

struct KeyLog {
    std::mutex mutex;
    std::vector<std::uint16_t> keys;
    int blocksBegun = 0;
    int blocksEnded = 0;
    std::string unreachable;  // what unreachableTarget says from the next block on

    std::vector<std::uint16_t> snapshot() {
        std::lock_guard<std::mutex> guard(mutex);
        return keys;
    }
};

class RecordingKeySink : public platform::KeySink {
public:
    explicit RecordingKeySink(std::shared_ptr<KeyLog> log) : m_log(std::move(log)) {}
    void beginBlock() override {
        std::lock_guard<std::mutex> guard(m_log->mutex);
        ++m_log->blocksBegun;
        m_unreachable = m_log->unreachable;
    }
    void sendKey(std::uint16_t codeUnit) override {
        std::lock_guard<std::mutex> guard(m_log->mutex);
        m_log->keys.push_back(codeUnit);
    }
    void endBlock() override {
        std::lock_guard<std::mutex> guard(m_log->mutex);
        ++m_log->blocksEnded;
    }
    std::string unreachableTarget() const override { return m_unreachable; }

private:
    std::shared_ptr<KeyLog> m_log;
    std::string m_unreachable;
};

}  // namespace fakes
