#include "platform/posix/line_mapping.h"

#include <sys/ioctl.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace platform::line {
namespace {

constexpr tcflag_t kLineCflags = CSIZE | CSTOPB | PARENB | PARODD | CMSPAR | CRTSCTS;
constexpr tcflag_t kRawIflagsOff =
    BRKINT | IGNPAR | ISTRIP | INLCR | IGNCR | ICRNL | IUCLC | IXANY | IMAXBEL | IUTF8;
constexpr tcflag_t kRawIflagsOn = IGNBRK | PARMRK;
constexpr tcflag_t kLineIflags = INPCK | IXON | IXOFF;
constexpr tcflag_t kRawLflagsOff =
    ECHO | ECHOE | ECHOK | ECHONL | ECHOCTL | ECHOPRT | ECHOKE | ICANON | ISIG | IEXTEN | XCASE;

struct RateCode {
    tcflag_t code;
    std::uint32_t rate;
};

constexpr RateCode kRateCodes[] = {
    {B50, 50},           {B75, 75},           {B110, 110},         {B134, 134},
    {B150, 150},         {B200, 200},         {B300, 300},         {B600, 600},
    {B1200, 1200},       {B1800, 1800},       {B2400, 2400},       {B4800, 4800},
    {B9600, 9600},       {B19200, 19200},     {B38400, 38400},     {B57600, 57600},
    {B115200, 115200},   {B230400, 230400},   {B460800, 460800},   {B500000, 500000},
    {B576000, 576000},   {B921600, 921600},   {B1000000, 1000000}, {B1152000, 1152000},
    {B1500000, 1500000}, {B2000000, 2000000}, {B2500000, 2500000}, {B3000000, 3000000},
    {B3500000, 3500000}, {B4000000, 4000000}};

bool equalIgnoreCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (fold(a[i]) != fold(b[i])) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::optional<unsigned> comPortNumber(std::string_view name) {
    if (name.substr(0, 4) == "\\\\.\\") {
        name.remove_prefix(4);
    }
    if (!name.empty() && name.back() == ':') {
        name.remove_suffix(1);
    }
    if (name.size() < 4 || !equalIgnoreCase(name.substr(0, 3), "com")) {
        return std::nullopt;
    }
    const std::string_view digits = name.substr(3);
    if (digits.size() > 4 || digits.front() == '0') {
        return std::nullopt;
    }
    unsigned n = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        n = n * 10 + static_cast<unsigned>(c - '0');
    }
    return n;
}

std::string devicePath(std::string_view name) {
    if (const std::optional<unsigned> port = comPortNumber(name)) {
        return "/dev/ttyS" + std::to_string(*port - 1);
    }
    return std::string(name);
}

termios2 rawLine(const termios2& current) {
    termios2 t = current;
    t.c_cflag |= CREAD | CLOCAL;
    t.c_iflag &= ~kRawIflagsOff;
    t.c_iflag |= kRawIflagsOn;
    t.c_oflag &= ~OPOST;
    t.c_lflag &= ~kRawLflagsOff;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    return t;
}

LineRequest termiosForDcb(const Dcb& dcb, const termios2& current) {
    LineRequest request{rawLine(current), {}};
    termios2& t = request.termios;
    auto refuse = [&request](const char* field, unsigned value) {
        if (!request.refused.empty()) {
            request.refused += ", ";
        }
        request.refused += field;
        request.refused += ' ';
        request.refused += std::to_string(value);
    };

    if (dcb.BaudRate == 0) {
        refuse("rate", dcb.BaudRate);
    } else {
        // stty and other tools read only the classic codes: BOTHER just where there is none.
        tcflag_t code = BOTHER;
        for (const RateCode& entry : kRateCodes) {
            if (entry.rate == dcb.BaudRate) {
                code = entry.code;
            }
        }
        t.c_cflag &= ~(CBAUD | CIBAUD);
        t.c_cflag |= code;
        // CIBAUD left 0: the input rate follows the output rate.
        t.c_ispeed = dcb.BaudRate;
        t.c_ospeed = dcb.BaudRate;
    }

    if (dcb.ByteSize < 5 || dcb.ByteSize > 8) {
        refuse("data bits", dcb.ByteSize);
    } else {
        static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
        t.c_cflag = (t.c_cflag & ~CSIZE) | kSizes[dcb.ByteSize - 5];
    }

    constexpr tcflag_t kParityFlags = PARENB | PARODD | CMSPAR;
    static constexpr tcflag_t kParities[] = {0, PARENB | PARODD, PARENB, PARENB | PARODD | CMSPAR,
                                             PARENB | CMSPAR};
    if (dcb.Parity > SPACEPARITY) {
        refuse("parity", dcb.Parity);
    } else {
        t.c_cflag = (t.c_cflag & ~kParityFlags) | kParities[dcb.Parity];
    }

    if (dcb.StopBits > TWOSTOPBITS) {
        refuse("stop bits", dcb.StopBits);
    } else {
        t.c_cflag = (t.c_cflag & ~CSTOPB) | (dcb.StopBits != ONESTOPBIT ? CSTOPB : 0);
    }

    t.c_cflag = (t.c_cflag & ~CRTSCTS) | (dcb.fOutxCtsFlow != 0 ? CRTSCTS : 0);
    t.c_iflag &= ~kLineIflags;
    if (dcb.fParity != 0) {
        t.c_iflag |= INPCK;
    }
    if (dcb.fOutX != 0) {
        t.c_iflag |= IXON;
    }
    if (dcb.fInX != 0) {
        t.c_iflag |= IXOFF;
    }
    // Equal characters would make XON and XOFF indistinguishable (a zeroed DCB): keep the line's.
    if (dcb.XonChar != dcb.XoffChar) {
        t.c_cc[VSTART] = static_cast<cc_t>(dcb.XonChar);
        t.c_cc[VSTOP] = static_cast<cc_t>(dcb.XoffChar);
    }
    return request;
}

std::size_t ErrorMarks::strip(unsigned char* bytes, std::size_t count) {
    std::size_t out = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const unsigned char c = bytes[i];
        switch (m_state) {
            case State::Data:
                if (c == 0xFF) {
                    m_state = State::Mark;
                } else {
                    bytes[out++] = c;
                }
                break;
            case State::Mark:
                if (c == 0x00) {
                    m_state = State::MarkZero;
                } else {
                    // 0xFF 0xFF: a 0xFF received. The kernel sends no other pair after a 0xFF;
                    // should one come, its second byte is still data.
                    bytes[out++] = c;
                    m_state = State::Data;
                }
                break;
            case State::MarkZero:
                bytes[out++] = c;  // the byte as received, error or not
                m_state = State::Data;
                break;
        }
    }
    return out;
}

bool dtrRaised(const Dcb& dcb) {
    return dcb.fDtrControl != DTR_CONTROL_DISABLE;
}

std::uint32_t rateOf(const termios2& termios) {
    const tcflag_t code = termios.c_cflag & CBAUD;
    if (code == BOTHER) {
        return termios.c_ospeed;
    }
    for (const RateCode& entry : kRateCodes) {
        if (entry.code == code) {
            return entry.rate;
        }
    }
    return code == B0 ? 0 : termios.c_ospeed;
}

Dcb dcbFromTermios(const termios2& termios, std::optional<int> modemBits, const KeptFields& kept) {
    Dcb dcb{};
    dcb.DCBlength = sizeof(Dcb);
    dcb.BaudRate = rateOf(termios);
    dcb.fBinary = 1;
    dcb.fParity = (termios.c_iflag & INPCK) != 0;
    dcb.fOutxCtsFlow = (termios.c_cflag & CRTSCTS) != 0;
    dcb.fOutxDsrFlow = kept.fOutxDsrFlow;
    if (modemBits) {
        dcb.fDtrControl = (*modemBits & TIOCM_DTR) == 0               ? DTR_CONTROL_DISABLE
                          : kept.fDtrControl == DTR_CONTROL_HANDSHAKE ? DTR_CONTROL_HANDSHAKE
                                                                      : DTR_CONTROL_ENABLE;
    } else {
        dcb.fDtrControl = kept.fDtrControl;
    }
    dcb.fOutX = (termios.c_iflag & IXON) != 0;
    dcb.fInX = (termios.c_iflag & IXOFF) != 0;
    // RTS: handshake with CRTSCTS, else as the modem lines show (raised when unknown).
    constexpr std::uint32_t kRtsDisable = 0, kRtsEnable = 1, kRtsHandshake = 2;
    if ((termios.c_cflag & CRTSCTS) != 0) {
        dcb.fRtsControl = kRtsHandshake;
    } else {
        dcb.fRtsControl = modemBits && (*modemBits & TIOCM_RTS) == 0 ? kRtsDisable : kRtsEnable;
    }
    switch (termios.c_cflag & CSIZE) {
        case CS5:
            dcb.ByteSize = 5;
            break;
        case CS6:
            dcb.ByteSize = 6;
            break;
        case CS7:
            dcb.ByteSize = 7;
            break;
        default:
            dcb.ByteSize = 8;
            break;
    }
    if ((termios.c_cflag & PARENB) == 0) {
        dcb.Parity = NOPARITY;
    } else if ((termios.c_cflag & CMSPAR) != 0) {
        dcb.Parity = (termios.c_cflag & PARODD) != 0 ? MARKPARITY : SPACEPARITY;
    } else {
        dcb.Parity = (termios.c_cflag & PARODD) != 0 ? ODDPARITY : EVENPARITY;
    }
    if ((termios.c_cflag & CSTOPB) == 0) {
        dcb.StopBits = ONESTOPBIT;
    } else {
        dcb.StopBits = dcb.ByteSize == 5 ? ONE5STOPBITS : TWOSTOPBITS;
    }
    dcb.XonChar = static_cast<char>(termios.c_cc[VSTART]);
    dcb.XoffChar = static_cast<char>(termios.c_cc[VSTOP]);
    return dcb;
}

bool lineMatches(const termios2& wanted, const termios2& actual) {
    const std::uint64_t want = rateOf(wanted);
    const std::uint64_t got = rateOf(actual);
    const std::uint64_t diff = want > got ? want - got : got - want;
    const tcflag_t cflags = kLineCflags | CREAD | CLOCAL;
    const tcflag_t iflags = kLineIflags | kRawIflagsOff | kRawIflagsOn;
    return diff * 50 <= want && (wanted.c_cflag & cflags) == (actual.c_cflag & cflags) &&
           (wanted.c_iflag & iflags) == (actual.c_iflag & iflags) &&
           (wanted.c_oflag & OPOST) == (actual.c_oflag & OPOST) &&
           (wanted.c_lflag & kRawLflagsOff) == (actual.c_lflag & kRawLflagsOff) &&
           actual.c_cc[VMIN] == wanted.c_cc[VMIN] && actual.c_cc[VTIME] == wanted.c_cc[VTIME];
}

std::string openErrorText(int error) {
    switch (error) {
        case ENOENT:
        case ENXIO:
        case ENODEV:
            return "no such device";
        case EACCES:
        case EPERM:
            return "permission denied: the user must be in the dialout group (then log in again)";
        case EBUSY:
            return kBusyText;
        default:
            return std::strerror(error);
    }
}

}  // namespace platform::line
