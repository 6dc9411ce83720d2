#include <windows.h>

#include <string>

#include "platform/device_presence.h"

namespace platform {

DevicePresence probeDevice(const std::string& name) {
    // The open the serial layer makes, closed at once: a missing port and one that another
    // program holds (ERROR_ACCESS_DENIED) both fail here.
    HANDLE device = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (device == INVALID_HANDLE_VALUE) {
        return {false, "error " + std::to_string(GetLastError())};
    }
    CloseHandle(device);
    return {true, "free"};
}

}  // namespace platform
