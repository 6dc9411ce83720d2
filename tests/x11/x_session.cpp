#include "x11/x_session.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <thread>

#include "support/settings_store.h"

extern char** environ;

namespace xtest {

namespace {

long long nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

Child::Child(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv,
             bool captureStdout, bool captureStderr) {
    std::vector<char*> args;
    for (const std::string& a : argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);
    std::vector<std::string> envStore;
    for (char** e = environ; *e != nullptr; ++e) {
        envStore.emplace_back(*e);
    }
    envStore.insert(envStore.end(), extraEnv.begin(), extraEnv.end());
    std::vector<char*> env;
    for (std::string& e : envStore) {
        env.push_back(e.data());
    }
    env.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    int outPipe[2] = {-1, -1};
    int errPipe[2] = {-1, -1};
    if (captureStdout && pipe2(outPipe, O_CLOEXEC) == 0) {
        posix_spawn_file_actions_adddup2(&actions, outPipe[1], STDOUT_FILENO);
    }
    if (captureStderr && pipe2(errPipe, O_CLOEXEC) == 0) {
        posix_spawn_file_actions_adddup2(&actions, errPipe[1], STDERR_FILENO);
    }
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), env.data());
    posix_spawn_file_actions_destroy(&actions);
    for (int* p : {outPipe, errPipe}) {
        if (p[1] >= 0) {
            close(p[1]);
        }
    }
    m_out = outPipe[0];
    m_err = errPipe[0];
    for (int fd : {m_out, m_err}) {
        if (fd >= 0) {
            fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
        }
    }
    m_pid = rc == 0 ? pid : -1;
}

Child::~Child() {
    stop();
}

Child::Child(Child&& o) noexcept
    : m_pid(o.m_pid),
      m_out(o.m_out),
      m_err(o.m_err),
      m_status(o.m_status),
      m_captured(std::move(o.m_captured)),
      m_capturedErr(std::move(o.m_capturedErr)) {
    o.m_pid = -1;
    o.m_out = -1;
    o.m_err = -1;
}

Child& Child::operator=(Child&& o) noexcept {
    if (this != &o) {
        stop();
        m_pid = o.m_pid;
        m_out = o.m_out;
        m_err = o.m_err;
        m_status = o.m_status;
        m_captured = std::move(o.m_captured);
        m_capturedErr = std::move(o.m_capturedErr);
        o.m_pid = -1;
        o.m_out = -1;
        o.m_err = -1;
    }
    return *this;
}

void Child::drain(int& fd, std::string& into) {
    if (fd < 0) {
        return;
    }
    char buf[65536];
    for (;;) {
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n > 0) {
            into.append(buf, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        break;
    }
}

const std::string& Child::output() {
    drain(m_out, m_captured);
    return m_captured;
}

const std::string& Child::errors() {
    drain(m_err, m_capturedErr);
    return m_capturedErr;
}

int Child::wait(int ms) {
    if (m_pid <= 0) {
        return m_status;
    }
    const long long end = nowMs() + ms;
    for (;;) {
        output();
        errors();
        int status = 0;
        const pid_t r = waitpid(m_pid, &status, WNOHANG);
        if (r == m_pid) {
            m_pid = -1;
            m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            output();
            errors();
            return m_status;
        }
        if (nowMs() >= end) {
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

void Child::stop() {
    if (m_pid > 0) {
        kill(m_pid, SIGTERM);
        if (wait(3000) < 0 && m_pid > 0) {
            kill(m_pid, SIGKILL);
            wait(3000);
        }
    }
    for (int* fd : {&m_out, &m_err}) {
        if (*fd >= 0) {
            close(*fd);
            *fd = -1;
        }
    }
}

int run(const std::vector<std::string>& argv, int timeoutMs, std::string* out) {
    Child c(argv, {}, true);
    if (!c.running()) {
        return -1;
    }
    const int status = c.wait(timeoutMs);
    if (out != nullptr) {
        *out = c.output();
    }
    return status;
}

bool haveProgram(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string dirs = path != nullptr ? path : "/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= dirs.size()) {
        const std::size_t end = dirs.find(':', start);
        const std::string dir = dirs.substr(start, end == std::string::npos ? end : end - start);
        if (access((dir + "/" + name).c_str(), X_OK) == 0) {
            return true;
        }
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
    }
    return false;
}

XSession::XSession() {
    if (!haveProgram("Xvfb")) {
        m_why = "Xvfb is not installed (tools/bootstrap.sh x11)";
        return;
    }
    char dir[] = "/tmp/pelmora-x11-XXXXXX";
    if (mkdtemp(dir) == nullptr) {
        m_why = "no temporary directory";
        return;
    }
    m_dir = dir;
    // Xvfb writes the display number it picked to the descriptor given by -displayfd.
    int fds[2];
    if (pipe(fds) != 0) {
        m_why = "no pipe";
        return;
    }
    m_server = Child({"Xvfb", "-displayfd", std::to_string(fds[1]), "-noreset", "-nolisten", "tcp",
                      "-screen", "0", "640x480x24"},
                     {}, false, true);
    close(fds[1]);
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    const long long end = nowMs() + 30000;
    while (number.find('\n') == std::string::npos && nowMs() < end) {
        if (poll(&p, 1, 200) > 0) {
            char buf[32];
            const ssize_t n = read(fds[0], buf, sizeof buf);
            if (n <= 0) {
                break;
            }
            number.append(buf, static_cast<std::size_t>(n));
        }
        if (m_server.wait(0) >= 0) {
            break;
        }
    }
    close(fds[0]);
    if (number.find('\n') == std::string::npos) {
        m_why = "Xvfb did not start: " + m_server.errors();
        m_server.stop();
        return;
    }
    m_display = ":" + number.substr(0, number.find('\n'));
    m_ok = true;
}

XSession::~XSession() {
    m_server.stop();
    if (!m_dir.empty()) {
        run({"rm", "-rf", m_dir}, 10000);
    }
}

bool XSession::setLayout(const std::string& layouts, const std::string& options) {
    std::vector<std::string> argv{"setxkbmap", "-display", m_display, "-layout", layouts};
    if (!options.empty()) {
        argv.push_back("-option");
        argv.push_back(options);
    }
    return run(argv) == 0;
}

void XSession::stopServer() {
    m_server.stop();
}

bool XSession::startServer() {
    m_server =
        Child({"Xvfb", m_display, "-noreset", "-nolisten", "tcp", "-screen", "0", "640x480x24"}, {},
              false, true);
    const long long end = nowMs() + 30000;
    while (m_server.running() && nowMs() < end) {
        if (run({"xdpyinfo", "-display", m_display}, 5000) == 0) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

Child XSession::startReceiver(const std::vector<std::string>& options) {
    const std::string ready = m_dir + "/ready" + std::to_string(++m_receivers);
    std::vector<std::string> argv{PELMORA_XRECEIVER, "--display", m_display, "--ready-file", ready};
    argv.insert(argv.end(), options.begin(), options.end());
    Child c(argv, {}, true, true);
    const long long end = nowMs() + 20000;
    struct stat st {};
    while (c.running() && stat(ready.c_str(), &st) != 0 && nowMs() < end) {
        if (c.wait(10) >= 0) {
            break;
        }
    }
    return c;
}

std::string collect(Child& receiver, std::size_t bytes, int quietMs) {
    std::size_t seen = receiver.output().size();
    long long lastChange = nowMs();
    while (receiver.output().size() < bytes && nowMs() - lastChange < quietMs) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (receiver.output().size() != seen) {
            seen = receiver.output().size();
            lastChange = nowMs();
        }
        if (!receiver.running()) {
            break;
        }
    }
    return receiver.output();
}

Pty::Pty() {
    m_master = posix_openpt(O_RDWR | O_NOCTTY);
    if (m_master >= 0 && grantpt(m_master) == 0 && unlockpt(m_master) == 0) {
        m_slave = ptsname(m_master);
    }
}

Pty::~Pty() {
    if (m_master >= 0) {
        close(m_master);
    }
}

bool Pty::send(const std::vector<std::uint16_t>& units) {
    std::string bytes;
    for (std::uint16_t u : units) {
        bytes += static_cast<char>(u);
    }
    return write(m_master, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
}

bool configHonoured(const std::string& path) {
    if (FILE* f = std::fopen(path.c_str(), "w")) {
        std::fputs("DeviceName=\"/probe/value\"\n", f);
        std::fclose(f);
    }
    const char* old = std::getenv("PELMORA_CONFIG");
    const std::string saved = old != nullptr ? old : "";
    setenv("PELMORA_CONFIG", path.c_str(), 1);
    auto store = util::makeUserSettingsStore("Vantel", "Pelmora");
    const auto value = store->readString("", "DeviceName");
    if (old != nullptr) {
        setenv("PELMORA_CONFIG", saved.c_str(), 1);
    } else {
        unsetenv("PELMORA_CONFIG");
    }
    std::remove(path.c_str());
    return value && value->bytes() == "/probe/value";
}

std::string utf8(const std::vector<std::uint16_t>& codeUnits) {
    std::string out;
    for (std::uint16_t c : codeUnits) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xc0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3f));
        } else {
            out += static_cast<char>(0xe0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3f));
            out += static_cast<char>(0x80 | (c & 0x3f));
        }
    }
    return out;
}

std::vector<std::uint16_t> randomLatin1(std::size_t count, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> pick(0, 190);
    std::vector<std::uint16_t> out;
    for (std::size_t i = 0; i < count; ++i) {
        const int n = pick(rng);
        out.push_back(static_cast<std::uint16_t>(n < 95 ? 0x20 + n : 0xa0 + (n - 95)));
    }
    return out;
}

}  // namespace xtest
