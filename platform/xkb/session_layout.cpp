#include "platform/xkb/session_layout.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <vector>

namespace platform {
namespace {

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Standard output of a short command, bounded by `timeout`, so a stuck desktop service cannot
// hold the caller; empty on any failure.
std::string commandOutput(const std::string& command) {
    std::string out;
    FILE* pipe = ::popen(("timeout 1 " + command + " 2>/dev/null").c_str(), "r");
    if (pipe == nullptr) {
        return out;
    }
    char buffer[4096];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0 && out.size() < (1u << 20)) {
        out.append(buffer, n);
    }
    ::pclose(pipe);
    return out;
}

std::string env(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

std::string trim(const std::string& s) {
    const auto first = s.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) {
        return "";
    }
    return s.substr(first, s.find_last_not_of(" \t\r\n") - first + 1);
}

// Comma-separated layout and variant lists from "layout+variant" or "layout:variant" items.
void appendLayout(LayoutNames& names, const std::string& layout, const std::string& variant,
                  bool first) {
    if (!first) {
        names.layout += ',';
        names.variant += ',';
    }
    names.layout += layout;
    names.variant += variant;
}

std::string stripEmptyVariants(const std::string& variants) {
    return variants.find_first_not_of(',') == std::string::npos ? std::string() : variants;
}

std::vector<std::string> gnomeXkbSources(const std::string& text) {
    std::vector<std::string> out;
    static const std::regex item(R"(\(\s*'([^']*)'\s*,\s*'([^']*)'\s*\))");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), item);
         it != std::sregex_iterator(); ++it) {
        if ((*it)[1] == "xkb") {
            out.push_back((*it)[2]);
        }
    }
    return out;
}

std::string configHome() {
    std::string config = env("XDG_CONFIG_HOME");
    if (config.empty() && !env("HOME").empty()) {
        config = env("HOME") + "/.config";
    }
    return config;
}

}  // namespace

std::optional<LayoutNames> parseLayoutOption(const std::string& text) {
    static const std::regex item(R"([A-Za-z0-9_-]+(:[A-Za-z0-9_-]+)?)");
    LayoutNames names;
    std::size_t at = 0;
    bool first = true;
    while (at <= text.size()) {
        std::size_t end = text.find(',', at);
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::string one = text.substr(at, end - at);
        if (!std::regex_match(one, item)) {
            return std::nullopt;
        }
        const std::size_t colon = one.find(':');
        appendLayout(names, one.substr(0, colon),
                     colon == std::string::npos ? "" : one.substr(colon + 1), first);
        first = false;
        at = end + 1;
    }
    names.variant = stripEmptyVariants(names.variant);
    return names;
}

LayoutNames parseDefaultKeyboard(const std::string& text) {
    LayoutNames names;
    static const std::regex line(R"(^\s*(XKBMODEL|XKBLAYOUT|XKBVARIANT|XKBOPTIONS)\s*=\s*(.*)$)");
    std::istringstream in(text);
    std::string l;
    while (std::getline(in, l)) {
        std::smatch m;
        if (!std::regex_match(l, m, line)) {
            continue;
        }
        std::string value = trim(m[2]);
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
            value.back() == value.front()) {
            value = value.substr(1, value.size() - 2);
        }
        if (m[1] == "XKBMODEL") {
            names.model = value;
        } else if (m[1] == "XKBLAYOUT") {
            names.layout = value;
        } else if (m[1] == "XKBVARIANT") {
            names.variant = value;
        } else {
            names.options = value;
        }
    }
    return names;
}

std::optional<SessionLayout> parseGnomeSources(const std::string& sources, const std::string& mru) {
    const std::vector<std::string> all = gnomeXkbSources(sources);
    if (all.empty()) {
        return std::nullopt;
    }
    SessionLayout result;
    for (std::size_t i = 0; i < all.size(); ++i) {
        const std::size_t plus = all[i].find('+');
        appendLayout(result.names, all[i].substr(0, plus),
                     plus == std::string::npos ? "" : all[i].substr(plus + 1), i == 0);
    }
    result.names.variant = stripEmptyVariants(result.names.variant);
    const std::vector<std::string> recent = gnomeXkbSources(mru);
    for (std::size_t i = 0; !recent.empty() && i < all.size(); ++i) {
        if (all[i] == recent.front()) {
            result.group = static_cast<unsigned>(i);
        }
    }
    result.source = "GNOME input sources";
    return result;
}

std::optional<LayoutNames> parseKxkbrc(const std::string& text) {
    std::istringstream in(text);
    std::string l;
    std::string section;
    LayoutNames names;
    bool use = false;
    while (std::getline(in, l)) {
        l = trim(l);
        if (!l.empty() && l.front() == '[') {
            section = l;
            continue;
        }
        const std::size_t eq = l.find('=');
        if (section != "[Layout]" || eq == std::string::npos) {
            continue;
        }
        const std::string key = trim(l.substr(0, eq));
        const std::string value = trim(l.substr(eq + 1));
        if (key == "Use") {
            use = value == "true";
        } else if (key == "LayoutList") {
            names.layout = value;
        } else if (key == "VariantList") {
            names.variant = stripEmptyVariants(value);
        } else if (key == "Options") {
            names.options = value;
        } else if (key == "Model") {
            names.model = value;
        }
    }
    if (!use || names.layout.empty()) {
        return std::nullopt;
    }
    return names;
}

std::optional<unsigned> parseSwayActiveLayout(const std::string& json) {
    static const std::regex index(R"re("xkb_active_layout_index"\s*:\s*([0-9]+))re");
    std::smatch m;
    if (!std::regex_search(json, m, index)) {
        return std::nullopt;
    }
    return static_cast<unsigned>(std::stoul(m[1]));
}

std::string sessionLayoutStamp() {
    std::string stamp = env("PELMORA_LAYOUT");
    // dconf and KDE replace the file on every write, so its change time moves.
    for (const char* file : {"/dconf/user", "/kxkbrc"}) {
        struct stat st {};
        if (::stat((configHome() + file).c_str(), &st) == 0) {
            stamp += ' ' + std::to_string(st.st_ino) + ':' + std::to_string(st.st_ctim.tv_sec) +
                     '.' + std::to_string(st.st_ctim.tv_nsec);
        } else {
            stamp += " -";
        }
    }
    return stamp;
}

bool kdeSession() {
    return env("XDG_CURRENT_DESKTOP").find("KDE") != std::string::npos;
}

SessionLayout detectSessionLayout(std::optional<unsigned> activeGroup) {
    SessionLayout result;
    const std::string named = env("PELMORA_LAYOUT");
    if (!named.empty()) {
        if (auto names = parseLayoutOption(named)) {
            result.names = *names;
            result.source = "the --layout option (PELMORA_LAYOUT)";
            return result;
        }
    }
    const std::string desktop = env("XDG_CURRENT_DESKTOP");
    bool found = false;
    if (desktop.find("GNOME") != std::string::npos) {
        const std::string key = "gsettings get org.gnome.desktop.input-sources ";
        if (auto gnome = parseGnomeSources(commandOutput(key + "sources"),
                                           commandOutput(key + "mru-sources"))) {
            result = *gnome;
            found = true;
        }
    }
    if (!found && kdeSession()) {
        if (auto kde = parseKxkbrc(readFile(configHome() + "/kxkbrc"))) {
            result.names = *kde;
            result.group = activeGroup.value_or(0);
            result.source = "KDE keyboard settings (kxkbrc)";
            found = true;
        }
    }
    if (!found && !env("XKB_DEFAULT_LAYOUT").empty()) {
        result.names = {env("XKB_DEFAULT_RULES"), env("XKB_DEFAULT_MODEL"),
                        env("XKB_DEFAULT_LAYOUT"), env("XKB_DEFAULT_VARIANT"),
                        env("XKB_DEFAULT_OPTIONS")};
        result.source = "XKB_DEFAULT_LAYOUT";
        found = true;
    }
    if (!found) {
        LayoutNames names = parseDefaultKeyboard(readFile("/etc/default/keyboard"));
        if (!names.layout.empty()) {
            result.names = names;
            result.source = "/etc/default/keyboard";
            found = true;
        }
    }
    if (!found) {
        result.names.layout = "us";
        result.source = "no layout found; assuming us";
    }
    if (!env("SWAYSOCK").empty()) {
        if (auto group = parseSwayActiveLayout(commandOutput("swaymsg -t get_inputs --raw"))) {
            result.group = *group;
        }
    }
    return result;
}

XkbKeymapPtr compileSessionKeymap(const SessionLayout& layout, std::string& name,
                                  std::string& error) {
    XkbKeymapPtr keymap = compileKeymap(layout.names, error);
    if (!keymap) {
        error += "; name the layout with --layout (e.g. --layout de:nodeadkeys)";
        return keymap;
    }
    name = layout.names.describe();
    if (layout.group != 0) {
        name += " group " + std::to_string(layout.group + 1);
    }
    name += " (from " + layout.source + ")";
    return keymap;
}

}  // namespace platform
