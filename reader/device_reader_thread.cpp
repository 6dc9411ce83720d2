#include "reader/device_reader_thread.h"

#include <utility>

using vantel::VLString;

DeviceReaderThread::DeviceReaderThread()
    : DeviceReaderThread(platform::makeSerialApi(), platform::makeDefaultKeySink()) {}

DeviceReaderThread::DeviceReaderThread(std::unique_ptr<platform::SerialApi> serial,
                                       std::unique_ptr<platform::KeySink> keys)
    : VLThread(0), m_serial(std::move(serial)), m_keys(std::move(keys)) {
    // A stop must not wait out a read of up to a second.
    onStopRequested([this] { m_serial->cancelReads(); });
}

DeviceReaderThread::~DeviceReaderThread() {
    // The owner stops the thread first; this only keeps `run` from outliving the object.
    stop(true);
}

int DeviceReaderThread::run() {
    setState(Connecting);
    {
        ObjectLockGuard guard(*this);
        m_loopCount = 0;
    }
    while (runnable()) {
        const ReaderState state = getState();
        if (state == Connecting) {
            openDevice();
        } else if (state == Reading) {
            readBlock();
        } else {
            sleep(100);
        }
        ObjectLockGuard guard(*this);
        // Wraps around on overflow.
        m_loopCount = static_cast<std::int32_t>(static_cast<std::uint32_t>(m_loopCount) + 1u);
    }
    closeDevice();
    return 0;
}

bool DeviceReaderThread::isOpen() const {
    return m_hDevice.load() != platform::kInvalidHandle;
}

void DeviceReaderThread::closeDevice() {
    if (isOpen()) {
        m_serial->closeHandle(m_hDevice.load());
        m_hDevice.store(platform::kInvalidHandle);
    }
}

ReaderState DeviceReaderThread::getState() const {
    ObjectLockGuard guard(*this);
    return static_cast<ReaderState>(m_state);
}

void DeviceReaderThread::setState(ReaderState state) {
    ObjectLockGuard guard(*this);
    m_state = state;
    if (state == Connecting) {
        ++m_connectRequests;
    }
}

VLString DeviceReaderThread::getDeviceName() const {
    ObjectLockGuard guard(*this);
    return VLString(m_deviceName);
}

std::int32_t DeviceReaderThread::getLoopCount() const {
    ObjectLockGuard guard(*this);
    return m_loopCount;
}

VLString DeviceReaderThread::getLastScanned() const {
    ObjectLockGuard guard(*this);
    return VLString(m_lastScanned);
}

void DeviceReaderThread::setLastScanned(const VLString& text) {
    ObjectLockGuard guard(*this);
    m_lastScanned = text;
}

VLString DeviceReaderThread::getLastError() const {
    ObjectLockGuard guard(*this);
    return VLString(m_lastError);
}

void DeviceReaderThread::setLastError(const VLString& reason) {
    ObjectLockGuard guard(*this);
    m_lastError = reason;
}

void DeviceReaderThread::fail(const VLString& reason) {
    // While a device stays away every attempt fails the same way: once is enough.
    bool changed;
    {
        ObjectLockGuard guard(*this);
        changed = m_lastError.bytes() != reason.bytes();
        m_lastError = reason;
    }
    if (changed) {
        report(reason);
    }
}

void DeviceReaderThread::setListener(std::function<void(const VLString&)> listener) {
    m_listener = std::move(listener);
}

void DeviceReaderThread::setUnreachableListener(std::function<void(const VLString&)> listener) {
    m_unreachableListener = std::move(listener);
}

void DeviceReaderThread::report(const VLString& event) {
    if (m_listener) {
        m_listener(event);
    }
}

void DeviceReaderThread::sendKey(std::uint16_t codeUnit) {
    m_keys->sendKey(codeUnit);
}
