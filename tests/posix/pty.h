// A pseudo-terminal pair that a test opens for itself: the master plays the scanner, the slave
// is the "serial port" under test. Never a real /dev/ttyS*.
#pragma once

#include <asm/termbits.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>

namespace testutil {

class Pty {
public:
    Pty() {
        // openpty's header brings glibc's termios, which clashes with the kernel's termios2.
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        char name[256] = {};
        if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0 ||
            ::ptsname_r(m_master, name, sizeof name) != 0) {
            throw std::runtime_error("cannot create a pseudo-terminal");
        }
        m_slavePath = name;
        m_slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (m_slave < 0) {
            throw std::runtime_error("cannot open " + m_slavePath);
        }
    }
    ~Pty() {
        closeMaster();
        ::close(m_slave);
    }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    const std::string& slavePath() const { return m_slavePath; }
    int master() const { return m_master; }
    // The test's own descriptor of the slave (the code under test opens it by name): reads the
    // line even while the code under test holds the port exclusively.
    int slave() const { return m_slave; }

    void send(const std::string& bytes) const {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(m_master, bytes.data() + done, bytes.size() - done);
            if (n <= 0) {
                throw std::runtime_error("write to pty master failed");
            }
            done += static_cast<std::size_t>(n);
        }
    }
    // The scanner is unplugged.
    void closeMaster() {
        if (m_master >= 0) {
            ::close(m_master);
            m_master = -1;
        }
    }

private:
    int m_master = -1;
    int m_slave = -1;
    std::string m_slavePath;
};

// The slave's line as the kernel holds it.
inline termios2 lineOf(const Pty& pty) {
    termios2 t{};
    if (::ioctl(pty.slave(), TCGETS2, &t) != 0) {
        throw std::runtime_error("TCGETS2 failed");
    }
    return t;
}

template <typename Pred>
bool waitFor(Pred pred, std::chrono::milliseconds limit = std::chrono::milliseconds(10000)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

}  // namespace testutil
