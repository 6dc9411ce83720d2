#include <cstring>
#include <string>

#include "platform/gui/afx_msgmap.h"

namespace afx {

std::wstring widen(const char* text, int length) {
    if (text == nullptr)
        return {};
    const std::size_t n = length < 0 ? std::strlen(text) : static_cast<std::size_t>(length);
    std::wstring wide(n, L'\0');
    for (std::size_t i = 0; i < n; ++i)
        wide[i] = static_cast<wchar_t>(static_cast<unsigned char>(text[i]));
    return wide;
}

std::string narrow(const wchar_t* text, int length) {
    if (text == nullptr)
        return {};
    const std::size_t n = length < 0 ? std::wcslen(text) : static_cast<std::size_t>(length);
    std::string bytes(n, '\0');
    for (std::size_t i = 0; i < n; ++i)
        bytes[i] = text[i] <= 0xFF ? static_cast<char>(text[i]) : '?';
    return bytes;
}

std::wstring widenFileName(const std::string& name) {
    if (name.empty())
        return {};
    const int size = static_cast<int>(name.size());
    const int units = ::MultiByteToWideChar(CP_ACP, 0, name.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(units), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, name.data(), size, wide.data(), units);
    return wide;
}

std::string narrowFileName(const std::wstring& name) {
    if (name.empty())
        return {};
    const int size = static_cast<int>(name.size());
    const int bytes =
        ::WideCharToMultiByte(CP_ACP, 0, name.data(), size, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(bytes), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, name.data(), size, out.data(), bytes, nullptr, nullptr);
    return out;
}

}  // namespace afx
