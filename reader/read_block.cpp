// Reading: one block from the device, typed into the focused window.
#include "reader/device_reader_thread.h"

using vantel::VLString;

void DeviceReaderThread::readBlock() {
    if (!isOpen()) {
        // The device was lost by a failed read (an unplugged adapter).
        reconnectAfterLoss();
        return;
    }

    unsigned char buffer[kReadBlockSize];
    std::uint32_t received = 0;
    if (!m_serial->readFile(m_hDevice.load(), buffer, kReadBlockSize, received)) {
        closeDevice();
        VLString reason("lost ");
        reason += getDeviceName();
        setLastError(reason);
        report(reason);
        return;
    }
    if (received == 0) {
        return;
    }

    VLString text;
    m_keys->beginBlock();
    const std::string unreachable = m_keys->unreachableTarget();
    for (std::uint32_t i = 0; i < received && i < kReadBlockSize; ++i) {
        if (m_skipFirstChar != 0 && i == 0) {
            continue;
        }
        sendKey(buffer[i]);
        text += static_cast<int>(buffer[i]);
    }
    if (m_addEnter != 0) {
        sendKey(13);
    }
    m_keys->endBlock();
    if (unreachable.empty()) {
        setLastScanned(text);
        return;
    }
    // The keys were still sent (a wrong guess then costs the user nothing), but the scan is not
    // shown as received. A user scanning into one such window is told once, not per scan.
    if (m_unreachableReported.size() > 64) {
        m_unreachableReported.clear();
    }
    if (m_unreachableReported.insert(unreachable).second) {
        const VLString why(unreachable.c_str());
        report(why);
        if (m_unreachableListener) {
            m_unreachableListener(why);
        }
    }
}

void DeviceReaderThread::reconnectAfterLoss() {
    // Never spin on a closed device: try about once a second until it is back. Failures keep the
    // state, so the user sees the reader waiting for the device rather than halted.
    sleep(kReconnectDelayMs);
    if (!runnable()) {
        return;
    }
    std::uint32_t requestsAtStart;
    {
        ObjectLockGuard guard(*this);
        requestsAtStart = m_connectRequests;
    }
    const Outcome outcome = connect();
    if (outcome == Outcome::Configured || outcome == Outcome::PlainStream) {
        finishConnect(Reading, requestsAtStart);
    }
}
