#include "support/vl_app_config.h"

#include <utility>

namespace util {

VLAppInfo::VLAppInfo(std::uint32_t id, std::uint32_t flags, const vantel::VLString& name,
                     std::uint32_t major, std::uint32_t minor, std::uint32_t release,
                     std::uint32_t build)
    : m_id(id),
      m_flags(flags),
      m_name(name),
      m_major(major),
      m_minor(minor),
      m_release(release),
      m_build(build) {}

vantel::VLString VLAppInfo::version(const vantel::VLString& format) const {
    const std::string& f = format.bytes();
    std::string out;
    for (std::size_t i = 0; i < f.size(); ++i) {
        if (f[i] != '%' || i + 1 == f.size()) {
            out += f[i];
            continue;
        }
        const char code = f[++i];
        switch (code) {
            case 't':
                out += m_name.bytes();
                break;
            case 'm':
                out += std::to_string(m_major);
                break;
            case 'n':
                out += std::to_string(m_minor);
                break;
            case 'r':
                out += std::to_string(m_release);
                break;
            case 'b':
                out += std::to_string(m_build);
                break;
            case '%':
                out += '%';
                break;
            default:
                out += '%';
                out += code;
                break;
        }
    }
    return vantel::VLString(std::move(out));
}

VLAppConfig::VLAppConfig(const vantel::VLString& product, const vantel::VLString& company,
                         const vantel::VLString& webAddress)
    : m_productName(product), m_companyName(company), m_webAddress(webAddress) {}

std::shared_ptr<SettingsStore> VLAppConfig::store() const {
    std::lock_guard<std::mutex> guard(m_storeMutex);
    if (!m_store) {
        m_store = makeUserSettingsStore(m_companyName, m_productName);
    }
    return m_store;
}

void VLAppConfig::setStore(std::shared_ptr<SettingsStore> store) {
    std::lock_guard<std::mutex> guard(m_storeMutex);
    m_store = std::move(store);
}

// Only the per-user hive exists for this program; every hive reads and writes the same store.
vantel::VLString VLAppConfig::getRegistryString(const vantel::VLString& section,
                                                const vantel::VLString& name,
                                                const vantel::VLString& defaultValue,
                                                vantel::VLRegistryHive /*hive*/) const {
    return store()->readString(section, name).value_or(defaultValue);
}

std::int32_t VLAppConfig::getRegistryInteger(const vantel::VLString& section,
                                             const vantel::VLString& name,
                                             std::int32_t defaultValue,
                                             vantel::VLRegistryHive /*hive*/) const {
    return store()->readInteger(section, name).value_or(defaultValue);
}

void VLAppConfig::setRegistryString(const vantel::VLString& section, const vantel::VLString& name,
                                    const vantel::VLString& value,
                                    vantel::VLRegistryHive /*hive*/) {
    store()->writeString(section, name, value);
}

void VLAppConfig::setRegistryInteger(const vantel::VLString& section, const vantel::VLString& name,
                                     std::int32_t value, vantel::VLRegistryHive /*hive*/) {
    store()->writeInteger(section, name, value);
}

vantel::VLString VLAppConfig::settingsProblem() const {
    return vantel::VLString(store()->readProblem());
}

vantel::VLString VLAppConfig::lastWriteProblem() const {
    return vantel::VLString(store()->writeProblem());
}

void VLAppConfig::setProductInfo(const VLAppInfo& info) {
    m_product = info;
}
void VLAppConfig::setProgramInfo(const VLAppInfo& info) {
    m_program = info;
}

}  // namespace util
