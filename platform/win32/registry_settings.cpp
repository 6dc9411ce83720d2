#include "platform/win32/registry_settings.h"

#include <windows.h>

#include <vector>

#include "platform/win32/win32_errors.h"

namespace platform::win32 {
namespace {

// Closes the key when the scope ends.
class Key {
public:
    Key() = default;
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    ~Key() {
        if (m_key != nullptr) {
            RegCloseKey(m_key);
        }
    }
    HKEY* out() { return &m_key; }
    HKEY get() const { return m_key; }

private:
    HKEY m_key = nullptr;
};

bool openForReading(const std::string& path, Key& key) {
    return RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_QUERY_VALUE, key.out()) ==
           ERROR_SUCCESS;
}

LONG openForWriting(const std::string& path, Key& key) {
    return RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                           KEY_SET_VALUE, nullptr, key.out(), nullptr);
}

}  // namespace

RegistrySettingsStore::RegistrySettingsStore(const vantel::VLString& company,
                                             const vantel::VLString& product)
    : m_root(std::string("Software\\") + company.t_str() + "\\" + product.t_str()) {}

std::string RegistrySettingsStore::keyPath(const vantel::VLString& section) const {
    if (section.length() == 0) {
        return m_root;
    }
    return m_root + "\\" + section.t_str();
}

std::optional<vantel::VLString> RegistrySettingsStore::readString(const vantel::VLString& section,
                                                                  const vantel::VLString& name) {
    Key key;
    if (!openForReading(keyPath(section), key)) {
        return std::nullopt;
    }
    // The value may change between sizing and reading: retry with the new size.
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD type = 0;
        DWORD size = 0;
        if (RegQueryValueExA(key.get(), name.t_str(), nullptr, &type, nullptr, &size) !=
                ERROR_SUCCESS ||
            type != REG_SZ) {
            return std::nullopt;
        }
        std::vector<char> data(size + 1, '\0');
        const LONG result = RegQueryValueExA(key.get(), name.t_str(), nullptr, &type,
                                             reinterpret_cast<BYTE*>(data.data()), &size);
        if (result == ERROR_MORE_DATA) {
            continue;
        }
        if (result != ERROR_SUCCESS || type != REG_SZ) {
            return std::nullopt;
        }
        // Stored strings need not end in NUL; a stored NUL ends the text.
        std::size_t length = 0;
        while (length < size && data[length] != '\0') {
            ++length;
        }
        return vantel::VLString(data.data(), length);
    }
    return std::nullopt;
}

std::optional<std::int32_t> RegistrySettingsStore::readInteger(const vantel::VLString& section,
                                                               const vantel::VLString& name) {
    Key key;
    if (!openForReading(keyPath(section), key)) {
        return std::nullopt;
    }
    DWORD type = 0;
    DWORD value = 0;
    DWORD size = sizeof value;
    if (RegQueryValueExA(key.get(), name.t_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value),
                         &size) != ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof value) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(value);
}

void RegistrySettingsStore::writeString(const vantel::VLString& section,
                                        const vantel::VLString& name,
                                        const vantel::VLString& value) {
    Key key;
    LONG result = openForWriting(keyPath(section), key);
    if (result == ERROR_SUCCESS) {
        result = RegSetValueExA(key.get(), name.t_str(), 0, REG_SZ,
                                reinterpret_cast<const BYTE*>(value.t_str()),
                                static_cast<DWORD>(value.length() + 1));
    }
    noteWrite(section, result);
}

void RegistrySettingsStore::writeInteger(const vantel::VLString& section,
                                         const vantel::VLString& name, std::int32_t value) {
    Key key;
    LONG result = openForWriting(keyPath(section), key);
    if (result == ERROR_SUCCESS) {
        const DWORD data = static_cast<DWORD>(value);
        result = RegSetValueExA(key.get(), name.t_str(), 0, REG_DWORD,
                                reinterpret_cast<const BYTE*>(&data), sizeof data);
    }
    noteWrite(section, result);
}

void RegistrySettingsStore::noteWrite(const vantel::VLString& section, long result) {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_writeProblem = result == ERROR_SUCCESS ? std::string()
                                             : "HKEY_CURRENT_USER\\" + keyPath(section) + ": " +
                                                   describeError(static_cast<DWORD>(result));
}

std::string RegistrySettingsStore::readProblem() {
    Key key;
    const LONG result =
        RegOpenKeyExA(HKEY_CURRENT_USER, m_root.c_str(), 0, KEY_QUERY_VALUE, key.out());
    if (result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND) {
        return {};
    }
    return "HKEY_CURRENT_USER\\" + m_root + ": " + describeError(static_cast<DWORD>(result));
}

std::string RegistrySettingsStore::writeProblem() {
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_writeProblem;
}

}  // namespace platform::win32

namespace util {
std::unique_ptr<SettingsStore> makeUserSettingsStore(const vantel::VLString& company,
                                                     const vantel::VLString& product) {
    return std::make_unique<platform::win32::RegistrySettingsStore>(company, product);
}
}  // namespace util
