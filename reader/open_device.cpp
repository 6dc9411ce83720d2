// Connecting: open the configured device and set up its line from the settings.
#include "reader/device_reader_thread.h"
#include "settings/scanner_settings.h"

using vantel::VLString;

namespace {

// A read returns after 32 bytes, a gap of more than 100 ms after the first byte, or 1000 ms.
constexpr platform::CommTimeouts kReadTimeouts{DeviceReaderThread::kPauseMs, 0,
                                               DeviceReaderThread::kReadLimitMs, 0, 0};

std::uint32_t lowBits(std::int32_t value, std::uint32_t mask) {
    return static_cast<std::uint32_t>(value) & mask;
}

}  // namespace

void DeviceReaderThread::openDevice() {
    std::uint32_t requestsAtStart;
    {
        ObjectLockGuard guard(*this);
        requestsAtStart = m_connectRequests;
    }
    switch (connect()) {
        case Outcome::OpenFailed:
        case Outcome::LineStateUnread:
            finishConnect(Halted, requestsAtStart);
            break;
        case Outcome::Configured:
        case Outcome::PlainStream:
            finishConnect(Reading, requestsAtStart);
            break;
    }
}

void DeviceReaderThread::finishConnect(ReaderState state, std::uint32_t requestsAtStart) {
    ObjectLockGuard guard(*this);
    if (m_connectRequests == requestsAtStart) {
        m_state = state;
    }
}

DeviceReaderThread::Outcome DeviceReaderThread::connect() {
    // A reconnect always closes first, so the exclusive open never collides with our own handle.
    if (isOpen()) {
        closeDevice();
    }
    // A scan still open on the old connection is abandoned, without its Enter.
    m_inScan = false;
    m_readLimitMs = kReadLimitMs;
    // Settings that exist but cannot be read would all read as defaults: COM1 is not the
    // user's scanner, and may be the machine's console.
    const VLString settingsProblem = theConfig.settingsProblem();
    if (!settingsProblem.isEmpty()) {
        VLString reason("cannot read the settings: ");
        reason += settingsProblem;
        fail(reason);
        return Outcome::OpenFailed;
    }
    const VLString name = readSetting(ScannerSettings::DeviceName);
    {
        ObjectLockGuard guard(*this);
        m_deviceName = name;
    }

    const platform::Handle device = m_serial->createFile(name.t_str());
    m_hDevice.store(device);
    if (device == platform::kInvalidHandle) {
        VLString reason("cannot open ");
        reason += name;
        reason += ": ";
        reason += m_serial->lastOpenError().c_str();
        fail(reason);
        return Outcome::OpenFailed;
    }

    bool serialPort = name.startsWith("com", VLString::ignoreCase);
    if (!serialPort) {
        serialPort = readSetting(ScannerSettings::SerialDevice) != 0;
    }

    if (!serialPort) {
        // A plain byte stream (a pipe, a USB HID-POS bridge): no line to set up, but its blocks
        // are forwarded like a serial port's and its reads are paced the same way.
        m_addEnter = readSetting(ScannerSettings::bCRLF);
        m_skipFirstChar = readSetting(ScannerSettings::bSkipFirstChar);
        m_serial->setCommTimeouts(device, kReadTimeouts);
        setLastError("");
        VLString event("opened ");
        event += name;
        event += " as a byte stream";
        report(event);
        return Outcome::PlainStream;
    }

    platform::Dcb dcb{};
    dcb.DCBlength = sizeof(platform::Dcb);
    if (!m_serial->getCommState(device, dcb)) {
        closeDevice();
        VLString reason("cannot read the line state of ");
        reason += name;
        fail(reason);
        return Outcome::LineStateUnread;
    }

    using namespace ScannerSettings;
    // No rate is zero or negative (a negative one would reach the line as some four billion
    // baud): such a value is not a rate, and the default is used, as the Options dialog shows.
    const std::int32_t rate = readSetting(BaudRate);
    if (rate <= 0) {
        VLString note("BaudRate ");
        note += VLString::valueOf(rate);
        note += " is not a rate; using ";
        note += VLString::valueOf(BaudRate.defaultValue);
        report(note);
    }
    dcb.BaudRate = static_cast<std::uint32_t>(rate > 0 ? rate : BaudRate.defaultValue);
    dcb.Parity = static_cast<std::uint8_t>(lowBits(readSetting(Parity), 0xFF));
    dcb.ByteSize = static_cast<std::uint8_t>(lowBits(readSetting(DataBits), 0xFF));
    dcb.StopBits = static_cast<std::uint8_t>(lowBits(readSetting(StopBits), 0xFF));
    dcb.fParity = lowBits(readSetting(bParity), 1);
    dcb.fOutxDsrFlow = lowBits(readSetting(bDSR), 1);
    dcb.fDtrControl = lowBits(readSetting(bDTR), 3);
    dcb.fOutxCtsFlow = lowBits(readSetting(bCTS), 1);
    dcb.fInX = lowBits(readSetting(bXIN), 1);
    dcb.fOutX = lowBits(readSetting(bXOUT), 1);
    // A NUL from the scanner is data to forward, never something to discard.
    dcb.fNull = 0;
    m_serial->setCommState(device, dcb);

    m_addEnter = readSetting(bCRLF);
    m_skipFirstChar = readSetting(bSkipFirstChar);
    m_serial->setCommTimeouts(device, kReadTimeouts);
    setLastError("");
    VLString event("opened ");
    event += name;
    report(event);
    return Outcome::Configured;
}
