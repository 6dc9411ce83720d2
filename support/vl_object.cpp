#include "support/vl_object.h"

#include <chrono>

namespace vantel {

std::uint32_t VLObject::hash() const {
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(this) >> 3);
}
std::uint32_t VLObject::lock(std::uint64_t) const {
    return kLockAcquired;
}
std::uint32_t VLObject::lockForReading(std::uint64_t) const {
    return kLockAcquired;
}
std::uint32_t VLObject::lockForWriting(std::uint64_t) const {
    return kLockAcquired;
}
std::uint32_t VLObject::unlock() const {
    return 0;
}
std::uint32_t VLObject::writeToStream(VLOutputStream&) const {
    return 0;
}
std::uint32_t VLObject::readFromStream(VLInputStream&) {
    return 0;
}

std::uint32_t VLLockableObject::lock(std::uint64_t timeout) const {
    if (timeout == kInfiniteTimeout) {
        m_lock.lock();
        return kLockAcquired;
    }
    const auto limit = std::chrono::milliseconds(
        timeout > 0x7FFFFFFFull ? std::chrono::milliseconds::rep{0x7FFFFFFF}
                                : static_cast<std::chrono::milliseconds::rep>(timeout));
    return m_lock.try_lock_for(limit) ? kLockAcquired : kLockTimedOut;
}

std::uint32_t VLLockableObject::lockForReading(std::uint64_t timeout) const {
    return lock(timeout);
}

std::uint32_t VLLockableObject::lockForWriting(std::uint64_t timeout) const {
    return lock(timeout);
}

std::uint32_t VLLockableObject::unlock() const {
    m_lock.unlock();
    return 0;
}

namespace {
// The VLThread whose `run` executes on this thread, so the static `sleep` can see its stop.
thread_local VLThread* t_current = nullptr;
}  // namespace

VLThread::VLThread(unsigned /*flags*/) {}

VLThread::~VLThread() {
    // Owners stop the thread before destroying it; joining here only keeps a forgotten stop
    // from terminating the process.
    if (m_thread.joinable()) {
        m_stopRequested.store(true);
        m_stopCondition.notify_all();
        m_thread.join();
    }
}

void VLThread::start() {
    std::lock_guard<std::mutex> guard(m_joinMutex);
    if (!m_thread.joinable()) {
        m_thread = std::thread([this] { body(); });
    }
}

void VLThread::body() {
    t_current = this;
    run();
    t_current = nullptr;
}

bool VLThread::runnable() const {
    return !m_stopRequested.load();
}

void VLThread::sleep(unsigned milliseconds) {
    VLThread* self = t_current;
    const auto duration = std::chrono::milliseconds(milliseconds);
    if (self == nullptr) {
        std::this_thread::sleep_for(duration);
        return;
    }
    std::unique_lock<std::mutex> guard(self->m_stopMutex);
    self->m_stopCondition.wait_for(guard, duration,
                                   [self] { return self->m_stopRequested.load(); });
}

void VLThread::onStopRequested(std::function<void()> wake) {
    std::lock_guard<std::mutex> guard(m_stopMutex);
    m_wakers.push_back(std::move(wake));
}

void VLThread::stop(bool wait) {
    std::vector<std::function<void()>> wakers;
    {
        std::lock_guard<std::mutex> guard(m_stopMutex);
        if (!m_stopRequested.exchange(true)) {
            wakers = m_wakers;
        }
    }
    m_stopCondition.notify_all();
    for (auto& wake : wakers) {
        wake();
    }
    if (wait) {
        std::lock_guard<std::mutex> guard(m_joinMutex);
        if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id()) {
            m_thread.join();
        }
    }
}

}  // namespace vantel
