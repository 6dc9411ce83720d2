// The Win32 layers that need no device: DCB conversion, the SendInput records, the registry store.
#include "platform/serial_api.h"
#include "platform/win32/registry_settings.h"
#include "platform/win32/win32_dcb.h"
#include "platform/win32/win32_key_sink.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "settings/scanner_settings.h"
#include "support/vl_app_config.h"

namespace {

using platform::Dcb;

// One row per DCB field: a value put into our Dcb and where it must show in the Win32 DCB.
struct FieldCase {
    const char* name;
    std::function<void(Dcb&)> set;
    std::function<unsigned long(const DCB&)> get;
    unsigned long expected;
};

std::vector<FieldCase> fieldCases() {
    return {
        {"BaudRate", [](Dcb& d) { d.BaudRate = 115200; }, [](const DCB& d) { return d.BaudRate; },
         115200},
        {"fBinary", [](Dcb& d) { d.fBinary = 1; }, [](const DCB& d) { return d.fBinary; }, 1},
        {"fParity", [](Dcb& d) { d.fParity = 1; }, [](const DCB& d) { return d.fParity; }, 1},
        {"fOutxCtsFlow", [](Dcb& d) { d.fOutxCtsFlow = 1; },
         [](const DCB& d) { return d.fOutxCtsFlow; }, 1},
        {"fOutxDsrFlow", [](Dcb& d) { d.fOutxDsrFlow = 1; },
         [](const DCB& d) { return d.fOutxDsrFlow; }, 1},
        {"fDtrControl", [](Dcb& d) { d.fDtrControl = 2; },
         [](const DCB& d) { return d.fDtrControl; }, DTR_CONTROL_HANDSHAKE},
        {"fDsrSensitivity", [](Dcb& d) { d.fDsrSensitivity = 1; },
         [](const DCB& d) { return d.fDsrSensitivity; }, 1},
        {"fTXContinueOnXoff", [](Dcb& d) { d.fTXContinueOnXoff = 1; },
         [](const DCB& d) { return d.fTXContinueOnXoff; }, 1},
        {"fOutX", [](Dcb& d) { d.fOutX = 1; }, [](const DCB& d) { return d.fOutX; }, 1},
        {"fInX", [](Dcb& d) { d.fInX = 1; }, [](const DCB& d) { return d.fInX; }, 1},
        {"fErrorChar", [](Dcb& d) { d.fErrorChar = 1; }, [](const DCB& d) { return d.fErrorChar; },
         1},
        {"fNull", [](Dcb& d) { d.fNull = 1; }, [](const DCB& d) { return d.fNull; }, 1},
        {"fRtsControl", [](Dcb& d) { d.fRtsControl = 3; },
         [](const DCB& d) { return d.fRtsControl; }, RTS_CONTROL_TOGGLE},
        {"fAbortOnError", [](Dcb& d) { d.fAbortOnError = 1; },
         [](const DCB& d) { return d.fAbortOnError; }, 1},
        {"XonLim", [](Dcb& d) { d.XonLim = 2048; }, [](const DCB& d) { return d.XonLim; }, 2048},
        {"XoffLim", [](Dcb& d) { d.XoffLim = 512; }, [](const DCB& d) { return d.XoffLim; }, 512},
        {"ByteSize", [](Dcb& d) { d.ByteSize = 7; }, [](const DCB& d) { return d.ByteSize; }, 7},
        {"Parity", [](Dcb& d) { d.Parity = 4; }, [](const DCB& d) { return d.Parity; },
         SPACEPARITY},
        {"StopBits", [](Dcb& d) { d.StopBits = 2; }, [](const DCB& d) { return d.StopBits; },
         TWOSTOPBITS},
        {"XonChar", [](Dcb& d) { d.XonChar = 0x11; }, [](const DCB& d) { return d.XonChar; }, 0x11},
        {"XoffChar", [](Dcb& d) { d.XoffChar = 0x13; }, [](const DCB& d) { return d.XoffChar; },
         0x13},
        {"ErrorChar", [](Dcb& d) { d.ErrorChar = '?'; }, [](const DCB& d) { return d.ErrorChar; },
         '?'},
        {"EofChar", [](Dcb& d) { d.EofChar = 0x1A; }, [](const DCB& d) { return d.EofChar; }, 0x1A},
        {"EvtChar", [](Dcb& d) { d.EvtChar = '\n'; }, [](const DCB& d) { return d.EvtChar; }, '\n'},
    };
}

// The flags word of a Win32 DCB, read as the platform lays it out (right after BaudRate).
std::uint32_t flagsWord(const DCB& dcb) {
    std::uint32_t word;
    std::memcpy(&word, reinterpret_cast<const char*>(&dcb) + 2 * sizeof(DWORD), sizeof word);
    return word;
}

TEST(Win32Dcb, EachFieldReachesItsWin32FieldAloneAndComesBack) {
    for (const FieldCase& field : fieldCases()) {
        SCOPED_TRACE(field.name);
        Dcb ours{};
        field.set(ours);
        const DCB theirs = platform::win32::toWin32Dcb(ours);
        EXPECT_EQ(theirs.DCBlength, sizeof(DCB));
        EXPECT_EQ(field.get(theirs), field.expected);
        // Nothing else was set: every other row reads zero.
        for (const FieldCase& other : fieldCases()) {
            if (std::strcmp(other.name, field.name) != 0) {
                EXPECT_EQ(other.get(theirs), 0UL) << other.name;
            }
        }
        const Dcb back = platform::win32::fromWin32Dcb(theirs);
        EXPECT_EQ(
            std::memcmp(&back.BaudRate, &ours.BaudRate, sizeof(Dcb) - offsetof(Dcb, BaudRate)), 0);
    }
}

TEST(Win32Dcb, FlagBitsSitWhereTheReaderPutsThem) {
    // The reader documents the flags by bit number: fParity 1, fOutxCtsFlow 2, fOutxDsrFlow 3,
    // fDtrControl 4-5, fOutX 8, fInX 9.
    struct Bits {
        std::function<void(Dcb&)> set;
        std::uint32_t word;
    };
    const Bits cases[] = {
        {[](Dcb& d) { d.fParity = 1; }, 1u << 1},
        {[](Dcb& d) { d.fOutxCtsFlow = 1; }, 1u << 2},
        {[](Dcb& d) { d.fOutxDsrFlow = 1; }, 1u << 3},
        {[](Dcb& d) { d.fDtrControl = 2; }, 2u << 4},
        {[](Dcb& d) { d.fOutX = 1; }, 1u << 8},
        {[](Dcb& d) { d.fInX = 1; }, 1u << 9},
    };
    for (const Bits& c : cases) {
        Dcb ours{};
        c.set(ours);
        EXPECT_EQ(flagsWord(platform::win32::toWin32Dcb(ours)), c.word);
    }
}

TEST(Win32Dcb, TimeoutsCopyEveryField) {
    const COMMTIMEOUTS t = platform::win32::toWin32Timeouts({100, 7, 1000, 3, 9});
    EXPECT_EQ(t.ReadIntervalTimeout, 100u);
    EXPECT_EQ(t.ReadTotalTimeoutMultiplier, 7u);
    EXPECT_EQ(t.ReadTotalTimeoutConstant, 1000u);
    EXPECT_EQ(t.WriteTotalTimeoutMultiplier, 3u);
    EXPECT_EQ(t.WriteTotalTimeoutConstant, 9u);
}

TEST(SendInputRecords, KeyDownThenKeyUpCarryingTheCodeUnit) {
    for (std::uint16_t code : {0x41, 0xE9, 13, 10, 0, 0xFF, 0xFFFF}) {
        SCOPED_TRACE(code);
        INPUT records[2];
        std::memset(records, 0xCC, sizeof records);  // every field must be written
        platform::win32::fillUnicodeKeyInputs(code, records);
        for (const INPUT& r : records) {
            EXPECT_EQ(r.type, static_cast<DWORD>(INPUT_KEYBOARD));
            EXPECT_EQ(r.ki.wVk, 0);
            EXPECT_EQ(r.ki.wScan, code);
            EXPECT_EQ(r.ki.time, 0u);
            EXPECT_EQ(r.ki.dwExtraInfo, 0u);
        }
        EXPECT_EQ(records[0].ki.dwFlags, static_cast<DWORD>(KEYEVENTF_UNICODE));
        EXPECT_EQ(records[1].ki.dwFlags, static_cast<DWORD>(KEYEVENTF_UNICODE | KEYEVENTF_KEYUP));
    }
}

TEST(Win32Serial, AFailedOpenSaysWhy) {
    auto serial = platform::makeSerialApi();
    EXPECT_EQ(serial->createFile("\\\\.\\PelmoraNoSuchDevice"), platform::kInvalidHandle);
    const std::string why = serial->lastOpenError();
    EXPECT_EQ(why.rfind("error ", 0), 0u) << why;
    EXPECT_GT(why.size(), std::strlen("error 2"));
}

// Registry tests use a product of their own so they never meet the program's settings.
class RegistryStore : public testing::Test {
protected:
    void SetUp() override { RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Vantel\\PelmoraTest"); }
    void TearDown() override { RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Vantel\\PelmoraTest"); }

    static DWORD storedType(const char* name) {
        DWORD type = 0;
        if (RegGetValueA(HKEY_CURRENT_USER, "Software\\Vantel\\PelmoraTest", name,
                         RRF_RT_ANY | RRF_NOEXPAND, &type, nullptr, nullptr) != ERROR_SUCCESS) {
            return REG_NONE;
        }
        return type;
    }

    platform::win32::RegistrySettingsStore m_store{"Vantel", "PelmoraTest"};
};

TEST_F(RegistryStore, ValuesRoundTripWithTheirRegistryTypes) {
    EXPECT_EQ(m_store.keyPath(""), "Software\\Vantel\\PelmoraTest");
    const char accented[] = {'c', 'a', 'f', static_cast<char>(0xE9), '\0'};
    m_store.writeString("", "DeviceName", accented);
    m_store.writeString("", "Empty", "");
    m_store.writeInteger("", "BaudRate", 115200);
    m_store.writeInteger("", "Negative", -23);

    ASSERT_TRUE(m_store.readString("", "DeviceName").has_value());
    EXPECT_STREQ(m_store.readString("", "DeviceName")->t_str(), accented);
    ASSERT_TRUE(m_store.readString("", "Empty").has_value());
    EXPECT_EQ(m_store.readString("", "Empty")->length(), 0u);
    EXPECT_EQ(m_store.readInteger("", "BaudRate"), 115200);
    EXPECT_EQ(m_store.readInteger("", "Negative"), -23);

    EXPECT_EQ(storedType("DeviceName"), static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(storedType("BaudRate"), static_cast<DWORD>(REG_DWORD));

    m_store.writeInteger("", "BaudRate", 9600);  // overwrite in place
    EXPECT_EQ(m_store.readInteger("", "BaudRate"), 9600);
}

TEST_F(RegistryStore, MissingOrMistypedValuesAreAbsent) {
    EXPECT_FALSE(m_store.readString("", "DeviceName").has_value());  // no key at all
    EXPECT_FALSE(m_store.readInteger("", "BaudRate").has_value());
    m_store.writeString("", "BaudRate", "9600");
    m_store.writeInteger("", "DeviceName", 1);
    EXPECT_FALSE(m_store.readInteger("", "BaudRate").has_value());
    EXPECT_FALSE(m_store.readString("", "DeviceName").has_value());
    EXPECT_FALSE(m_store.readString("", "Other").has_value());  // key there, value not
}

TEST_F(RegistryStore, SectionsAreSubkeys) {
    m_store.writeInteger("Window", "Left", 10);
    EXPECT_EQ(m_store.readInteger("Window", "Left"), 10);
    EXPECT_FALSE(m_store.readInteger("", "Left").has_value());
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Vantel\\PelmoraTest\\Window", 0, KEY_READ,
                            &key),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

TEST_F(RegistryStore, AConfigOverTheStoreGivesDefaultsForWhatWasNeverWritten) {
    util::VLAppConfig config("PelmoraTest", "Vantel", "https://example.invalid");
    config.setStore(util::makeUserSettingsStore("Vantel", "PelmoraTest"));
    EXPECT_STREQ(config.getRegistryString("", "DeviceName", "COM1", vantel::currentUser).t_str(),
                 "COM1");
    EXPECT_EQ(config.getRegistryInteger("", "BaudRate", 9600, vantel::currentUser), 9600);
    config.setRegistryString("", "DeviceName", "COM3", vantel::currentUser);
    config.setRegistryInteger("", "BaudRate", 19200, vantel::currentUser);
    EXPECT_STREQ(config.getRegistryString("", "DeviceName", "COM1", vantel::currentUser).t_str(),
                 "COM3");
    EXPECT_EQ(config.getRegistryInteger("", "BaudRate", 9600, vantel::currentUser), 19200);
    EXPECT_EQ(storedType("DeviceName"), static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(storedType("BaudRate"), static_cast<DWORD>(REG_DWORD));
}

}  // namespace
