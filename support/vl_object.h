// Root class, per-object lock and thread base.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace vantel {

class VLOutputStream;
class VLInputStream;

// Passed as a lock time-out: wait without limit.
inline constexpr std::uint64_t kInfiniteTimeout = 0xFFFFFFFFFFFFFFFFull;

class VLObject {
public:
    VLObject() = default;
    VLObject(const VLObject&) = delete;
    VLObject& operator=(const VLObject&) = delete;
    virtual ~VLObject() = default;

    virtual std::uint32_t hash() const;
    // The root has no lock: these succeed at once (0) and do nothing.
    virtual std::uint32_t lock(std::uint64_t timeout) const;
    virtual std::uint32_t lockForReading(std::uint64_t timeout) const;
    virtual std::uint32_t lockForWriting(std::uint64_t timeout) const;
    virtual std::uint32_t unlock() const;
    virtual std::uint32_t writeToStream(VLOutputStream& out) const;
    virtual std::uint32_t readFromStream(VLInputStream& in);
};

// Lock results.
inline constexpr std::uint32_t kLockAcquired = 0;
inline constexpr std::uint32_t kLockTimedOut = 1;

// One lock per object. Not recursive: no caller takes it twice.
class VLLockableObject : public VLObject {
public:
    std::uint32_t lock(std::uint64_t timeout) const override;
    std::uint32_t lockForReading(std::uint64_t timeout) const override;
    std::uint32_t lockForWriting(std::uint64_t timeout) const override;
    std::uint32_t unlock() const override;

private:
    mutable std::timed_mutex m_lock;
};

class VLThread : public VLLockableObject {
public:
    ~VLThread() override;

    // Runs `run` on a new thread; returns without waiting. Called once.
    void start();
    // True until a stop is requested.
    bool runnable() const;
    // Suspends the caller for `milliseconds`. On a VLThread's own thread a stop request ends the
    // pause at once, so a stopping thread never waits out its sleep.
    static void sleep(unsigned milliseconds);
    // Requests the stop; with `wait`, returns only after `run` has returned.
    virtual void stop(bool wait);
    virtual int run() = 0;

protected:
    explicit VLThread(unsigned flags);
    // Called once, on the stopping thread, when a stop is first requested: lets a subclass wake
    // waits that `sleep` cannot see (a blocked device read).
    void onStopRequested(std::function<void()> wake);

private:
    void body();

    std::thread m_thread;
    std::atomic<bool> m_stopRequested{false};
    std::mutex m_stopMutex;  // guards m_wakers and the sleep condition
    std::condition_variable m_stopCondition;
    std::vector<std::function<void()>> m_wakers;
    std::mutex m_joinMutex;
};

}  // namespace vantel
