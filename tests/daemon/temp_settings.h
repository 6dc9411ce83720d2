// A settings file in a temporary folder for a program started by a test, and the environment
// that points it there.
#pragma once

#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "support/settings_store.h"

namespace daemon_test {

class TempSettings {
public:
    TempSettings() {
        char pattern[] = "/tmp/pelmora-daemon-test-XXXXXX";
        m_dir = ::mkdtemp(pattern);
        m_file = m_dir + "/Pelmora.conf";
    }
    ~TempSettings() { std::filesystem::remove_all(m_dir); }
    TempSettings(const TempSettings&) = delete;
    TempSettings& operator=(const TempSettings&) = delete;

    const std::string& dir() const { return m_dir; }
    const std::string& file() const { return m_file; }

    // Name=Value lines; values are written as they are (paths need no escapes).
    void write(const std::map<std::string, std::string>& values) const {
        std::ofstream out(m_file, std::ios::trunc);
        for (const auto& [name, value] : values) {
            out << name << '=' << value << '\n';
        }
    }

    // PELMORA_CONFIG names our file; the other variables keep a stray lookup inside the folder.
    std::map<std::string, std::string> env() const {
        return {{"PELMORA_CONFIG", m_file},
                {"XDG_CONFIG_HOME", m_dir},
                {"HOME", m_dir},
                {"DISPLAY", "\x01unset"},
                {"WAYLAND_DISPLAY", "\x01unset"}};
    }

    // Whether this build's settings store reads the file PELMORA_CONFIG names. Until it does, a
    // started program would read defaults, and the default device is a real serial port.
    bool honoured() const {
        const std::string probe = m_dir + "/probe.conf";
        {
            std::ofstream out(probe);
            out << "DeviceName=/probe/value\n";
        }
        const char* old = std::getenv("PELMORA_CONFIG");
        const std::string saved = old != nullptr ? old : "";
        ::setenv("PELMORA_CONFIG", probe.c_str(), 1);
        auto store = util::makeUserSettingsStore("Vantel", "Pelmora");
        const auto value = store->readString("", "DeviceName");
        if (old != nullptr) {
            ::setenv("PELMORA_CONFIG", saved.c_str(), 1);
        } else {
            ::unsetenv("PELMORA_CONFIG");
        }
        std::filesystem::remove(probe);
        return value && value->bytes() == "/probe/value";
    }

private:
    std::string m_dir;
    std::string m_file;
};

}  // namespace daemon_test
