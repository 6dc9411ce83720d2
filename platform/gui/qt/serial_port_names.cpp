#include "platform/gui/qt/serial_port_names.h"

#include <QDir>

#ifdef _WIN32
#include <QSettings>
#endif

namespace platform {

#ifdef _WIN32

QStringList listSerialPortNames(const QString&) {
    // The serial port driver registers each port here; reading it opens no port.
    QSettings map(QStringLiteral("HKEY_LOCAL_MACHINE\\HARDWARE\\DEVICEMAP\\SERIALCOMM"),
                  QSettings::NativeFormat);
    QStringList names;
    for (const QString& key : map.allKeys())
        names << map.value(key).toString();
    names.removeAll(QString());
    names.removeDuplicates();
    names.sort();
    return names;
}

#else

namespace {

// Directory entries only: device nodes are listed, never opened or stat'ed for their state.
QStringList entries(const QString& directory, const QStringList& patterns) {
    const QDir dir(directory);
    QStringList paths;
    const auto filters = QDir::Files | QDir::System | QDir::NoDotAndDotDot;
    for (const QString& name : dir.entryList(patterns, filters, QDir::Name)) {
        paths << dir.filePath(name);
    }
    return paths;
}

}  // namespace

QStringList listSerialPortNames(const QString& devRoot) {
    QStringList names = entries(devRoot + QStringLiteral("/serial/by-id"), {QStringLiteral("*")});
    names << entries(devRoot, {QStringLiteral("ttyUSB*"), QStringLiteral("ttyACM*")});
    return names;
}

#endif

}  // namespace platform
