#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/device_presence.h"
#include "platform/posix/line_mapping.h"

namespace platform {

DevicePresence probeDevice(const std::string& name) {
    const std::string path = line::devicePath(name);
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return {false, "missing"};
    }
    // The node's identity and its change time: a new node, or udev granting access, shows here.
    DevicePresence presence;
    presence.signature = std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino) + ":" +
                         std::to_string(st.st_rdev) + ":" + std::to_string(st.st_mode) + ":" +
                         std::to_string(st.st_ctim.tv_sec) + "." +
                         std::to_string(st.st_ctim.tv_nsec);
    // Never opened, so never asked for: the reader refuses it.
    if (line::isConsole(path)) {
        presence.signature += ":console";
        return presence;
    }
    // Read-only and non-blocking: no carrier wait, no line change, and closing it is never the
    // last close of a port another program holds.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        presence.signature += errno == EACCES || errno == EPERM ? ":denied" : ":unopenable";
        return presence;
    }
    // The holders the serial layer refuses: an exclusive terminal (root opens it anyway) and a
    // program with a lock on it.
    int exclusive = 0;
    const bool held = (::ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive != 0) ||
                      (::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK);
    ::close(fd);
    presence.available = !held;
    presence.signature += held ? ":busy" : ":free";
    return presence;
}

}  // namespace platform
