// Names of the serial ports the system has registered (HKLM\HARDWARE\DEVICEMAP\SERIALCOMM), for
// completing a device name: the names are read, no port is opened or probed.
#pragma once

#include <string>
#include <vector>

namespace win32gui {

std::vector<std::wstring> listSerialPortNames();

}  // namespace win32gui
