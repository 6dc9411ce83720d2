// Settings in the registry of the user running the program:
// HKEY_CURRENT_USER\Software\<company>\<product>[\<section>], strings as REG_SZ, integers as
// REG_DWORD. Narrow text passes through the ANSI registry calls unchanged.
#pragma once

#include <string>

#include "support/settings_store.h"

namespace platform::win32 {

class RegistrySettingsStore : public util::SettingsStore {
public:
    RegistrySettingsStore(const vantel::VLString& company, const vantel::VLString& product);

    std::optional<vantel::VLString> readString(const vantel::VLString& section,
                                               const vantel::VLString& name) override;
    std::optional<std::int32_t> readInteger(const vantel::VLString& section,
                                            const vantel::VLString& name) override;
    void writeString(const vantel::VLString& section, const vantel::VLString& name,
                     const vantel::VLString& value) override;
    void writeInteger(const vantel::VLString& section, const vantel::VLString& name,
                      std::int32_t value) override;

    // The key below HKEY_CURRENT_USER that holds a section's values.
    std::string keyPath(const vantel::VLString& section) const;

private:
    std::string m_root;
};

}  // namespace platform::win32
