// The operating system's serial-port calls, in the shape of the Win32 ones the reader is written
// against. One implementation per platform (termios on POSIX, the Win32 API on Windows) and fakes
// in the tests; the reader sees only this interface.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace platform {

// An open device; kInvalidHandle when none.
using Handle = std::intptr_t;
inline constexpr Handle kInvalidHandle = -1;

// Line state, field for field as the Win32 DCB (flag bits in the same positions).
struct Dcb {
    std::uint32_t DCBlength;
    std::uint32_t BaudRate;
    std::uint32_t fBinary : 1;
    std::uint32_t fParity : 1;
    std::uint32_t fOutxCtsFlow : 1;
    std::uint32_t fOutxDsrFlow : 1;
    std::uint32_t fDtrControl : 2;
    std::uint32_t fDsrSensitivity : 1;
    std::uint32_t fTXContinueOnXoff : 1;
    std::uint32_t fOutX : 1;
    std::uint32_t fInX : 1;
    std::uint32_t fErrorChar : 1;
    std::uint32_t fNull : 1;
    std::uint32_t fRtsControl : 2;
    std::uint32_t fAbortOnError : 1;
    std::uint32_t fDummy2 : 17;
    std::uint16_t wReserved;
    std::uint16_t XonLim;
    std::uint16_t XoffLim;
    std::uint8_t ByteSize;
    std::uint8_t Parity;
    std::uint8_t StopBits;
    char XonChar;
    char XoffChar;
    char ErrorChar;
    char EofChar;
    char EvtChar;
    std::uint16_t wReserved1;
};

// <windows.h> defines these names as macros; whichever header comes first, the enumerators
// here keep them as names of this namespace (the values are the same).
#pragma push_macro("NOPARITY")
#undef NOPARITY
#pragma push_macro("ODDPARITY")
#undef ODDPARITY
#pragma push_macro("EVENPARITY")
#undef EVENPARITY
#pragma push_macro("MARKPARITY")
#undef MARKPARITY
#pragma push_macro("SPACEPARITY")
#undef SPACEPARITY
#pragma push_macro("ONESTOPBIT")
#undef ONESTOPBIT
#pragma push_macro("ONE5STOPBITS")
#undef ONE5STOPBITS
#pragma push_macro("TWOSTOPBITS")
#undef TWOSTOPBITS
#pragma push_macro("DTR_CONTROL_DISABLE")
#undef DTR_CONTROL_DISABLE
#pragma push_macro("DTR_CONTROL_ENABLE")
#undef DTR_CONTROL_ENABLE
#pragma push_macro("DTR_CONTROL_HANDSHAKE")
#undef DTR_CONTROL_HANDSHAKE
enum : std::uint8_t {
    NOPARITY = 0,
    ODDPARITY = 1,
    EVENPARITY = 2,
    MARKPARITY = 3,
    SPACEPARITY = 4
};
enum : std::uint8_t { ONESTOPBIT = 0, ONE5STOPBITS = 1, TWOSTOPBITS = 2 };
enum : std::uint32_t { DTR_CONTROL_DISABLE = 0, DTR_CONTROL_ENABLE = 1, DTR_CONTROL_HANDSHAKE = 2 };
#pragma pop_macro("NOPARITY")
#pragma pop_macro("ODDPARITY")
#pragma pop_macro("EVENPARITY")
#pragma pop_macro("MARKPARITY")
#pragma pop_macro("SPACEPARITY")
#pragma pop_macro("ONESTOPBIT")
#pragma pop_macro("ONE5STOPBITS")
#pragma pop_macro("TWOSTOPBITS")
#pragma pop_macro("DTR_CONTROL_DISABLE")
#pragma pop_macro("DTR_CONTROL_ENABLE")
#pragma pop_macro("DTR_CONTROL_HANDSHAKE")

struct CommTimeouts {
    std::uint32_t ReadIntervalTimeout;
    std::uint32_t ReadTotalTimeoutMultiplier;
    std::uint32_t ReadTotalTimeoutConstant;
    std::uint32_t WriteTotalTimeoutMultiplier;
    std::uint32_t WriteTotalTimeoutConstant;
};

class SerialApi {
public:
    virtual ~SerialApi() = default;

    // Opens an existing device for exclusive reading and writing; kInvalidHandle on failure.
    virtual Handle createFile(const char* path) = 0;
    // Fills every field with the device's current line state; false when it cannot be read.
    virtual bool getCommState(Handle device, Dcb& dcb) = 0;
    virtual bool setCommState(Handle device, const Dcb& dcb) = 0;
    virtual bool setCommTimeouts(Handle device, const CommTimeouts& timeouts) = 0;
    // Blocking read of up to `size` bytes, bounded by the time-outs last set on the handle.
    // False on failure (the device is gone); true with `received` 0 when nothing came in time.
    virtual bool readFile(Handle device, void* buffer, std::uint32_t size,
                          std::uint32_t& received) = 0;
    virtual bool closeHandle(Handle device) = 0;

    // From any thread: a blocked readFile returns now (0 bytes) and later ones return at once.
    // Used when the reader stops, never undone.
    virtual void cancelReads() = 0;

    // Why the last failed createFile failed, for diagnostics ("" when it did not fail).
    virtual std::string lastOpenError() const = 0;
};

// The build picks the implementation for the target platform.
std::unique_ptr<SerialApi> makeSerialApi();

}  // namespace platform
