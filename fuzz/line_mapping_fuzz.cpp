// Device names and line settings from a settings file, whatever they hold. A name maps to a
// serial port number only when it is exactly "COMn" (any letter case, optional "\\.\" prefix and
// trailing colon) and then to that port, never another (an overflowing number must not wrap onto
// a real port); any other name opens as the path it is. The line is always raw; each field the
// mapping accepts reads back as set (rate, data bits, parity, flow control) and a refused one
// keeps the line's value.
//
// Input: the first byte picks the check (even: a device name from the rest; odd: a DCB from it).
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>

#include "fuzz_input.h"
#include "platform/posix/line_mapping.h"

namespace {

// The port number a name names, worked out here independently; empty when it is not a COM name.
// Numbers too large for 32 bits come back as 0, which no port has.
std::optional<std::uint64_t> referencePort(std::string name) {
    if (name.rfind("\\\\.\\", 0) == 0) {
        name.erase(0, 4);
    }
    if (!name.empty() && name.back() == ':') {
        name.pop_back();
    }
    if (name.size() < 4) {
        return std::nullopt;
    }
    for (int i = 0; i < 3; ++i) {
        if ((name[static_cast<std::size_t>(i)] | 0x20) != "com"[i]) {
            return std::nullopt;
        }
    }
    std::uint64_t n = 0;
    for (std::size_t i = 3; i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9') {
            return std::nullopt;
        }
        n = n * 10 + static_cast<std::uint64_t>(name[i] - '0');
        if (n > 0xFFFFFFFFull) {
            return 0;
        }
    }
    return n;
}

void checkName(const std::string& name) {
    const std::optional<unsigned> port = platform::line::comPortNumber(name);
    const std::optional<std::uint64_t> reference = referencePort(name);
    const std::string path = platform::line::devicePath(name);
    if (!reference) {
        FUZZ_CHECK(!port);
        FUZZ_CHECK(path == name);
        return;
    }
    if (port) {
        // Port n, exactly, and its device file.
        FUZZ_CHECK(*reference != 0 && *port == *reference);
        FUZZ_CHECK(path == "/dev/ttyS" + std::to_string(*port - 1));
    } else {
        // Refused (COM0, a number beyond any port): opened as the name it is, never a port.
        FUZZ_CHECK(path == name);
    }
}

void checkLine(fuzz::Input& in) {
    platform::Dcb dcb{};
    const std::string raw = in.bytes(sizeof dcb);
    std::memcpy(&dcb, raw.data(), raw.size());
    termios2 current{};
    const std::string rawCurrent = in.bytes(sizeof current);
    std::memcpy(&current, rawCurrent.data(), rawCurrent.size());

    const platform::line::LineRequest request = platform::line::termiosForDcb(dcb, current);
    const termios2* t = &request.termios;
    const bool rateOk = dcb.BaudRate != 0;
    const bool sizeOk = dcb.ByteSize >= 5 && dcb.ByteSize <= 8;
    const bool parityOk = dcb.Parity <= 4;
    const bool offered = rateOk && sizeOk && parityOk && dcb.StopBits <= 2;
    FUZZ_CHECK(request.refused.empty() == offered);
    // Raw whatever was refused, reads paced by the program: no line discipline in the way.
    FUZZ_CHECK((t->c_lflag & (ICANON | ECHO | ISIG)) == 0);
    FUZZ_CHECK((t->c_iflag & (ICRNL | INLCR | IGNCR | ISTRIP)) == 0);
    FUZZ_CHECK((t->c_cflag & (CREAD | CLOCAL)) == (CREAD | CLOCAL));
    FUZZ_CHECK(t->c_cc[VMIN] == 0 && t->c_cc[VTIME] == 0);
    // A refused field keeps the line's value; every other one reads back as set.
    const platform::line::KeptFields kept{dcb.fOutxDsrFlow, dcb.fDtrControl};
    const platform::Dcb back = platform::line::dcbFromTermios(*t, std::nullopt, kept);
    const platform::Dcb before = platform::line::dcbFromTermios(current, std::nullopt, kept);
    FUZZ_CHECK(back.BaudRate == (rateOk ? dcb.BaudRate : before.BaudRate));
    FUZZ_CHECK(back.ByteSize == (sizeOk ? dcb.ByteSize : before.ByteSize));
    if (parityOk) {
        FUZZ_CHECK(back.Parity == dcb.Parity);
    } else {
        FUZZ_CHECK((t->c_cflag & (PARENB | PARODD | CMSPAR)) ==
                   (current.c_cflag & (PARENB | PARODD | CMSPAR)));
    }
    FUZZ_CHECK(back.fParity == dcb.fParity);
    FUZZ_CHECK(back.fOutxCtsFlow == dcb.fOutxCtsFlow);
    FUZZ_CHECK(back.fInX == dcb.fInX);
    FUZZ_CHECK(back.fOutX == dcb.fOutX);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    if (in.byte() % 2 == 0) {
        checkName(in.rest());
    } else {
        checkLine(in);
    }
    return 0;
}
