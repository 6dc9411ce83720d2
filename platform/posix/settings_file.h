// The per-user settings file: $XDG_CONFIG_HOME/<company>/<product>.conf (~/.config/... when that
// is unset), or the file named by PELMORA_CONFIG. Text form in settings_text.h.
//
// Every read reads the file afresh; every write rewrites it atomically (temporary file in the
// same folder, fsync, rename), so a reader in any thread or process sees the old file or the new
// one, never a part. A missing, unreadable or garbage file reads as "nothing stored"; a file that
// exists but cannot be read is never overwritten (readProblem says why), since that would lose its
// other lines. Only the application's own (empty) section exists here: values of any other section
// are never stored.
#pragma once

#include <mutex>
#include <optional>
#include <string>

#include "support/settings_store.h"

namespace util {

class FileSettingsStore : public SettingsStore {
public:
    explicit FileSettingsStore(std::string path);

    const std::string& path() const { return m_path; }

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

private:
    std::optional<std::string> readText() const;
    template <typename Change>
    void update(const vantel::VLString& section, const Change& change);

    std::string m_path;
    std::mutex m_writeMutex;     // one read-modify-write at a time within the process
    std::string m_writeProblem;  // under m_writeMutex
};

// The file for company and product given the environment's values (each may be null): the
// override when non-empty, else under an absolute XDG_CONFIG_HOME, else under HOME/.config.
// Empty when there is no home folder to put it in.
std::string settingsFilePath(const char* overridePath, const char* xdgConfigHome, const char* home,
                             const std::string& company, const std::string& product);

// Files larger than this are not settings files: read as empty and never overwritten.
inline constexpr long kMaxSettingsFileSize = 1 << 20;

}  // namespace util
