// The serial port through the Win32 API: one exclusive, non-overlapped handle per device.
// serial_api.h before <windows.h> (see win32_dcb.h).
#include "platform/serial_api.h"
#include "platform/win32/win32_dcb.h"
#include "platform/win32/win32_errors.h"

#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>

namespace platform {
namespace {

HANDLE toHandle(Handle device) {
    return reinterpret_cast<HANDLE>(device);
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
        return SetCommTimeouts(toHandle(device), &t) != FALSE;
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
        const BOOL ok = ReadFile(toHandle(device), buffer, size, &count, nullptr);
        const DWORD error = ok ? ERROR_SUCCESS : GetLastError();
        bool cancelled;
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            m_readingDevice = nullptr;
            cancelled = m_cancelled;
            m_readEnded.notify_all();
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

    bool closeHandle(Handle device) override { return CloseHandle(toHandle(device)) != FALSE; }

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
};

}  // namespace

std::unique_ptr<SerialApi> makeSerialApi() {
    return std::make_unique<Win32SerialApi>();
}

}  // namespace platform
