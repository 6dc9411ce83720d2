#include "platform/gui/win32/serial_port_names.h"

#include <windows.h>

#include <algorithm>

namespace win32gui {

std::vector<std::wstring> listSerialPortNames() {
    std::vector<std::wstring> names;
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ,
                        &key) != ERROR_SUCCESS) {
        return names;
    }
    for (DWORD index = 0;; ++index) {
        WCHAR valueName[256];
        DWORD nameLength = 256;
        WCHAR data[64] = {};
        DWORD dataBytes = sizeof data - sizeof(WCHAR);
        DWORD type = 0;
        const LONG status = ::RegEnumValueW(key, index, valueName, &nameLength, nullptr, &type,
                                            reinterpret_cast<BYTE*>(data), &dataBytes);
        if (status == ERROR_NO_MORE_ITEMS)
            break;
        if (status == ERROR_SUCCESS && type == REG_SZ && data[0] != L'\0')
            names.emplace_back(data);
    }
    ::RegCloseKey(key);
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}

}  // namespace win32gui
