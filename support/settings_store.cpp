#include "support/settings_store.h"

namespace util {

std::optional<vantel::VLString> MemorySettingsStore::readString(const vantel::VLString& section,
                                                                const vantel::VLString& name) {
    std::lock_guard<std::mutex> guard(m_mutex);
    const auto it = m_values.find({section.bytes(), name.bytes()});
    if (it == m_values.end() || !std::holds_alternative<std::string>(it->second)) {
        return std::nullopt;
    }
    return vantel::VLString(std::get<std::string>(it->second));
}

std::optional<std::int32_t> MemorySettingsStore::readInteger(const vantel::VLString& section,
                                                             const vantel::VLString& name) {
    std::lock_guard<std::mutex> guard(m_mutex);
    const auto it = m_values.find({section.bytes(), name.bytes()});
    if (it == m_values.end() || !std::holds_alternative<std::int32_t>(it->second)) {
        return std::nullopt;
    }
    return std::get<std::int32_t>(it->second);
}

void MemorySettingsStore::writeString(const vantel::VLString& section, const vantel::VLString& name,
                                      const vantel::VLString& value) {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_values[{section.bytes(), name.bytes()}] = value.bytes();
    ++m_writes;
}

void MemorySettingsStore::writeInteger(const vantel::VLString& section,
                                       const vantel::VLString& name, std::int32_t value) {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_values[{section.bytes(), name.bytes()}] = value;
    ++m_writes;
}

int MemorySettingsStore::writeCount() const {
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_writes;
}

}  // namespace util
