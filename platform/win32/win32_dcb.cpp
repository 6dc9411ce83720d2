#include "platform/win32/win32_dcb.h"

namespace platform::win32 {

DCB toWin32Dcb(const Dcb& dcb) {
    DCB out{};
    out.DCBlength = sizeof(DCB);
    out.BaudRate = dcb.BaudRate;
    out.fBinary = dcb.fBinary;
    out.fParity = dcb.fParity;
    out.fOutxCtsFlow = dcb.fOutxCtsFlow;
    out.fOutxDsrFlow = dcb.fOutxDsrFlow;
    out.fDtrControl = dcb.fDtrControl;
    out.fDsrSensitivity = dcb.fDsrSensitivity;
    out.fTXContinueOnXoff = dcb.fTXContinueOnXoff;
    out.fOutX = dcb.fOutX;
    out.fInX = dcb.fInX;
    out.fErrorChar = dcb.fErrorChar;
    out.fNull = dcb.fNull;
    out.fRtsControl = dcb.fRtsControl;
    out.fAbortOnError = dcb.fAbortOnError;
    out.fDummy2 = dcb.fDummy2;
    out.wReserved = dcb.wReserved;
    out.XonLim = dcb.XonLim;
    out.XoffLim = dcb.XoffLim;
    out.ByteSize = dcb.ByteSize;
    out.Parity = dcb.Parity;
    out.StopBits = dcb.StopBits;
    out.XonChar = dcb.XonChar;
    out.XoffChar = dcb.XoffChar;
    out.ErrorChar = dcb.ErrorChar;
    out.EofChar = dcb.EofChar;
    out.EvtChar = dcb.EvtChar;
    out.wReserved1 = dcb.wReserved1;
    return out;
}

Dcb fromWin32Dcb(const DCB& dcb) {
    Dcb out{};
    out.DCBlength = sizeof(Dcb);
    out.BaudRate = dcb.BaudRate;
    out.fBinary = dcb.fBinary;
    out.fParity = dcb.fParity;
    out.fOutxCtsFlow = dcb.fOutxCtsFlow;
    out.fOutxDsrFlow = dcb.fOutxDsrFlow;
    out.fDtrControl = dcb.fDtrControl;
    out.fDsrSensitivity = dcb.fDsrSensitivity;
    out.fTXContinueOnXoff = dcb.fTXContinueOnXoff;
    out.fOutX = dcb.fOutX;
    out.fInX = dcb.fInX;
    out.fErrorChar = dcb.fErrorChar;
    out.fNull = dcb.fNull;
    out.fRtsControl = dcb.fRtsControl;
    out.fAbortOnError = dcb.fAbortOnError;
    out.fDummy2 = dcb.fDummy2;
    out.wReserved = dcb.wReserved;
    out.XonLim = dcb.XonLim;
    out.XoffLim = dcb.XoffLim;
    out.ByteSize = dcb.ByteSize;
    out.Parity = dcb.Parity;
    out.StopBits = dcb.StopBits;
    out.XonChar = dcb.XonChar;
    out.XoffChar = dcb.XoffChar;
    out.ErrorChar = dcb.ErrorChar;
    out.EofChar = dcb.EofChar;
    out.EvtChar = dcb.EvtChar;
    out.wReserved1 = dcb.wReserved1;
    return out;
}

COMMTIMEOUTS toWin32Timeouts(const CommTimeouts& timeouts) {
    COMMTIMEOUTS out{};
    out.ReadIntervalTimeout = timeouts.ReadIntervalTimeout;
    out.ReadTotalTimeoutMultiplier = timeouts.ReadTotalTimeoutMultiplier;
    out.ReadTotalTimeoutConstant = timeouts.ReadTotalTimeoutConstant;
    out.WriteTotalTimeoutMultiplier = timeouts.WriteTotalTimeoutMultiplier;
    out.WriteTotalTimeoutConstant = timeouts.WriteTotalTimeoutConstant;
    return out;
}

}  // namespace platform::win32
