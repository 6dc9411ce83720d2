// Narrow (8-bit) text string: one byte per character, copies are independent.
#pragma once

#include <string>

namespace vantel {

class VLString {
public:
    enum caseCompare { exactCase = 0, ignoreCase = 1 };

    VLString() = default;
    VLString(const char* text);  // NOLINT(google-explicit-constructor): used like a literal
    VLString(const char* bytes, std::size_t length);
    explicit VLString(std::string bytes);
    VLString(const VLString&) = default;
    VLString(VLString&&) noexcept = default;
    virtual ~VLString() = default;

    VLString& operator=(const VLString&) = default;
    VLString& operator=(VLString&&) noexcept = default;
    VLString& operator=(const char* text);

    VLString& operator+=(const VLString& other);
    VLString& operator+=(const char* text);
    // Appends one character: the byte held in the low 8 bits of `code`.
    VLString& operator+=(int code);

    static VLString valueOf(int value);

    bool startsWith(const VLString& prefix, caseCompare mode = exactCase) const;

    const char* t_str() const { return m_bytes.c_str(); }
    operator const char*() const { return m_bytes.c_str(); }  // NOLINT(google-explicit-constructor)

    std::size_t length() const { return m_bytes.size(); }
    bool isEmpty() const { return m_bytes.empty(); }
    // Every byte, embedded NULs included.
    const std::string& bytes() const { return m_bytes; }

    friend bool operator==(const VLString& a, const VLString& b) { return a.m_bytes == b.m_bytes; }
    friend bool operator!=(const VLString& a, const VLString& b) { return !(a == b); }

private:
    std::string m_bytes;
};

}  // namespace vantel
