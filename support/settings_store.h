// Where VLAppConfig keeps its values. One implementation per platform (a per-user file on POSIX,
// the registry on Windows) plus an in-memory one; each call is safe on any thread by itself.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <variant>

#include "support/vl_string.h"

namespace util {

class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    // Empty when the value is not stored (or cannot be read as that type).
    virtual std::optional<vantel::VLString> readString(const vantel::VLString& section,
                                                       const vantel::VLString& name) = 0;
    virtual std::optional<std::int32_t> readInteger(const vantel::VLString& section,
                                                    const vantel::VLString& name) = 0;
    // Failures are not reported: the callers have nothing to do about them.
    virtual void writeString(const vantel::VLString& section, const vantel::VLString& name,
                             const vantel::VLString& value) = 0;
    virtual void writeInteger(const vantel::VLString& section, const vantel::VLString& name,
                              std::int32_t value) = 0;

    // Why settings that are stored cannot be read, naming where they are ("" when they can be,
    // or when none are stored). Until then every value reads as its default, which must not be
    // taken for the user's choice.
    virtual std::string readProblem() { return {}; }
    // Why the last write of this process was not stored, naming where ("" when it was).
    virtual std::string writeProblem() { return {}; }
};

class MemorySettingsStore : public SettingsStore {
public:
    std::optional<vantel::VLString> readString(const vantel::VLString& section,
                                               const vantel::VLString& name) override;
    std::optional<std::int32_t> readInteger(const vantel::VLString& section,
                                            const vantel::VLString& name) override;
    void writeString(const vantel::VLString& section, const vantel::VLString& name,
                     const vantel::VLString& value) override;
    void writeInteger(const vantel::VLString& section, const vantel::VLString& name,
                      std::int32_t value) override;

    // Number of writes so far (tests check that a path wrote nothing).
    int writeCount() const;

private:
    using Key = std::pair<std::string, std::string>;
    mutable std::mutex m_mutex;
    std::map<Key, std::variant<std::string, std::int32_t>> m_values;
    int m_writes = 0;
};

// The platform's per-user store for this product; the build picks the implementation.
std::unique_ptr<SettingsStore> makeUserSettingsStore(const vantel::VLString& company,
                                                     const vantel::VLString& product);

}  // namespace util
