#include "platform/posix/line_mapping.h"

#include <gtest/gtest.h>
#include <sys/ioctl.h>

#include <cerrno>

using namespace platform;

namespace {

// The rates the Options dialog offers.
constexpr std::uint32_t kListedRates[] = {110,   300,   600,   1200,  2400,   4800,   9600,  14400,
                                          19200, 38400, 56000, 57600, 115200, 128000, 256000};

// A line as a terminal starts out: cooked, echoing, 9600 8N1.
termios2 cookedLine() {
    termios2 t{};
    t.c_iflag = ICRNL | IXON | IXANY | ISTRIP | IMAXBEL | BRKINT | IUTF8 | PARMRK;
    t.c_oflag = OPOST | ONLCR;
    t.c_cflag = B9600 | CS8 | CREAD | HUPCL | (B9600 << IBSHIFT);
    t.c_lflag = ICANON | ECHO | ECHOE | ECHOK | ISIG | IEXTEN | ECHOCTL | ECHOKE;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 5;
    t.c_cc[VINTR] = 3;
    t.c_cc[VSTART] = 0x11;
    t.c_cc[VSTOP] = 0x13;
    t.c_ispeed = 9600;
    t.c_ospeed = 9600;
    return t;
}

// The DCB openDevice builds from the defaults.
Dcb defaultDcb() {
    Dcb dcb{};
    dcb.DCBlength = sizeof dcb;
    dcb.BaudRate = 9600;
    dcb.ByteSize = 8;
    dcb.fParity = 1;
    dcb.fOutxDsrFlow = 1;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fInX = 1;
    dcb.fOutX = 1;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    return dcb;
}

termios2 apply(const Dcb& dcb) {
    const std::optional<termios2> t = line::termiosForDcb(dcb, cookedLine());
    EXPECT_TRUE(t.has_value());
    return t.value_or(termios2{});
}

}  // namespace

TEST(ComNames, MapToTtySAndEverythingElseIsAPath) {
    // Names only: the mapping turns strings into strings, and nothing here opens a device.
    const std::pair<const char*, const char*> cases[] = {
        {"COM1", "/dev/ttyS0"},
        {"com3", "/dev/ttyS2"},
        {"Com12", "/dev/ttyS11"},
        {"cOm2:", "/dev/ttyS1"},
        {"\\\\.\\COM10", "/dev/ttyS9"},
        {"\\\\.\\com4:", "/dev/ttyS3"},
        {"COM0", "COM0"},
        {"COM01", "COM01"},
        {"COM", "COM"},
        {"COMx", "COMx"},
        {"COM1x", "COM1x"},
        {"COM99999", "COM99999"},
        {"com1.txt", "com1.txt"},
        {"xCOM1", "xCOM1"},
        {"\\\\?\\COM1", "\\\\?\\COM1"},
        {"/dev/ttyUSB0", "/dev/ttyUSB0"},
        {"/dev/serial/by-id/usb-Scanner_123-if00", "/dev/serial/by-id/usb-Scanner_123-if00"},
        {"", ""},
    };
    for (const auto& [name, path] : cases) {
        EXPECT_EQ(line::devicePath(name), path) << name;
    }
}

TEST(LineMapping, EveryListedRateGoesThroughBother) {
    for (const std::uint32_t rate : kListedRates) {
        Dcb dcb = defaultDcb();
        dcb.BaudRate = rate;
        const termios2 t = apply(dcb);
        EXPECT_EQ(t.c_cflag & CBAUD, static_cast<tcflag_t>(BOTHER)) << dcb.BaudRate;
        EXPECT_EQ(t.c_cflag & CIBAUD, 0u) << "input rate follows output";
        EXPECT_EQ(t.c_ospeed, dcb.BaudRate);
        EXPECT_EQ(t.c_ispeed, dcb.BaudRate);
        EXPECT_EQ(line::rateOf(t), dcb.BaudRate);
    }
}

TEST(LineMapping, DataBitsParityAndStopBits) {
    const std::pair<std::uint8_t, tcflag_t> sizes[] = {{5, CS5}, {6, CS6}, {7, CS7}, {8, CS8}};
    for (const auto& [bits, flag] : sizes) {
        Dcb dcb = defaultDcb();
        dcb.ByteSize = bits;
        EXPECT_EQ(apply(dcb).c_cflag & CSIZE, flag) << int(bits);
    }
    const std::pair<std::uint8_t, tcflag_t> parities[] = {{NOPARITY, 0},
                                                          {ODDPARITY, PARENB | PARODD},
                                                          {EVENPARITY, PARENB},
                                                          {MARKPARITY, PARENB | PARODD | CMSPAR},
                                                          {SPACEPARITY, PARENB | CMSPAR}};
    for (const auto& [parity, flags] : parities) {
        Dcb dcb = defaultDcb();
        dcb.Parity = parity;
        EXPECT_EQ(apply(dcb).c_cflag & (PARENB | PARODD | CMSPAR), flags) << int(parity);
    }
    const std::pair<std::uint8_t, tcflag_t> stops[] = {
        {ONESTOPBIT, 0}, {ONE5STOPBITS, CSTOPB}, {TWOSTOPBITS, CSTOPB}};
    for (const auto& [stop, flag] : stops) {
        Dcb dcb = defaultDcb();
        dcb.StopBits = stop;
        EXPECT_EQ(apply(dcb).c_cflag & CSTOPB, flag) << int(stop);
    }
}

TEST(LineMapping, FlagsAndRawModeKeepingUnrelatedSettings) {
    struct Case {
        const char* what;
        void (*edit)(Dcb&);
        tcflag_t iflags;  // of INPCK, IXON, IXOFF
        tcflag_t crtscts;
    };
    const Case cases[] = {
        {"defaults", [](Dcb&) {}, INPCK | IXON | IXOFF, 0},
        {"parity check off", [](Dcb& d) { d.fParity = 0; }, IXON | IXOFF, 0},
        {"cts", [](Dcb& d) { d.fOutxCtsFlow = 1; }, INPCK | IXON | IXOFF, CRTSCTS},
        {"xon/xoff in only", [](Dcb& d) { d.fOutX = 0; }, INPCK | IXOFF, 0},
        {"xon/xoff out only", [](Dcb& d) { d.fInX = 0; }, INPCK | IXON, 0},
        {"dsr flow (applied nowhere)", [](Dcb& d) { d.fOutxDsrFlow = 0; }, INPCK | IXON | IXOFF, 0},
    };
    for (const Case& c : cases) {
        Dcb dcb = defaultDcb();
        c.edit(dcb);
        const termios2 t = apply(dcb);
        EXPECT_EQ(t.c_iflag & (INPCK | IXON | IXOFF), c.iflags) << c.what;
        EXPECT_EQ(t.c_cflag & CRTSCTS, c.crtscts) << c.what;
        // Raw: no line editing, echo, signals, translation or stripping of the eighth bit.
        EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ECHOE | ECHOK | ISIG | IEXTEN), 0u) << c.what;
        EXPECT_EQ(t.c_iflag & (ICRNL | ISTRIP | IXANY | BRKINT | PARMRK | IUTF8), 0u) << c.what;
        EXPECT_EQ(t.c_oflag & OPOST, 0u) << c.what;
        EXPECT_EQ(t.c_cflag & (CREAD | CLOCAL), static_cast<tcflag_t>(CREAD | CLOCAL)) << c.what;
        EXPECT_EQ(t.c_cc[VMIN], 0) << c.what;
        EXPECT_EQ(t.c_cc[VTIME], 0) << c.what;
        // Untouched: hang-up on close, the interrupt character, output newline mapping.
        EXPECT_NE(t.c_cflag & HUPCL, 0u) << c.what;
        EXPECT_EQ(t.c_cc[VINTR], 3) << c.what;
        EXPECT_NE(t.c_oflag & ONLCR, 0u) << c.what;
    }
}

TEST(LineMapping, DtrFollowsTheLowTwoBits) {
    Dcb dcb = defaultDcb();
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    EXPECT_FALSE(line::dtrRaised(dcb));
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    EXPECT_TRUE(line::dtrRaised(dcb));
    dcb.fDtrControl = DTR_CONTROL_HANDSHAKE;  // no such thing on Linux: raised
    EXPECT_TRUE(line::dtrRaised(dcb));
}

TEST(LineMapping, RequestsNoLineCanMeetLeaveTheLineAlone) {
    const std::pair<const char*, void (*)(Dcb&)> cases[] = {
        {"rate 0 (would hang up)", [](Dcb& d) { d.BaudRate = 0; }},
        {"4 data bits", [](Dcb& d) { d.ByteSize = 4; }},
        {"9 data bits", [](Dcb& d) { d.ByteSize = 9; }},
        {"parity 5", [](Dcb& d) { d.Parity = 5; }},
        {"stop bits 3", [](Dcb& d) { d.StopBits = 3; }},
    };
    for (const auto& [what, edit] : cases) {
        Dcb dcb = defaultDcb();
        edit(dcb);
        EXPECT_FALSE(line::termiosForDcb(dcb, cookedLine()).has_value()) << what;
    }
}

TEST(LineMapping, TheLineReadsBackAsTheDcbThatSetIt) {
    for (std::uint8_t bits = 5; bits <= 8; ++bits) {
        for (std::uint8_t parity = 0; parity <= 4; ++parity) {
            for (std::uint8_t stop = 0; stop <= 2; ++stop) {
                Dcb dcb = defaultDcb();
                dcb.BaudRate = 128000;
                dcb.ByteSize = bits;
                dcb.Parity = parity;
                dcb.StopBits = stop;
                dcb.fParity = parity % 2;
                dcb.fOutxCtsFlow = stop % 2;
                dcb.fInX = bits % 2;
                dcb.fOutX = (bits + 1) % 2;
                const Dcb back = line::dcbFromTermios(apply(dcb), TIOCM_DTR | TIOCM_RTS, {});
                const auto where = testing::Message()
                                   << int(bits) << "/" << int(parity) << "/" << int(stop);
                EXPECT_EQ(back.DCBlength, sizeof(Dcb));
                EXPECT_EQ(back.BaudRate, 128000u) << where;
                EXPECT_EQ(back.ByteSize, bits) << where;
                EXPECT_EQ(back.Parity, parity) << where;
                // Termios has one stop-bit flag: with five data bits it means 1.5, else 2.
                const std::uint8_t expectedStop =
                    stop == ONESTOPBIT ? ONESTOPBIT : (bits == 5 ? ONE5STOPBITS : TWOSTOPBITS);
                EXPECT_EQ(back.StopBits, expectedStop) << where;
                EXPECT_EQ(back.fParity, dcb.fParity) << where;
                EXPECT_EQ(back.fOutxCtsFlow, dcb.fOutxCtsFlow) << where;
                EXPECT_EQ(back.fInX, dcb.fInX) << where;
                EXPECT_EQ(back.fOutX, dcb.fOutX) << where;
                EXPECT_EQ(back.fRtsControl, dcb.fOutxCtsFlow != 0 ? 2u : 1u) << where;
                EXPECT_EQ(back.fBinary, 1u);
                EXPECT_EQ(back.fNull, 0u) << "NUL bytes are never discarded";
                EXPECT_EQ(back.XonChar, 0x11);
                EXPECT_EQ(back.XoffChar, 0x13);
            }
        }
    }
}

TEST(LineMapping, DtrAndDsrReadBackFromTheModemLinesOrAsKept) {
    const termios2 t = apply(defaultDcb());
    const line::KeptFields handshake{1, DTR_CONTROL_HANDSHAKE};
    EXPECT_EQ(line::dcbFromTermios(t, TIOCM_DTR, {}).fDtrControl, DTR_CONTROL_ENABLE);
    EXPECT_EQ(line::dcbFromTermios(t, 0, {}).fDtrControl, DTR_CONTROL_DISABLE);
    EXPECT_EQ(line::dcbFromTermios(t, TIOCM_DTR, handshake).fDtrControl, DTR_CONTROL_HANDSHAKE);
    EXPECT_EQ(line::dcbFromTermios(t, 0, handshake).fDtrControl, DTR_CONTROL_DISABLE)
        << "the real line wins";
    // No modem lines (a pseudo-terminal): as last set.
    EXPECT_EQ(line::dcbFromTermios(t, std::nullopt, {0, DTR_CONTROL_DISABLE}).fDtrControl,
              DTR_CONTROL_DISABLE);
    EXPECT_EQ(line::dcbFromTermios(t, std::nullopt, {}).fDtrControl, DTR_CONTROL_ENABLE);
    EXPECT_EQ(line::dcbFromTermios(t, std::nullopt, handshake).fOutxDsrFlow, 1u);
    EXPECT_EQ(line::dcbFromTermios(t, std::nullopt, {}).fOutxDsrFlow, 0u);
    EXPECT_EQ(line::dcbFromTermios(t, 0, {}).fRtsControl, 0u) << "RTS down";
}

TEST(LineMapping, ClassicRateCodesReadBack) {
    termios2 t = cookedLine();
    const std::pair<tcflag_t, std::uint32_t> codes[] = {
        {B110, 110}, {B9600, 9600}, {B57600, 57600}, {B115200, 115200}, {B0, 0}};
    for (const auto& [code, rate] : codes) {
        t.c_cflag = (t.c_cflag & ~CBAUD) | code;
        t.c_ospeed = 12345;  // ignored unless BOTHER
        EXPECT_EQ(line::rateOf(t), rate);
    }
}

TEST(LineMapping, ReadBackDetectsWhatTheDriverDropped) {
    Dcb dcb = defaultDcb();
    dcb.ByteSize = 7;
    dcb.Parity = EVENPARITY;
    const termios2 wanted = apply(dcb);
    EXPECT_TRUE(line::lineMatches(wanted, wanted));
    // A pseudo-terminal forces 8 data bits without parity.
    termios2 pty = wanted;
    pty.c_cflag = (pty.c_cflag & ~(CSIZE | PARENB)) | CS8;
    EXPECT_FALSE(line::lineMatches(wanted, pty));
    termios2 rounded = wanted;
    rounded.c_ospeed = wanted.c_ospeed + wanted.c_ospeed / 100;  // 1 %: the UART's nearest
    EXPECT_TRUE(line::lineMatches(wanted, rounded));
    rounded.c_ospeed = wanted.c_ospeed + wanted.c_ospeed / 20;  // 5 %: another rate
    EXPECT_FALSE(line::lineMatches(wanted, rounded));
    termios2 cooked = wanted;
    cooked.c_lflag |= ICANON;
    EXPECT_FALSE(line::lineMatches(wanted, cooked));
}

TEST(LineMapping, OpenErrorsSayWhatToDo) {
    EXPECT_EQ(line::openErrorText(ENOENT), "no such device");
    EXPECT_EQ(line::openErrorText(ENXIO), "no such device");
    EXPECT_NE(line::openErrorText(EACCES).find("dialout"), std::string::npos);
    EXPECT_NE(line::openErrorText(EBUSY).find("busy"), std::string::npos);
    EXPECT_FALSE(line::openErrorText(EISDIR).empty());
}
