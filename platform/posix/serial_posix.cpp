// Serial ports through termios2 and ioctls. Reads are paced by the handle's time-outs with
// ppoll and absolute monotonic deadlines (VMIN/VTIME cannot cap a read's total time), and every
// read also waits on an eventfd so that a stop wakes it at once. The same calls read any other
// descriptor (a FIFO, a file) as a plain byte stream; only the line calls need a terminal.
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <map>
#include <mutex>
#include <sstream>

#include "platform/posix/line_mapping.h"
#include "platform/serial_api.h"

namespace platform {
namespace {

using Clock = std::chrono::steady_clock;  // CLOCK_MONOTONIC
constexpr std::uint32_t kMaxDword = std::numeric_limits<std::uint32_t>::max();
// How often a plain file at its end is looked at again (it may grow).
constexpr auto kFilePollInterval = std::chrono::milliseconds(50);

struct Port {
    CommTimeouts timeouts{};  // all zero: wait until the buffer is full
    line::KeptFields kept;
    bool regularFile = false;
    bool marked = false;  // the line marks error bytes (PARMRK), undone by `marks`
    line::ErrorMarks marks;
};

constexpr char kConsoleText[] =
    "refused: it is this machine's console (opening it would change its line and type what "
    "arrives on it)";

// Whether the kernel lists the device as a console, by device number or by name: on virtual
// machines the first serial port often is one.
bool isConsole(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISCHR(st.st_mode)) {
        return false;
    }
    if (st.st_rdev == makedev(5, 1)) {  // /dev/console itself
        return true;
    }
    char resolved[PATH_MAX];
    const std::string real = ::realpath(path.c_str(), resolved) != nullptr ? resolved : path;
    const auto named = [&real](const std::string& name) {
        return !name.empty() && real == "/dev/" + name;
    };
    // Lines such as "ttyS0  -W- (EC p a)  4:64": the name first, the device number last.
    std::ifstream consoles("/proc/consoles");
    for (std::string line; std::getline(consoles, line);) {
        std::istringstream fields(line);
        std::string name, field, number;
        fields >> name;
        while (fields >> field) {
            number = field;
        }
        unsigned major = 0, minor = 0;
        char colon = 0;
        std::istringstream numbers(number);
        const bool numbered = static_cast<bool>(numbers >> major >> colon >> minor) && colon == ':';
        if (named(name) || (numbered && st.st_rdev == makedev(major, minor))) {
            return true;
        }
    }
    std::ifstream active("/sys/class/tty/console/active");
    for (std::string name; active >> name;) {
        if (named(name)) {
            return true;
        }
    }
    return false;
}

int ioctlRetry(int fd, unsigned long request, void* arg) {
    int result;
    do {
        result = ::ioctl(fd, request, arg);
    } while (result < 0 && errno == EINTR);
    return result;
}

class PosixSerialApi : public SerialApi {
public:
    PosixSerialApi() : m_cancelFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
    ~PosixSerialApi() override {
        for (const auto& [fd, port] : m_ports) {
            release(fd);
        }
        if (m_cancelFd >= 0) {
            ::close(m_cancelFd);
        }
    }
    PosixSerialApi(const PosixSerialApi&) = delete;
    PosixSerialApi& operator=(const PosixSerialApi&) = delete;

    Handle createFile(const char* name) override {
        const std::string path = line::devicePath(name);
        // Even opening a console's line may change it; look before.
        if (isConsole(path)) {
            setOpenError(kConsoleText);
            return kInvalidHandle;
        }
        const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            setOpenError(line::openErrorText(errno));
            return kInvalidHandle;
        }
        // TIOCEXCL keeps other programs out, but not root: look for a holder first. flock covers
        // programs that lock instead, and descriptors that are not terminals.
        int exclusive = 0;
        const bool held = (::ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive != 0) ||
                          (::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK);
        if (held) {
            ::close(fd);
            setOpenError(line::kBusyText);
            return kInvalidHandle;
        }
        ::ioctl(fd, TIOCEXCL);  // fails harmlessly on anything but a terminal

        Port port;
        struct stat st {};
        port.regularFile = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
        // Any terminal is read raw, whether or not its line is set up later: a cooked one would
        // hold a scan without a line end and echo it back to the scanner.
        termios2 t{};
        if (ioctlRetry(fd, TCGETS2, &t) == 0) {
            termios2 raw = line::rawLine(t);
            ioctlRetry(fd, TCSETS2, &raw);
            port.marked = readsMarked(fd);
        }
        std::lock_guard<std::mutex> guard(m_mutex);
        m_ports[fd] = port;
        m_lastOpenError.clear();
        return fd;
    }

    bool getCommState(Handle device, Dcb& dcb) override {
        const std::optional<Port> port = find(device);
        termios2 t{};
        if (!port || ioctlRetry(fd(device), TCGETS2, &t) != 0) {
            return false;
        }
        int bits = 0;
        const std::optional<int> modemBits =
            ioctlRetry(fd(device), TIOCMGET, &bits) == 0 ? std::optional<int>(bits) : std::nullopt;
        dcb = line::dcbFromTermios(t, modemBits, port->kept);
        return true;
    }

    bool setCommState(Handle device, const Dcb& dcb) override {
        termios2 current{};
        if (!find(device) || ioctlRetry(fd(device), TCGETS2, &current) != 0) {
            return false;
        }
        // Fields no line offers are left as they are; the others still apply.
        const line::LineRequest wanted = line::termiosForDcb(dcb, current);
        termios2 request = wanted.termios;
        const bool set = ioctlRetry(fd(device), TCSETS2, &request) == 0;
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            const auto it = m_ports.find(fd(device));
            if (it != m_ports.end()) {
                if (set) {
                    it->second.kept = {dcb.fOutxDsrFlow, dcb.fDtrControl};
                }
                it->second.marked = readsMarked(fd(device));
            }
        }
        if (!set) {
            return false;
        }
        // Pseudo-terminals have no modem lines: the failure changes nothing worth reporting.
        int dtr = TIOCM_DTR;
        ioctlRetry(fd(device), line::dtrRaised(dcb) ? TIOCMBIS : TIOCMBIC, &dtr);
        // The kernel takes what it can and says nothing about the rest.
        termios2 actual{};
        return ioctlRetry(fd(device), TCGETS2, &actual) == 0 &&
               line::lineMatches(wanted.termios, actual) && wanted.refused.empty();
    }

    bool setCommTimeouts(Handle device, const CommTimeouts& timeouts) override {
        std::lock_guard<std::mutex> guard(m_mutex);
        const auto it = m_ports.find(fd(device));
        if (it == m_ports.end()) {
            return false;
        }
        it->second.timeouts = timeouts;
        return true;
    }

    bool readFile(Handle device, void* buffer, std::uint32_t size,
                  std::uint32_t& received) override;

    bool closeHandle(Handle device) override {
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            if (m_ports.erase(fd(device)) == 0) {
                return false;  // never close a descriptor this object did not open
            }
        }
        return release(fd(device));
    }

    void cancelReads() override {
        m_cancelled.store(true);
        if (m_cancelFd >= 0) {
            const std::uint64_t one = 1;
            [[maybe_unused]] const ssize_t n = ::write(m_cancelFd, &one, sizeof one);
        }
    }

    std::string lastOpenError() const override {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_lastOpenError;
    }

private:
    static int fd(Handle device) { return static_cast<int>(device); }

    static bool readsMarked(int fd) {
        termios2 t{};
        return ioctlRetry(fd, TCGETS2, &t) == 0 && (t.c_iflag & PARMRK) != 0;
    }

    // The error-mark decoder's state outlives one read: a mark may straddle two.
    void keepMarks(int fd, const line::ErrorMarks& marks) {
        std::lock_guard<std::mutex> guard(m_mutex);
        const auto it = m_ports.find(fd);
        if (it != m_ports.end()) {
            it->second.marks = marks;
        }
    }

    // On a pseudo-terminal the exclusive flag outlives the descriptor: clear it, or our own
    // reconnect (and the next start) would be refused.
    static bool release(int fd) {
        ::ioctl(fd, TIOCNXCL);
        return ::close(fd) == 0;
    }

    std::optional<Port> find(Handle device) const {
        std::lock_guard<std::mutex> guard(m_mutex);
        const auto it = m_ports.find(fd(device));
        if (it == m_ports.end()) {
            return std::nullopt;
        }
        return it->second;
    }

    void setOpenError(std::string reason) {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_lastOpenError = std::move(reason);
    }

    mutable std::mutex m_mutex;
    std::map<int, Port> m_ports;
    std::string m_lastOpenError;
    const int m_cancelFd;
    std::atomic<bool> m_cancelled{false};
};

// Win32 read time-outs: ReadIntervalTimeout is the longest gap between two bytes once one has
// arrived; the total is multiplier * size + constant from the start. MAXDWORD with zero totals
// returns what is there at once; MAXDWORD, MAXDWORD and a constant returns on the first byte or
// after the constant. All zero: wait until the buffer is full.
bool PosixSerialApi::readFile(Handle device, void* buffer, std::uint32_t size,
                              std::uint32_t& received) {
    received = 0;
    std::optional<Port> port = find(device);
    if (!port) {
        return false;
    }
    struct KeepMarks {
        PosixSerialApi& api;
        int fd;
        const line::ErrorMarks& marks;
        ~KeepMarks() { api.keepMarks(fd, marks); }
    } keep{*this, fd(device), port->marks};
    if (m_cancelled.load() || size == 0) {
        return true;
    }
    const CommTimeouts& t = port->timeouts;
    const Clock::time_point start = Clock::now();
    const bool returnAtOnce = t.ReadIntervalTimeout == kMaxDword &&
                              t.ReadTotalTimeoutMultiplier == 0 && t.ReadTotalTimeoutConstant == 0;
    const bool firstByteEnds =
        t.ReadIntervalTimeout == kMaxDword && t.ReadTotalTimeoutMultiplier == kMaxDword &&
        t.ReadTotalTimeoutConstant != 0 && t.ReadTotalTimeoutConstant != kMaxDword;
    std::optional<Clock::time_point> totalDeadline;
    if (firstByteEnds) {
        totalDeadline = start + std::chrono::milliseconds(t.ReadTotalTimeoutConstant);
    } else if (!returnAtOnce &&
               (t.ReadTotalTimeoutMultiplier != 0 || t.ReadTotalTimeoutConstant != 0)) {
        const std::uint64_t ms =
            std::uint64_t{t.ReadTotalTimeoutMultiplier} * size + t.ReadTotalTimeoutConstant;
        totalDeadline = start + std::chrono::milliseconds(ms);
    }
    std::optional<std::chrono::milliseconds> interval;
    if (t.ReadIntervalTimeout != 0 && t.ReadIntervalTimeout != kMaxDword) {
        interval = std::chrono::milliseconds(t.ReadIntervalTimeout);
    }

    auto* bytes = static_cast<unsigned char*>(buffer);
    const int device_fd = fd(device);
    Clock::time_point lastByte = start;
    bool hungUp = false;    // poll reported POLLHUP/POLLERR
    bool readable = false;  // the last poll reported input
    for (;;) {
        bool atFileEnd = false;
        // Decoding never yields more bytes than it is given, so the block cannot overflow.
        const ssize_t n = ::read(device_fd, bytes + received, size - received);
        if (n > 0) {
            const std::size_t data =
                port->marked ? port->marks.strip(bytes + received, static_cast<std::size_t>(n))
                             : static_cast<std::size_t>(n);
            received += static_cast<std::uint32_t>(data);
            lastByte = Clock::now();
            readable = false;
            if (received == size || (firstByteEnds && received > 0)) {
                return true;
            }
            continue;
        }
        // A raw terminal (VMIN=VTIME=0) reads 0 when it has nothing; 0 is the end of the
        // stream only after poll said there was something to read, or a hang-up.
        const bool endOfStream = n == 0 && (hungUp || readable);
        if (n == 0 && port->regularFile) {
            atFileEnd = true;  // a file may still grow: like a silent line
        } else if (endOfStream || (n < 0 && (errno == EIO || (errno == EAGAIN && hungUp)))) {
            // The other end is gone (unplugged adapter, closed pseudo-terminal master). Bytes
            // that came before it are delivered; the next read fails.
            return received > 0;
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && errno != EAGAIN) {
            return false;
        }

        if (returnAtOnce) {
            return true;
        }
        std::optional<Clock::time_point> deadline = totalDeadline;
        if (received > 0 && interval) {
            const Clock::time_point gapEnd = lastByte + *interval;
            deadline = deadline ? std::min(*deadline, gapEnd) : gapEnd;
        }
        const Clock::time_point now = Clock::now();
        if (deadline && now >= *deadline) {
            return true;
        }
        std::optional<Clock::duration> wait;
        if (deadline) {
            wait = *deadline - now;
        }
        if (atFileEnd || m_cancelFd < 0) {
            wait = wait ? std::min<Clock::duration>(*wait, kFilePollInterval) : kFilePollInterval;
        }
        timespec timeout{};
        if (wait) {
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(*wait).count();
            timeout.tv_sec = static_cast<time_t>(ns / 1000000000);
            timeout.tv_nsec = static_cast<long>(ns % 1000000000);
        }
        pollfd fds[2] = {{m_cancelFd, POLLIN, 0}, {device_fd, POLLIN, 0}};
        const nfds_t count = atFileEnd ? 1 : 2;
        const int ready = ::ppoll(fds, count, wait ? &timeout : nullptr, nullptr);
        if (ready < 0 && errno != EINTR) {
            return false;
        }
        if (m_cancelled.load()) {
            return true;
        }
        readable = false;
        if (count == 2) {
            if ((fds[1].revents & POLLNVAL) != 0) {
                return false;
            }
            if ((fds[1].revents & (POLLHUP | POLLERR)) != 0) {
                hungUp = true;
            }
            readable = (fds[1].revents & POLLIN) != 0;
        }
    }
}

}  // namespace

std::unique_ptr<SerialApi> makeSerialApi() {
    return std::make_unique<PosixSerialApi>();
}

bool line::isConsole(const std::string& path) {
    return platform::isConsole(path);
}

}  // namespace platform
