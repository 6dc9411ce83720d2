#include <gtest/gtest.h>

#include <cstring>

#include "settings/scanner_settings.h"
#include "support/settings_store.h"

namespace {

class SettingsSchema : public ::testing::Test {
protected:
    void SetUp() override { theConfig.setStore(std::make_shared<util::MemorySettingsStore>()); }
};

}  // namespace

TEST_F(SettingsSchema, DefaultsWhenNothingIsStored) {
    using namespace ScannerSettings;
    EXPECT_STREQ(readSetting(DeviceName), "COM1");
    const std::pair<IntegerSetting, int> expected[] = {
        {SerialDevice, 1}, {bParity, 1},  {bDSR, 1},    {bDTR, 1},           {bCTS, 0},
        {bXIN, 1},         {bXOUT, 1},    {bCRLF, 1},   {bSkipFirstChar, 1}, {BaudRate, 9600},
        {Parity, 0},       {StopBits, 0}, {DataBits, 8}};
    for (const auto& [setting, value] : expected) {
        EXPECT_EQ(readSetting(setting), value) << setting.name;
    }
}

TEST_F(SettingsSchema, WritesGoToTheNamedValueOfTheEmptySection) {
    writeSetting(ScannerSettings::DeviceName, "/dev/ttyACM0");
    writeSetting(ScannerSettings::bCTS, 1);
    EXPECT_STREQ(theConfig.getRegistryString("", "DeviceName", "x", vantel::currentUser),
                 "/dev/ttyACM0");
    EXPECT_EQ(theConfig.getRegistryInteger("", "bCTS", 0, vantel::currentUser), 1);
}

TEST(ChoiceTables, RowsAndTerminators) {
    int rates = 0;
    while (kBaudRates[rates] != 0) {
        ++rates;
    }
    EXPECT_EQ(rates, 15);
    EXPECT_EQ(kBaudRates[0], 110);
    EXPECT_EQ(kBaudRates[kBaudRateFallback], 9600);
    EXPECT_EQ(kBaudRates[14], 256000);
    EXPECT_STREQ(kParityChoices[4].label, "Space");
    EXPECT_EQ(kParityChoices[5].label, nullptr);
    EXPECT_STREQ(kStopBitChoices[1].label, "1.5");
    EXPECT_EQ(kStopBitChoices[2].value, 2);
    EXPECT_EQ(kDataBitChoices[kDataBitsFallback].value, 8);
    EXPECT_EQ(kDataBitChoices[2].label, nullptr);
}

TEST(ChoiceTables, PositionOfStoredValueWithFallback) {
    EXPECT_EQ(positionOfValue(kBaudRates, 9600, kBaudRateFallback), 6);
    EXPECT_EQ(positionOfValue(kBaudRates, 110, kBaudRateFallback), 0);
    EXPECT_EQ(positionOfValue(kBaudRates, 256000, kBaudRateFallback), 14);
    EXPECT_EQ(positionOfValue(kBaudRates, 0, kBaudRateFallback), 6);  // 0 ends the table
    EXPECT_EQ(positionOfValue(kBaudRates, 4000, kBaudRateFallback), 6);
    EXPECT_EQ(positionOfValue(kParityChoices, 4, kParityFallback), 4);
    EXPECT_EQ(positionOfValue(kParityChoices, 9, kParityFallback), 0);
    EXPECT_EQ(positionOfValue(kParityChoices, 7, kParityFallback), 0);
    EXPECT_EQ(positionOfValue(kStopBitChoices, 3, kStopBitsFallback), 0);
    EXPECT_EQ(positionOfValue(kStopBitChoices, 2, kStopBitsFallback), 2);
    EXPECT_EQ(positionOfValue(kDataBitChoices, 7, kDataBitsFallback), 0);
    EXPECT_EQ(positionOfValue(kDataBitChoices, 5, kDataBitsFallback), 1);
    // The terminator row's value (0) is never matched.
    EXPECT_EQ(positionOfValue(kDataBitChoices, 0, kDataBitsFallback), 1);
}

TEST(ChoiceTables, StoredValueOfEveryPositionRoundTrips) {
    for (int i = 0; kBaudRates[i] != 0; ++i) {
        EXPECT_EQ(positionOfValue(kBaudRates, valueAtPosition(kBaudRates, i), -1), i);
    }
    for (const ChoiceEntry* table : {kParityChoices, kStopBitChoices, kDataBitChoices}) {
        for (int i = 0; table[i].label != nullptr; ++i) {
            EXPECT_EQ(positionOfValue(table, valueAtPosition(table, i), -1), i);
        }
    }
}
