// Settings in the registry of the user running the program:
// HKEY_CURRENT_USER\Software\<company>\<product>[\<section>], strings as REG_SZ, integers as
// REG_DWORD. Narrow text passes through the ANSI registry calls unchanged.
#pragma once

#include <mutex>
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
    std::string readProblem() override;
    std::string writeProblem() override;

    // The key below HKEY_CURRENT_USER that holds a section's values.
    std::string keyPath(const vantel::VLString& section) const;

private:
    void noteWrite(const vantel::VLString& section, long result);

    std::string m_root;
    std::mutex m_mutex;
    std::string m_writeProblem;  // under m_mutex
};

}  // namespace platform::win32
