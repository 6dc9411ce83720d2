// The application's settings store and product record.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>

#include "support/settings_store.h"
#include "support/vl_string.h"

namespace vantel {

enum VLRegistryHive : std::int32_t { currentUser = 1, localMachine = 2 };

}  // namespace vantel

namespace util {

class VLAppInfo {
public:
    VLAppInfo() = default;
    VLAppInfo(std::uint32_t id, std::uint32_t flags, const vantel::VLString& name,
              std::uint32_t major, std::uint32_t minor, std::uint32_t release, std::uint32_t build);

    const vantel::VLString& name() const { return m_name; }
    // "%t" name, "%m" major, "%n" minor, "%r" release, "%b" build; "%%" a percent sign.
    vantel::VLString version(const vantel::VLString& format) const;

    std::uint32_t id() const { return m_id; }
    std::uint32_t flags() const { return m_flags; }

private:
    std::uint32_t m_id = 0;
    std::uint32_t m_flags = 0;
    vantel::VLString m_name;
    std::uint32_t m_major = 0;
    std::uint32_t m_minor = 0;
    std::uint32_t m_release = 0;
    std::uint32_t m_build = 0;
};

class VLAppConfig {
public:
    VLAppConfig(const vantel::VLString& product, const vantel::VLString& company,
                const vantel::VLString& webAddress);
    VLAppConfig(const VLAppConfig&) = delete;
    VLAppConfig& operator=(const VLAppConfig&) = delete;

    vantel::VLString getRegistryString(const vantel::VLString& section,
                                       const vantel::VLString& name,
                                       const vantel::VLString& defaultValue,
                                       vantel::VLRegistryHive hive) const;
    std::int32_t getRegistryInteger(const vantel::VLString& section, const vantel::VLString& name,
                                    std::int32_t defaultValue, vantel::VLRegistryHive hive) const;
    void setRegistryString(const vantel::VLString& section, const vantel::VLString& name,
                           const vantel::VLString& value, vantel::VLRegistryHive hive);
    void setRegistryInteger(const vantel::VLString& section, const vantel::VLString& name,
                            std::int32_t value, vantel::VLRegistryHive hive);

    // The store's readProblem and writeProblem.
    vantel::VLString settingsProblem() const;
    vantel::VLString lastWriteProblem() const;

    void setProductInfo(const VLAppInfo& info);
    void setProgramInfo(const VLAppInfo& info);
    const VLAppInfo& product() const { return m_product; }
    const VLAppInfo& program() const { return m_program; }

    const vantel::VLString& productName() const { return m_productName; }
    const vantel::VLString& companyName() const { return m_companyName; }
    const vantel::VLString& webAddress() const { return m_webAddress; }

    // Replaces the backing store (tests, a store chosen on the command line). The per-user store
    // is opened on first use, so a program that replaces it never touches the user's settings.
    void setStore(std::shared_ptr<SettingsStore> store);
    std::shared_ptr<SettingsStore> store() const;

private:
    vantel::VLString m_productName;
    vantel::VLString m_companyName;
    vantel::VLString m_webAddress;
    VLAppInfo m_product;
    VLAppInfo m_program;
    mutable std::mutex m_storeMutex;
    mutable std::shared_ptr<SettingsStore> m_store;
};

}  // namespace util
