// A cheap look at whether a device could be opened now, without taking it: what decides when a
// reader that gave up on it should try again.
#pragma once

#include <string>

namespace platform {

struct DevicePresence {
    // It is there, we may open it and no other program holds it.
    bool available = false;
    // Changes whenever the device does (it came, went, was replaced or got new permissions).
    std::string signature;
};

// `name` as the serial layer opens it (COMn or a path). Opens the device for a moment at most,
// without touching its line.
DevicePresence probeDevice(const std::string& name);

}  // namespace platform
