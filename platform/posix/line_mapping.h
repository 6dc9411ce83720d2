// How the Win32-shaped line state maps onto Linux termios2, as pure functions: the serial layer
// applies them and the tests check them as tables, including what a pseudo-terminal cannot show
// (data bits, parity, DTR).
#pragma once

// The kernel's termios2 (arbitrary rates through BOTHER); glibc's <termios.h> must not be
// included alongside.
#include <asm/termbits.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/serial_api.h"

namespace platform::line {

// "COMn" in any letter case, with an optional "\\.\" prefix and trailing colon, is port n.
std::optional<unsigned> comPortNumber(std::string_view name);
// The file a device name opens: port n is /dev/ttyS(n-1); any other name is a path as it stands.
std::string devicePath(std::string_view name);

// Line settings that termios cannot hold. DSR output flow has no Linux counterpart (and only
// governs sending, which this program never does); DTR handshake is shown as DTR raised. Both
// are kept per handle and reported back as they were set.
struct KeptFields {
    std::uint32_t fOutxDsrFlow = 0;
    std::uint32_t fDtrControl = DTR_CONTROL_ENABLE;
};

// Raw mode for any terminal, whatever its line: no echo, line editing, CR/LF translation or
// signals, CREAD|CLOCAL, VMIN=VTIME=0. A break is dropped (IGNBRK) and a byte received with a
// parity or framing error is marked (PARMRK) so that it can be delivered as received; see
// ErrorMarks. Everything else is kept from `current`.
termios2 rawLine(const termios2& current);

struct LineRequest {
    termios2 termios;
    // The fields no line offers, left as they were (empty when every field was taken).
    std::string refused;
};

// The raw termios that gives `dcb`, starting from the device's `current` one: the rate through
// its classic Bnnn code, BOTHER only for rates that have none, data bits, parity (mark and space
// through CMSPAR), stop bits (one and a half as two, except with five data bits where the UART
// really sends 1.5), INPCK, CRTSCTS, IXON, IXOFF. A field the DCB asks for that no line offers (a
// rate of 0, which would hang the line up, data bits outside 5-8, parity above 4, stop bits
// above 2) keeps its current value and is named in `refused`; the rest still applies.
LineRequest termiosForDcb(const Dcb& dcb, const termios2& current);

// Undoes the marking of rawLine: 0xFF 0xFF is a received 0xFF, 0xFF 0x00 c is c received with a
// parity or framing error. A sequence split between two reads is finished by the next one.
class ErrorMarks {
public:
    // Decodes `count` bytes in place; returns how many data bytes they held.
    std::size_t strip(unsigned char* bytes, std::size_t count);

private:
    enum class State : unsigned char { Data, Mark, MarkZero };
    State m_state = State::Data;
};

// DTR raised for "on" and "handshake" (any value but 0).
bool dtrRaised(const Dcb& dcb);

// The line as it really is. `modemBits` is the TIOCMGET result, empty when the device has no
// modem lines (a pseudo-terminal): DTR is then reported as last set.
Dcb dcbFromTermios(const termios2& termios, std::optional<int> modemBits, const KeptFields& kept);

// Bits per second, from c_ospeed with BOTHER or from the classic Bnnn code.
std::uint32_t rateOf(const termios2& termios);

// Whether `actual` (read back after setting) is the line `wanted` asked for; the kernel may
// round a rate by up to 2 %.
bool lineMatches(const termios2& wanted, const termios2& actual);

// The reason shown for a failed open with this errno.
std::string openErrorText(int error);

// Whether the kernel lists the device at `path` as a console: the serial layer never opens one.
bool isConsole(const std::string& path);
inline constexpr char kBusyText[] = "busy: another program is using it";

}  // namespace platform::line
