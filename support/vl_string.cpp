#include "support/vl_string.h"

#include <cstdio>

namespace vantel {
namespace {

// ASCII-only folding: the text is in an unknown 8-bit code page, so bytes >= 0x80 compare exactly.
char foldAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

VLString::VLString(const char* text) : m_bytes(text != nullptr ? text : "") {}

VLString::VLString(const char* bytes, std::size_t length) : m_bytes(bytes, length) {}

VLString::VLString(std::string bytes) : m_bytes(std::move(bytes)) {}

VLString& VLString::operator=(const char* text) {
    m_bytes = text != nullptr ? text : "";
    return *this;
}

VLString& VLString::operator+=(const VLString& other) {
    m_bytes += other.m_bytes;
    return *this;
}

VLString& VLString::operator+=(const char* text) {
    if (text != nullptr) {
        m_bytes += text;
    }
    return *this;
}

VLString& VLString::operator+=(int code) {
    m_bytes.push_back(static_cast<char>(static_cast<unsigned char>(code & 0xFF)));
    return *this;
}

VLString VLString::valueOf(int value) {
    char digits[16];
    const int n = std::snprintf(digits, sizeof digits, "%d", value);
    return VLString(digits, static_cast<std::size_t>(n));
}

bool VLString::startsWith(const VLString& prefix, caseCompare mode) const {
    if (prefix.m_bytes.size() > m_bytes.size()) {
        return false;
    }
    for (std::size_t i = 0; i < prefix.m_bytes.size(); ++i) {
        const char a = m_bytes[i];
        const char b = prefix.m_bytes[i];
        if (mode == ignoreCase ? foldAscii(a) != foldAscii(b) : a != b) {
            return false;
        }
    }
    return true;
}

}  // namespace vantel
