#include "platform/posix/settings_text.h"

#include <limits>

namespace settings_text {
namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && isBlank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

bool isValidUtf8(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        std::size_t extra;
        std::uint32_t code;
        if (c < 0x80) {
            ++i;
            continue;
        } else if (c >= 0xC2 && c <= 0xDF) {
            extra = 1;
            code = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            extra = 2;
            code = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            extra = 3;
            code = c & 0x07;
        } else {
            return false;
        }
        if (i + extra >= s.size()) {
            return false;
        }
        for (std::size_t k = 1; k <= extra; ++k) {
            const auto cc = static_cast<unsigned char>(s[i + k]);
            if ((cc & 0xC0) != 0x80) {
                return false;
            }
            code = (code << 6) | (cc & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF.
        if ((extra == 2 && code < 0x800) || (extra == 3 && code < 0x10000) || code > 0x10FFFF ||
            (code >= 0xD800 && code <= 0xDFFF)) {
            return false;
        }
        i += extra + 1;
    }
    return true;
}

std::optional<std::int32_t> parseInteger(std::string_view s) {
    bool negative = false;
    if (!s.empty() && s.front() == '-') {
        negative = true;
        s.remove_prefix(1);
    }
    if (s.empty() || s.size() > 10) {
        return std::nullopt;
    }
    std::int64_t magnitude = 0;
    for (char c : s) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        magnitude = magnitude * 10 + (c - '0');
    }
    const std::int64_t value = negative ? -magnitude : magnitude;
    if (value < std::numeric_limits<std::int32_t>::min() ||
        value > std::numeric_limits<std::int32_t>::max()) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(value);
}

Line parseLine(std::string_view raw) {
    Line line;
    line.raw = std::string(raw);
    std::string_view text = raw;
    if (!text.empty() && text.back() == '\r') {
        text.remove_suffix(1);
    }
    const std::size_t eq = text.find('=');
    if (eq == std::string_view::npos) {
        return line;
    }
    const std::string_view name = trim(text.substr(0, eq));
    if (!isValidName(name)) {
        return line;
    }
    const std::string_view value = trim(text.substr(eq + 1));
    if (!value.empty() && value.front() == '"') {
        std::optional<std::string> decoded = unquote(value);
        if (!decoded) {
            return line;
        }
        line.value = std::move(*decoded);
    } else {
        line.value = std::string(value);
    }
    line.kind = Line::Kind::Entry;
    line.name = std::string(name);
    return line;
}

// Index of the name's last well-formed line.
std::optional<std::size_t> findEntry(const Document& document, std::string_view name) {
    for (std::size_t i = document.lines.size(); i-- > 0;) {
        const Line& line = document.lines[i];
        if (line.kind == Line::Kind::Entry && line.name == name) {
            return i;
        }
    }
    return std::nullopt;
}

void setEntry(Document& document, std::string_view name, std::string value,
              std::string_view written) {
    const std::optional<std::size_t> index = findEntry(document, name);
    if (!index) {
        document.lines.emplace_back();
    }
    Line* target = index ? &document.lines[*index] : &document.lines.back();
    target->kind = Line::Kind::Entry;
    target->name = std::string(name);
    target->value = std::move(value);
    target->raw = std::string(name) + "=" + std::string(written);
}

}  // namespace

bool isValidName(std::string_view name) {
    if (name.empty()) {
        return false;
    }
    for (char c : name) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                        (c >= '0' && c <= '9') || c == '_' || c == '.' || c == '-';
        if (!ok) {
            return false;
        }
    }
    return true;
}

Document parse(std::string_view text) {
    Document document;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view raw = text.substr(0, end);
        document.lines.push_back(parseLine(raw));
        if (end == std::string_view::npos) {
            break;
        }
        text.remove_prefix(end + 1);
    }
    return document;
}

std::optional<std::size_t> firstMalformedLine(std::string_view text) {
    const Document document = parse(text);
    for (std::size_t i = 0; i < document.lines.size(); ++i) {
        const Line& line = document.lines[i];
        if (line.kind == Line::Kind::Entry) {
            continue;
        }
        std::string_view rest = line.raw;
        if (!rest.empty() && rest.back() == '\r') {
            rest.remove_suffix(1);
        }
        rest = trim(rest);
        if (!rest.empty() && rest.front() != '#') {
            return i + 1;
        }
    }
    return std::nullopt;
}

std::string render(const Document& document) {
    std::string out;
    for (const Line& line : document.lines) {
        out += line.raw;
        out += '\n';
    }
    return out;
}

std::optional<std::string> findString(const Document& document, std::string_view name) {
    const std::optional<std::size_t> index = findEntry(document, name);
    if (!index) {
        return std::nullopt;
    }
    return document.lines[*index].value;
}

std::optional<std::int32_t> findInteger(const Document& document, std::string_view name) {
    const std::optional<std::size_t> index = findEntry(document, name);
    if (!index) {
        return std::nullopt;
    }
    return parseInteger(document.lines[*index].value);
}

bool setString(Document& document, std::string_view name, std::string_view value) {
    if (!isValidName(name)) {
        return false;
    }
    setEntry(document, name, std::string(value), quote(value));
    return true;
}

bool setInteger(Document& document, std::string_view name, std::int32_t value) {
    if (!isValidName(name)) {
        return false;
    }
    const std::string text = std::to_string(value);
    setEntry(document, name, text, text);
    return true;
}

std::string quote(std::string_view value) {
    static const char kHex[] = "0123456789ABCDEF";
    const bool keepHighBytes = isValidUtf8(value);
    std::string out = "\"";
    for (char c : value) {
        const auto b = static_cast<unsigned char>(c);
        switch (c) {
            case '\\':
                out += "\\\\";
                continue;
            case '"':
                out += "\\\"";
                continue;
            case '\n':
                out += "\\n";
                continue;
            case '\r':
                out += "\\r";
                continue;
            case '\t':
                out += "\\t";
                continue;
            default:
                break;
        }
        if (b < 0x20 || b == 0x7F || (b >= 0x80 && !keepHighBytes)) {
            out += "\\x";
            out += kHex[b >> 4];
            out += kHex[b & 0xF];
        } else {
            out += c;
        }
    }
    out += '"';
    return out;
}

std::optional<std::string> unquote(std::string_view quoted) {
    if (quoted.size() < 2 || quoted.front() != '"' || quoted.back() != '"') {
        return std::nullopt;
    }
    const std::string_view body = quoted.substr(1, quoted.size() - 2);
    std::string out;
    for (std::size_t i = 0; i < body.size(); ++i) {
        const char c = body[i];
        if (c == '"') {
            return std::nullopt;  // an unescaped quote inside: not our form
        }
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++i == body.size()) {
            return std::nullopt;
        }
        switch (body[i]) {
            case '\\':
                out += '\\';
                break;
            case '"':
                out += '"';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case 'x': {
                if (i + 2 >= body.size()) {
                    return std::nullopt;
                }
                const int hi = hexDigit(body[i + 1]);
                const int lo = hexDigit(body[i + 2]);
                if (hi < 0 || lo < 0) {
                    return std::nullopt;
                }
                out += static_cast<char>(hi * 16 + lo);
                i += 2;
                break;
            }
            default:
                return std::nullopt;
        }
    }
    return out;
}

}  // namespace settings_text
