#include "platform/posix/line_mapping.h"

#include <gtest/gtest.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <iterator>
#include <string>

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
    const line::LineRequest request = line::termiosForDcb(dcb, cookedLine());
    EXPECT_EQ(request.refused, "");
    return request.termios;
}

// Raw whatever else the line holds: no line editing, echo, signals, CR/LF translation or
// stripping of the eighth bit; breaks dropped, error bytes marked.
void expectRaw(const termios2& t, const std::string& what) {
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ECHOE | ECHOK | ISIG | IEXTEN), 0u) << what;
    EXPECT_EQ(t.c_iflag & (ICRNL | ISTRIP | IXANY | BRKINT | IGNPAR | IUTF8), 0u) << what;
    EXPECT_EQ(t.c_iflag & (IGNBRK | PARMRK), static_cast<tcflag_t>(IGNBRK | PARMRK)) << what;
    EXPECT_EQ(t.c_oflag & OPOST, 0u) << what;
    EXPECT_EQ(t.c_cflag & (CREAD | CLOCAL), static_cast<tcflag_t>(CREAD | CLOCAL)) << what;
    EXPECT_EQ(t.c_cc[VMIN], 0) << what;
    EXPECT_EQ(t.c_cc[VTIME], 0) << what;
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

TEST(LineMapping, ClassicRateCodesWhereTheyExistBotherForTheRest) {
    // Tools such as stty read only the classic codes: BOTHER shows there as "speed 0 baud".
    const std::pair<std::uint32_t, tcflag_t> codes[] = {
        {110, B110},     {300, B300},     {600, B600},       {1200, B1200},    {2400, B2400},
        {4800, B4800},   {9600, B9600},   {14400, BOTHER},   {19200, B19200},  {38400, B38400},
        {56000, BOTHER}, {57600, B57600}, {115200, B115200}, {128000, BOTHER}, {256000, BOTHER}};
    static_assert(std::size(codes) == std::size(kListedRates));
    for (const auto& [rate, code] : codes) {
        Dcb dcb = defaultDcb();
        dcb.BaudRate = rate;
        const termios2 t = apply(dcb);
        EXPECT_EQ(t.c_cflag & CBAUD, code) << dcb.BaudRate;
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
        expectRaw(t, c.what);
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

TEST(LineMapping, AFieldNoLineOffersKeepsItsValueAndTheRestStillApplies) {
    struct Case {
        const char* what;
        void (*edit)(Dcb&);
        tcflag_t keptCflags;  // left as the cooked line had them
    };
    const Case cases[] = {
        {"rate 0 (would hang up)", [](Dcb& d) { d.BaudRate = 0; }, CBAUD},
        {"4 data bits", [](Dcb& d) { d.ByteSize = 4; }, CSIZE},
        {"9 data bits", [](Dcb& d) { d.ByteSize = 9; }, CSIZE},
        {"parity 7", [](Dcb& d) { d.Parity = 7; }, PARENB | PARODD | CMSPAR},
        {"stop bits 3", [](Dcb& d) { d.StopBits = 3; }, CSTOPB},
    };
    for (const Case& c : cases) {
        // Everything else differs from the cooked line, so each applied field shows.
        Dcb dcb = defaultDcb();
        dcb.BaudRate = 19200;
        dcb.ByteSize = 7;
        dcb.Parity = ODDPARITY;
        dcb.StopBits = TWOSTOPBITS;
        dcb.fOutxCtsFlow = 1;
        c.edit(dcb);
        const line::LineRequest request = line::termiosForDcb(dcb, cookedLine());
        EXPECT_NE(request.refused, "") << c.what;
        const termios2& t = request.termios;
        expectRaw(t, c.what);
        constexpr tcflag_t kFields = CBAUD | CSIZE | PARENB | PARODD | CMSPAR | CSTOPB;
        const tcflag_t applied = B19200 | CS7 | PARENB | PARODD | CSTOPB;
        EXPECT_EQ(t.c_cflag & c.keptCflags, cookedLine().c_cflag & c.keptCflags) << c.what;
        EXPECT_EQ(t.c_cflag & kFields & ~c.keptCflags, applied & ~c.keptCflags) << c.what;
        EXPECT_NE(t.c_cflag & CRTSCTS, 0u) << c.what;
        EXPECT_NE(t.c_iflag & (INPCK | IXON | IXOFF), 0u) << c.what;
    }
}

TEST(LineMapping, ErrorMarksAreStrippedAndTheBytesDeliveredAsReceived) {
    const std::pair<std::string, std::string> cases[] = {
        {"AB", "AB"},
        {"\xFF\xFF", "\xFF"},                                // a received 0xFF
        {std::string("A\xFF\0B", 4), "AB"},                  // B with a parity or framing error
        {std::string("\xFF\0\xFF", 3), "\xFF"},              // 0xFF with an error
        {std::string("\xFF\0\0", 3), std::string(1, '\0')},  // NUL with an error
        {std::string("\0\xFF\xFF\xFF\0C", 6), std::string("\0\xFF\x43", 3)},
    };
    for (const auto& [marked, data] : cases) {
        std::string whole = marked;
        line::ErrorMarks marks;
        whole.resize(marks.strip(reinterpret_cast<unsigned char*>(whole.data()), whole.size()));
        EXPECT_EQ(whole, data);
        // The same bytes split at every point, as two reads may deliver them.
        for (std::size_t cut = 1; cut < marked.size(); ++cut) {
            std::string a = marked.substr(0, cut);
            std::string b = marked.substr(cut);
            line::ErrorMarks split;
            a.resize(split.strip(reinterpret_cast<unsigned char*>(a.data()), a.size()));
            b.resize(split.strip(reinterpret_cast<unsigned char*>(b.data()), b.size()));
            EXPECT_EQ(a + b, data) << "cut at " << cut;
        }
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
    dcb.BaudRate = 14400;  // BOTHER: the kernel may round it
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
