// Names of the serial ports present, for completing a device name. Only names are listed:
// no device is opened or probed.
#pragma once

#include <QString>
#include <QStringList>

namespace platform {

// POSIX: <devRoot>/serial/by-id/*, <devRoot>/ttyUSB*, <devRoot>/ttyACM*, as paths.
// Windows: the COM names the system has registered (devRoot is not used).
QStringList listSerialPortNames(const QString& devRoot = QStringLiteral("/dev"));

}  // namespace platform
