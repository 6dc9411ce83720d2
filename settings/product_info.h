// Who we are: the names the settings store is filed under and the version every program reports.
#pragma once

#include <cstdint>

inline constexpr const char* kProductName = "Pelmora";
inline constexpr const char* kCompanyName = "Vantel";
inline constexpr const char* kCompanyWebAddress = "https://www.vantel.example/pelmora";

inline constexpr std::uint32_t kProductId = 0x50454C4Du;  // "PELM"
inline constexpr std::uint32_t kVersionMajor = 1;
inline constexpr std::uint32_t kVersionMinor = 0;
inline constexpr std::uint32_t kVersionRelease = 3;
inline constexpr std::uint32_t kVersionBuild = 5;
