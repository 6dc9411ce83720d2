// Reading: one block from the device, typed into the focused window.
#include <chrono>

#include "reader/device_reader_thread.h"

using vantel::VLString;

namespace {

// A read that ends this close to its limit ran out of time rather than stopping at a pause;
// timers on some systems end reads a little early.
constexpr std::chrono::milliseconds kLimitSlack(50);

}  // namespace

void DeviceReaderThread::readBlock() {
    if (!isOpen()) {
        // The device was lost by a failed read (an unplugged adapter).
        reconnectAfterLoss();
        return;
    }

    unsigned char buffer[kReadBlockSize];
    std::uint32_t received = 0;
    const auto started = std::chrono::steady_clock::now();
    if (!m_serial->readFile(m_hDevice.load(), buffer, kReadBlockSize, received)) {
        // A scan cut off by the loss gets no Enter: half a code must not submit a form.
        endScan(false);
        closeDevice();
        VLString reason("lost ");
        reason += getDeviceName();
        fail(reason);
        return;
    }
    const auto took = std::chrono::steady_clock::now() - started;
    if (received == 0) {
        // Nothing since a read that filled the buffer or ran out of time: the scan is over.
        if (m_inScan) {
            endScan(true);
        }
        return;
    }

    const bool scanStarts = !m_inScan;
    if (scanStarts) {
        m_scanText = VLString();
    }
    m_keys->beginBlock();
    const std::string unreachable = m_keys->unreachableTarget();
    for (std::uint32_t i = 0; i < received && i < kReadBlockSize; ++i) {
        if (m_skipFirstChar != 0 && scanStarts && i == 0) {
            continue;
        }
        sendKey(buffer[i]);
        if (m_scanText.length() < kMaxScanText) {
            m_scanText += static_cast<int>(buffer[i]);
        }
    }
    // Fewer bytes than asked for, well before the limit: the read stopped at a pause.
    const bool paused =
        received < kReadBlockSize && took + kLimitSlack < std::chrono::milliseconds(m_readLimitMs);
    if (paused && m_addEnter != 0) {
        sendKey(13);
    }
    m_keys->endBlock();
    if (unreachable.empty()) {
        setLastScanned(m_scanText);
    } else {
        reportUnreachable(unreachable);
    }
    m_inScan = !paused;
    setReadLimit(m_inScan ? kScanReadLimitMs : kReadLimitMs);
}

void DeviceReaderThread::endScan(bool typeEnter) {
    if (!m_inScan) {
        return;
    }
    m_inScan = false;
    if (typeEnter && m_addEnter != 0) {
        m_keys->beginBlock();
        sendKey(13);
        m_keys->endBlock();
    }
    if (isOpen()) {
        setReadLimit(kReadLimitMs);
    }
}

// The keys were still sent (a wrong guess then costs the user nothing), but the scan is not shown
// as received. A user scanning into one such window is told once, not per scan.
void DeviceReaderThread::reportUnreachable(const std::string& why) {
    if (m_unreachableReported.size() > 64) {
        m_unreachableReported.clear();
    }
    if (m_unreachableReported.insert(why).second) {
        const VLString text(why.c_str());
        report(text);
        if (m_unreachableListener) {
            m_unreachableListener(text);
        }
    }
}

void DeviceReaderThread::setReadLimit(std::uint32_t limitMs) {
    if (limitMs == m_readLimitMs) {
        return;
    }
    m_readLimitMs = limitMs;
    m_serial->setCommTimeouts(m_hDevice.load(), platform::CommTimeouts{kPauseMs, 0, limitMs, 0, 0});
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
