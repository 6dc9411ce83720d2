// The serial port through the Win32 API: one exclusive, non-overlapped handle per device.
// serial_api.h before <windows.h> (see win32_dcb.h).
#include "platform/serial_api.h"
#include "platform/win32/win32_dcb.h"
#include "platform/win32/win32_errors.h"

#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>

namespace platform {
namespace {

HANDLE toHandle(Handle device) {
    return reinterpret_cast<HANDLE>(device);
}

// A port whose device has gone may keep answering reads without failing. Some USB-serial drivers
// return no bytes at once after a surprise removal: that many such early reads in a row mean it
// is gone. (Wine on a vanished pseudo-terminal waits out each time-out instead, spinning; its
// port status can no longer be read, which readFile checks after every empty read.)
constexpr int kEarlyEmptyReadsForLoss = 5;

// How long a read that receives nothing should take; 0 when it may return at once or never
// times out.
std::uint64_t emptyReadTime(const CommTimeouts& t, std::uint32_t size) {
    if (t.ReadIntervalTimeout == MAXDWORD &&
        (t.ReadTotalTimeoutMultiplier == 0 || t.ReadTotalTimeoutMultiplier == MAXDWORD)) {
        return t.ReadTotalTimeoutMultiplier == 0 ? 0 : t.ReadTotalTimeoutConstant;
    }
    return std::uint64_t{t.ReadTotalTimeoutMultiplier} * size + t.ReadTotalTimeoutConstant;
}

class Win32SerialApi : public SerialApi {
public:
    ~Win32SerialApi() override {
        if (m_readerThread != nullptr) {
            CloseHandle(m_readerThread);
        }
    }

    Handle createFile(const char* path) override {
        // Share mode 0: exclusive use. Flags 0: plain blocking I/O, no overlapped operations.
        HANDLE device =
            CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        std::lock_guard<std::mutex> guard(m_mutex);
        m_lastOpenError =
            device == INVALID_HANDLE_VALUE ? win32::describeError(GetLastError()) : std::string();
        return reinterpret_cast<Handle>(device);
    }

    bool getCommState(Handle device, Dcb& dcb) override {
        DCB state{};
        state.DCBlength = sizeof(DCB);
        if (!GetCommState(toHandle(device), &state)) {
            return false;
        }
        dcb = win32::fromWin32Dcb(state);
        return true;
    }

    bool setCommState(Handle device, const Dcb& dcb) override {
        DCB state = win32::toWin32Dcb(dcb);
        return SetCommState(toHandle(device), &state) != FALSE;
    }

    bool setCommTimeouts(Handle device, const CommTimeouts& timeouts) override {
        COMMTIMEOUTS t = win32::toWin32Timeouts(timeouts);
        if (SetCommTimeouts(toHandle(device), &t) == FALSE) {
            return false;
        }
        std::lock_guard<std::mutex> guard(m_mutex);
        m_timeouts[toHandle(device)] = timeouts;
        return true;
    }

    bool readFile(Handle device, void* buffer, std::uint32_t size,
                  std::uint32_t& received) override {
        received = 0;
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            if (m_cancelled) {
                return true;
            }
            rememberReaderThread();
            m_readingDevice = toHandle(device);
        }
        DWORD count = 0;
        const auto started = std::chrono::steady_clock::now();
        const BOOL ok = ReadFile(toHandle(device), buffer, size, &count, nullptr);
        const DWORD error = ok ? ERROR_SUCCESS : GetLastError();
        const auto took = std::chrono::steady_clock::now() - started;
        bool cancelled;
        bool gone = false;
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            m_readingDevice = nullptr;
            cancelled = m_cancelled;
            m_readEnded.notify_all();
            if (ok && !cancelled) {
                gone = emptyTooSoon(toHandle(device), size, count, took);
            }
        }
        // An empty read is also when to ask whether the port is still there: its status cannot
        // be read once the device has gone (only ports have one: those with time-outs set).
        if (ok && !cancelled && count == 0 && !gone && hasTimeouts(toHandle(device))) {
            DWORD errors = 0;
            gone = ClearCommError(toHandle(device), &errors, nullptr) == FALSE;
        }
        if (gone) {
            SetLastError(ERROR_DEVICE_NOT_CONNECTED);
            return false;
        }
        if (ok) {
            received = count;
            return true;
        }
        if (error == ERROR_OPERATION_ABORTED) {
            if (cancelled) {
                return true;
            }
            // A line error (framing, parity, overrun) with fAbortOnError set: reads stay aborted
            // until the error is cleared. The port itself is still there when that succeeds.
            DWORD errors = 0;
            return ClearCommError(toHandle(device), &errors, nullptr) != FALSE;
        }
        return false;
    }

    bool closeHandle(Handle device) override {
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            m_timeouts.erase(toHandle(device));
            m_earlyEmptyReads.erase(toHandle(device));
        }
        return CloseHandle(toHandle(device)) != FALSE;
    }

    void cancelReads() override {
        std::unique_lock<std::mutex> guard(m_mutex);
        m_cancelled = true;
        // A cancel that lands just before the reader enters ReadFile finds nothing to cancel, so
        // keep cancelling until the read has ended. The read's own 1000 ms limit bounds this on a
        // serial port; the deadline covers a device without time-outs that ignores cancelling.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        while (m_readingDevice != nullptr && std::chrono::steady_clock::now() < deadline) {
            CancelSynchronousIo(m_readerThread);
            CancelIoEx(m_readingDevice, nullptr);
            m_readEnded.wait_for(guard, std::chrono::milliseconds(10));
        }
    }

    std::string lastOpenError() const override {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_lastOpenError;
    }

private:
    bool hasTimeouts(HANDLE device) const {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_timeouts.count(device) != 0;
    }

    // Counts reads that came back empty in well under the time their time-outs give them; true
    // once there have been enough in a row. Under m_mutex.
    bool emptyTooSoon(HANDLE device, std::uint32_t size, DWORD count,
                      std::chrono::steady_clock::duration took) {
        const auto timeouts = m_timeouts.find(device);
        if (timeouts == m_timeouts.end()) {
            return false;
        }
        int& earlyEmptyReads = m_earlyEmptyReads[device];
        const std::uint64_t expectedMs = emptyReadTime(timeouts->second, size);
        const auto tookMs = std::chrono::duration_cast<std::chrono::milliseconds>(took).count();
        if (count != 0 || expectedMs == 0 || static_cast<std::uint64_t>(tookMs) * 4 >= expectedMs) {
            earlyEmptyReads = 0;
            return false;
        }
        return ++earlyEmptyReads >= kEarlyEmptyReadsForLoss;
    }

    // CancelSynchronousIo needs a handle to the reading thread; the reader reads from one thread,
    // so the handle is opened once (again only if another thread reads).
    void rememberReaderThread() {
        const DWORD id = GetCurrentThreadId();
        if (m_readerThread != nullptr && m_readerThreadId == id) {
            return;
        }
        if (m_readerThread != nullptr) {
            CloseHandle(m_readerThread);
        }
        m_readerThread = OpenThread(THREAD_TERMINATE, FALSE, id);
        m_readerThreadId = id;
    }

    mutable std::mutex m_mutex;
    std::condition_variable m_readEnded;
    bool m_cancelled = false;
    HANDLE m_readingDevice = nullptr;  // while a ReadFile is in progress
    HANDLE m_readerThread = nullptr;
    DWORD m_readerThreadId = 0;
    std::string m_lastOpenError;
    std::map<HANDLE, CommTimeouts> m_timeouts;  // as last set on each open handle
    std::map<HANDLE, int> m_earlyEmptyReads;    // in a row, per handle
};

}  // namespace

std::unique_ptr<SerialApi> makeSerialApi() {
    return std::make_unique<Win32SerialApi>();
}

}  // namespace platform
