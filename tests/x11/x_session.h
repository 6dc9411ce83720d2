// A private X server for one test: Xvfb on a free display, layouts set with setxkbmap, and
// pelmora-xreceiver windows whose output the test reads back.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace xtest {

// Runs a program; optionally feeds nothing and captures standard output through a pipe.
class Child {
public:
    Child() = default;
    Child(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv,
          bool captureStdout, bool captureStderr = false);
    ~Child();
    Child(Child&& other) noexcept;
    Child& operator=(Child&& other) noexcept;
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    bool running() const { return m_pid > 0; }
    int pid() const { return m_pid; }
    // Reads what the child wrote so far (non-blocking) and appends it to the captured text.
    const std::string& output();
    const std::string& errors();
    // Waits up to `ms` for the child to end; its exit status, or -1 when it still runs.
    int wait(int ms);
    // Ends the child (SIGTERM, then SIGKILL) and reaps it.
    void stop();

private:
    void drain(int& fd, std::string& into);
    int m_pid = -1;
    int m_out = -1;
    int m_err = -1;
    int m_status = -1;
    std::string m_captured;
    std::string m_capturedErr;
};

// Runs a program to its end; its exit status (-1 when it could not run or timed out).
int run(const std::vector<std::string>& argv, int timeoutMs = 30000, std::string* out = nullptr);

bool haveProgram(const std::string& name);

class XSession {
public:
    XSession();
    ~XSession();
    XSession(const XSession&) = delete;
    XSession& operator=(const XSession&) = delete;

    // False (with why()) when Xvfb could not be started.
    bool ok() const { return m_ok; }
    const std::string& why() const { return m_why; }
    const std::string& display() const { return m_display; }

    // setxkbmap -layout layouts [-variant variants] on this display.
    bool setLayout(const std::string& layouts, const std::string& options = {});

    // The server goes away (a logout, a display manager restart), and a new one takes its
    // display number; startServer is true when it accepts clients. Meanwhile another server
    // may take the number: tests that do this run alone.
    void stopServer();
    bool startServer();

    // Starts a receiver and waits until it has the focus; extra options as for the tool.
    Child startReceiver(const std::vector<std::string>& options = {});

private:
    Child m_server;
    std::string m_display;
    std::string m_dir;
    bool m_ok = false;
    std::string m_why;
    int m_receivers = 0;
};

// Reads the receiver's output until it holds `bytes` bytes or nothing new came for `quietMs`.
std::string collect(Child& receiver, std::size_t bytes, int quietMs = 3000);

// A pseudo-terminal standing in for a scanner's port: the test writes to the master side.
class Pty {
public:
    Pty();
    ~Pty();
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;
    bool ok() const { return !m_slave.empty(); }
    const std::string& slave() const { return m_slave; }
    // Writes the code units' low bytes in one write.
    bool send(const std::vector<std::uint16_t>& units);

private:
    int m_master = -1;
    std::string m_slave;
};

// Whether the settings store reads the file PELMORA_CONFIG names (`path` is used as a probe and
// removed).
bool configHonoured(const std::string& path);

// The UTF-8 form of Latin-1 code units as a client receives them.
std::string utf8(const std::vector<std::uint16_t>& codeUnits);

// `count` printable Latin-1 characters (U+0020..U+007E, U+00A0..U+00FF), the same for the same
// seed.
std::vector<std::uint16_t> randomLatin1(std::size_t count, unsigned seed);

}  // namespace xtest
