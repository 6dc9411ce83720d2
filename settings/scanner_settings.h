// The program's settings: fourteen named values with their defaults, and the choice tables that
// map the Options lists' positions to stored values.
#pragma once

#include <cstdint>

#include "support/vl_app_config.h"
#include "support/vl_string.h"

// The one settings store of the program; each program defines it once.
extern util::VLAppConfig theConfig;

struct StringSetting {
    const char* name;
    const char* defaultValue;
};

struct IntegerSetting {
    const char* name;
    std::int32_t defaultValue;
};

// Names and defaults, in the order the Options dialog reads and writes them.
namespace ScannerSettings {
inline constexpr StringSetting DeviceName{"DeviceName", "COM1"};
inline constexpr IntegerSetting SerialDevice{"SerialDevice", 1};
inline constexpr IntegerSetting bParity{"bParity", 1};
inline constexpr IntegerSetting bDSR{"bDSR", 1};
inline constexpr IntegerSetting bDTR{"bDTR", 1};
inline constexpr IntegerSetting bCTS{"bCTS", 0};
inline constexpr IntegerSetting bXIN{"bXIN", 1};
inline constexpr IntegerSetting bXOUT{"bXOUT", 1};
inline constexpr IntegerSetting bCRLF{"bCRLF", 1};
inline constexpr IntegerSetting bSkipFirstChar{"bSkipFirstChar", 1};
inline constexpr IntegerSetting BaudRate{"BaudRate", 9600};
inline constexpr IntegerSetting Parity{"Parity", 0};
inline constexpr IntegerSetting StopBits{"StopBits", 0};
inline constexpr IntegerSetting DataBits{"DataBits", 8};
}  // namespace ScannerSettings

// Every setting lives in the application's own (empty) section of the current user's store.
vantel::VLString readSetting(const StringSetting& setting);
std::int32_t readSetting(const IntegerSetting& setting);
void writeSetting(const StringSetting& setting, const vantel::VLString& value);
void writeSetting(const IntegerSetting& setting, std::int32_t value);

struct ChoiceEntry {
    const char* label;  // null in the terminating row
    std::int32_t value;
};

// Ends with a 0 entry.
extern const std::int32_t kBaudRates[16];
// Each ends with a row whose label is null.
extern const ChoiceEntry kParityChoices[6];
extern const ChoiceEntry kStopBitChoices[4];
extern const ChoiceEntry kDataBitChoices[3];

// Positions of the defaults, used when a stored value is not in its table.
inline constexpr int kBaudRateFallback = 6;
inline constexpr int kParityFallback = 0;
inline constexpr int kStopBitsFallback = 0;
inline constexpr int kDataBitsFallback = 1;

// Position of the first row holding `value`, or `fallback` when no row before the terminator does.
int positionOfValue(const std::int32_t* rates, std::int32_t value, int fallback);
int positionOfValue(const ChoiceEntry* choices, std::int32_t value, int fallback);
// Stored value of a position inside the table.
std::int32_t valueAtPosition(const std::int32_t* rates, int position);
std::int32_t valueAtPosition(const ChoiceEntry* choices, int position);
