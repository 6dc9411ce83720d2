// Placeholder until the settings file lands: settings live in memory for the process.
#include "support/settings_store.h"

namespace util {
std::unique_ptr<SettingsStore> makeUserSettingsStore(const vantel::VLString&,
                                                     const vantel::VLString&) {
    return std::make_unique<MemorySettingsStore>();
}
}  // namespace util
