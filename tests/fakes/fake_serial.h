// A scripted serial port: tests queue read results and see every call the reader made.
#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/serial_api.h"

namespace fakes {

struct ReadResult {
    bool ok = true;
    std::vector<unsigned char> bytes;
};

// What the fake recorded; shared with the test after the reader took ownership of the fake.
struct SerialLog {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::string> opened;  // names passed to createFile
    int closes = 0;
    int reads = 0;
    std::optional<platform::Dcb> lastDcb;
    std::optional<platform::CommTimeouts> lastTimeouts;
    std::set<platform::Handle> openHandles;
    // Script
    std::set<std::string> missing;  // names whose open fails
    bool commStateFails = false;
    std::deque<ReadResult> reads_queue;  // consumed one per readFile
    bool blockWhenEmpty = true;          // with no queued result: wait (as a silent line)
    bool cancelled = false;
    int delivered = 0;                 // queued results handed out
    int readsAtDelivery = 0;           // value of `reads` when the last one was handed out
    platform::Dcb reported{};          // what getCommState reports
    std::function<void()> duringOpen;  // run once, inside the next createFile, without the lock
};

class FakeSerialApi : public platform::SerialApi {
public:
    explicit FakeSerialApi(std::shared_ptr<SerialLog> log) : m_log(std::move(log)) {}

    platform::Handle createFile(const char* path) override {
        std::function<void()> hook;
        platform::Handle h = platform::kInvalidHandle;
        {
            std::lock_guard<std::mutex> guard(m_log->mutex);
            m_log->opened.emplace_back(path);
            m_log->changed.notify_all();
            hook = std::exchange(m_log->duringOpen, nullptr);
            // Fails when missing, or still held (exclusive).
            if (m_log->missing.count(path) == 0 && m_log->openHandles.empty()) {
                h = m_next++;
                m_log->openHandles.insert(h);
            }
        }
        if (hook) {
            hook();
        }
        return h;
    }
    bool getCommState(platform::Handle, platform::Dcb& dcb) override {
        std::lock_guard<std::mutex> guard(m_log->mutex);
        if (m_log->commStateFails) {
            return false;
        }
        dcb = m_log->reported;
        dcb.DCBlength = sizeof dcb;
        return true;
    }
    bool setCommState(platform::Handle, const platform::Dcb& dcb) override {
        std::lock_guard<std::mutex> guard(m_log->mutex);
        m_log->lastDcb = dcb;
        return true;
    }
    bool setCommTimeouts(platform::Handle, const platform::CommTimeouts& t) override {
        std::lock_guard<std::mutex> guard(m_log->mutex);
        m_log->lastTimeouts = t;
        return true;
    }
    bool readFile(platform::Handle h, void* buffer, std::uint32_t size,
                  std::uint32_t& received) override {
        std::unique_lock<std::mutex> guard(m_log->mutex);
        ++m_log->reads;
        m_log->changed.notify_all();
        received = 0;
        if (m_log->openHandles.count(h) == 0) {
            return false;
        }
        if (m_log->reads_queue.empty() && m_log->blockWhenEmpty) {
            // A silent line: the read ends after its time-out, or at once on cancel.
            const std::uint32_t limit =
                m_log->lastTimeouts && m_log->lastTimeouts->ReadTotalTimeoutConstant != 0
                    ? m_log->lastTimeouts->ReadTotalTimeoutConstant
                    : 1000;
            m_log->changed.wait_for(guard, std::chrono::milliseconds(limit), [this] {
                return m_log->cancelled || !m_log->reads_queue.empty();
            });
        }
        if (m_log->cancelled || m_log->reads_queue.empty()) {
            return true;
        }
        ReadResult r = std::move(m_log->reads_queue.front());
        m_log->reads_queue.pop_front();
        ++m_log->delivered;
        m_log->readsAtDelivery = m_log->reads;
        if (!r.ok) {
            return false;
        }
        const std::size_t n = std::min<std::size_t>(size, r.bytes.size());
        std::copy_n(r.bytes.begin(), n, static_cast<unsigned char*>(buffer));
        received = static_cast<std::uint32_t>(n);
        return true;
    }
    bool closeHandle(platform::Handle h) override {
        std::lock_guard<std::mutex> guard(m_log->mutex);
        ++m_log->closes;
        m_log->openHandles.erase(h);
        m_log->changed.notify_all();
        return true;
    }
    void cancelReads() override {
        std::lock_guard<std::mutex> guard(m_log->mutex);
        m_log->cancelled = true;
        m_log->changed.notify_all();
    }
    std::string lastOpenError() const override { return "no such device"; }

private:
    std::shared_ptr<SerialLog> m_log;
    platform::Handle m_next = 3;
};

}  // namespace fakes
