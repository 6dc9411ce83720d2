// The worker that owns the connection to the scanner: connects, reads blocks, types them.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>

#include "platform/key_sink.h"
#include "platform/serial_api.h"
#include "support/vl_object.h"
#include "support/vl_string.h"

enum ReaderState : std::int32_t { Connecting = 0, Halted = 1, Reading = 2 };

// Holds an object's lock for one scope, on every exit path.
class ObjectLockGuard {
public:
    explicit ObjectLockGuard(const vantel::VLLockableObject& object) : m_object(object) {
        m_object.lock(vantel::kInfiniteTimeout);
    }
    ~ObjectLockGuard() { m_object.unlock(); }
    ObjectLockGuard(const ObjectLockGuard&) = delete;
    ObjectLockGuard& operator=(const ObjectLockGuard&) = delete;

private:
    const vantel::VLLockableObject& m_object;
};

class DeviceReaderThread : public vantel::VLThread {
public:
    static constexpr std::uint32_t kReadBlockSize = 32;
    // A read ends after a gap of more than this between two bytes: the scanner paused.
    static constexpr std::uint32_t kPauseMs = 100;
    // The longest a read waits, between scans.
    static constexpr std::uint32_t kReadLimitMs = 1000;
    // Within a scan the next read waits only this long for its first byte, so the end of a scan
    // that filled the buffer is seen a pause after its last byte.
    static constexpr std::uint32_t kScanReadLimitMs = kPauseMs;
    // The last scanned text keeps at most this much of a scan (a stream without pauses is one
    // endless scan).
    static constexpr std::size_t kMaxScanText = 4096;
    // Pause between attempts to get a lost device back.
    static constexpr unsigned kReconnectDelayMs = 1000;

    // The platform's serial port and the desktop's key sink.
    DeviceReaderThread();
    DeviceReaderThread(std::unique_ptr<platform::SerialApi> serial,
                       std::unique_ptr<platform::KeySink> keys);
    ~DeviceReaderThread() override;

    int run() override;

    bool isOpen() const;
    ReaderState getState() const;
    void setState(ReaderState state);
    vantel::VLString getDeviceName() const;
    std::int32_t getLoopCount() const;
    vantel::VLString getLastScanned() const;
    // Why the device is not open ("" while it is, or before the first attempt).
    vantel::VLString getLastError() const;

    // Told, on the reader thread, what the connection did: opened, failed and why, lost. Set it
    // before start.
    void setListener(std::function<void(const vantel::VLString& event)> listener);
    // Told, on the reader thread and once per window, that a scan was typed into a window that
    // cannot receive it (the text says which and why); the listener above hears it too. Such a
    // scan does not become the last scanned text. Set it before start.
    void setUnreachableListener(std::function<void(const vantel::VLString& why)> listener);

protected:
    void openDevice();
    void readBlock();
    void closeDevice();
    void sendKey(std::uint16_t codeUnit);
    void setLastScanned(const vantel::VLString& text);

private:
    enum class Outcome { OpenFailed, LineStateUnread, Configured, PlainStream };

    Outcome connect();
    void reconnectAfterLoss();
    void endScan(bool typeEnter);
    void setReadLimit(std::uint32_t limitMs);
    void reportUnreachable(const std::string& why);
    // Sets the state that a connect attempt led to, unless a reconnect was requested meanwhile:
    // that request wins, so settings saved during an attempt are never ignored.
    void finishConnect(ReaderState state, std::uint32_t requestsAtStart);
    void setLastError(const vantel::VLString& reason);
    // Records why the device is not open; says so only when the reason is new.
    void fail(const vantel::VLString& reason);
    void report(const vantel::VLString& event);

    std::int32_t m_state = Connecting;
    vantel::VLString m_deviceName;
    std::atomic<platform::Handle> m_hDevice{platform::kInvalidHandle};
    std::int32_t m_addEnter = 0;
    std::int32_t m_skipFirstChar = 0;
    std::int32_t m_loopCount = 0;
    vantel::VLString m_lastScanned;

    vantel::VLString m_lastError;
    // A scan goes on over reads that end because the buffer filled or the read's time ran out;
    // it ends at a pause. Touched only by the reader thread.
    bool m_inScan = false;
    vantel::VLString m_scanText;
    std::uint32_t m_readLimitMs = kReadLimitMs;
    std::uint32_t m_connectRequests = 0;  // setState(Connecting) calls, under the lock
    std::unique_ptr<platform::SerialApi> m_serial;
    std::unique_ptr<platform::KeySink> m_keys;
    std::function<void(const vantel::VLString&)> m_listener;
    std::function<void(const vantel::VLString&)> m_unreachableListener;
    std::set<std::string> m_unreachableReported;  // reader thread only
};
