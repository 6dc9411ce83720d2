// How the Win32-shaped line state maps onto Linux termios2, as pure functions: the serial layer
// applies them and the tests check them as tables, including what a pseudo-terminal cannot show
// (data bits, parity, DTR).
#pragma once

// The kernel's termios2 (arbitrary rates through BOTHER); glibc's <termios.h> must not be
// included alongside.
#include <asm/termbits.h>

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

// The termios that gives `dcb`, starting from the device's `current` one: the rate through
// BOTHER, data bits, parity (mark and space through CMSPAR), stop bits (one and a half as two,
// except with five data bits where the UART really sends 1.5), INPCK, CRTSCTS, IXON, IXOFF, and
// always raw with CREAD|CLOCAL and VMIN=VTIME=0. Empty when the DCB asks for what no line offers
// (a rate of 0, which would hang the line up, data bits outside 5-8, parity above 4, stop bits
// above 2): the line is then left as it is.
std::optional<termios2> termiosForDcb(const Dcb& dcb, const termios2& current);
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
inline constexpr char kBusyText[] = "busy: another program is using it";

}  // namespace platform::line
