#include "settings/scanner_settings.h"

namespace {
const vantel::VLString kSection("");
}  // namespace

vantel::VLString readSetting(const StringSetting& setting) {
    return theConfig.getRegistryString(kSection, setting.name, setting.defaultValue,
                                       vantel::currentUser);
}

std::int32_t readSetting(const IntegerSetting& setting) {
    return theConfig.getRegistryInteger(kSection, setting.name, setting.defaultValue,
                                        vantel::currentUser);
}

void writeSetting(const StringSetting& setting, const vantel::VLString& value) {
    theConfig.setRegistryString(kSection, setting.name, value, vantel::currentUser);
}

void writeSetting(const IntegerSetting& setting, std::int32_t value) {
    theConfig.setRegistryInteger(kSection, setting.name, value, vantel::currentUser);
}

const std::int32_t kBaudRates[16] = {110,   300,   600,   1200,  2400,   4800,   9600,   14400,
                                     19200, 38400, 56000, 57600, 115200, 128000, 256000, 0};

const ChoiceEntry kParityChoices[6] = {{"None", 0}, {"Odd", 1},   {"Even", 2},
                                       {"Mark", 3}, {"Space", 4}, {nullptr, 0}};

const ChoiceEntry kStopBitChoices[4] = {{"1", 0}, {"1.5", 1}, {"2", 2}, {nullptr, 0}};

const ChoiceEntry kDataBitChoices[3] = {{"7", 7}, {"8", 8}, {nullptr, 0}};

int positionOfValue(const std::int32_t* rates, std::int32_t value, int fallback) {
    for (int i = 0; rates[i] != 0; ++i) {
        if (rates[i] == value) {
            return i;
        }
    }
    return fallback;
}

int positionOfValue(const ChoiceEntry* choices, std::int32_t value, int fallback) {
    for (int i = 0; choices[i].label != nullptr; ++i) {
        if (choices[i].value == value) {
            return i;
        }
    }
    return fallback;
}

std::int32_t valueAtPosition(const std::int32_t* rates, int position) {
    return rates[position];
}

std::int32_t valueAtPosition(const ChoiceEntry* choices, int position) {
    return choices[position].value;
}
