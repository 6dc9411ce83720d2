// Runs a program of the build as a child process: arguments, extra environment, captured output,
// signals, and its exit status with a time limit.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

extern char** environ;

namespace daemon_test {

class ChildProcess {
public:
    using Clock = std::chrono::steady_clock;

    ChildProcess(const std::vector<std::string>& argv,
                 const std::map<std::string, std::string>& env = {}) {
        int out[2];
        int err[2];
        if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) {
            return;
        }
        std::vector<std::string> envStrings;
        for (char** e = environ; *e != nullptr; ++e) {
            const std::string entry = *e;
            const std::string name = entry.substr(0, entry.find('='));
            if (env.count(name) == 0) {
                envStrings.push_back(entry);
            }
        }
        for (const auto& [name, value] : env) {
            if (value != kUnset) {
                envStrings.push_back(name + "=" + value);
            }
        }
        std::vector<char*> args;
        for (const auto& a : argv) {
            args.push_back(const_cast<char*>(a.c_str()));
        }
        args.push_back(nullptr);
        std::vector<char*> envp;
        for (auto& e : envStrings) {
            envp.push_back(e.data());
        }
        envp.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_adddup2(&actions, err[1], 2);
        // The test may block signals in its own threads; the child starts with defaults.
        posix_spawnattr_t attr;
        posix_spawnattr_init(&attr);
        sigset_t none;
        sigemptyset(&none);
        posix_spawnattr_setsigmask(&attr, &none);
        posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK);
        if (::posix_spawn(&m_pid, args[0], &actions, &attr, args.data(), envp.data()) != 0) {
            m_pid = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attr);
        ::close(out[1]);
        ::close(err[1]);
        m_out = out[0];
        m_err = err[0];
    }

    ~ChildProcess() {
        if (m_pid > 0 && !m_status) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        ::close(m_out);
        ::close(m_err);
    }

    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return m_pid > 0; }
    pid_t pid() const { return m_pid; }
    void signal(int signo) { ::kill(m_pid, signo); }

    // Collects output until the child exits or `limit` passes; the exit status (or the signal
    // number + 128) when it exited.
    std::optional<int> wait(std::chrono::milliseconds limit) {
        const auto end = Clock::now() + limit;
        while (!m_status) {
            pump(5);
            int status = 0;
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
                m_exitedAt = Clock::now();
            } else if (Clock::now() > end) {
                return std::nullopt;
            }
        }
        while (pump(0)) {
        }
        return m_status;
    }

    // Waits for the exit without polling (for timing it); the child must not fill its pipes.
    std::optional<int> waitExit() {
        int status = 0;
        if (::waitpid(m_pid, &status, 0) != m_pid) {
            return std::nullopt;
        }
        m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        m_exitedAt = Clock::now();
        while (pump(0)) {
        }
        return m_status;
    }

    // Collects output until `predicate(stdout, stderr)` holds or `limit` passes.
    template <typename Predicate>
    bool waitForOutput(Predicate predicate, std::chrono::milliseconds limit) {
        const auto end = Clock::now() + limit;
        while (!predicate(m_stdout, m_stderr)) {
            if (Clock::now() > end) {
                return false;
            }
            pump(10);
        }
        return true;
    }

    // Closes our end of the child's standard output: its next write fails (a reader gone away).
    void closeStdout() {
        ::close(m_out);
        m_out = -1;
    }

    const std::string& out() const { return m_stdout; }
    const std::string& err() const { return m_stderr; }
    Clock::time_point exitedAt() const { return m_exitedAt; }

    static constexpr const char* kUnset = "\x01unset";

private:
    // Reads what is available; true when something was read.
    bool pump(int timeoutMs) {
        pollfd fds[2] = {{m_out, POLLIN, 0}, {m_err, POLLIN, 0}};
        if (::poll(fds, 2, timeoutMs) <= 0) {
            return false;
        }
        bool any = false;
        char buffer[4096];
        for (int i = 0; i < 2; ++i) {
            if (fds[i].revents & (POLLIN | POLLHUP)) {
                const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
                if (n > 0) {
                    (i == 0 ? m_stdout : m_stderr).append(buffer, static_cast<std::size_t>(n));
                    any = true;
                }
            }
        }
        return any;
    }

    pid_t m_pid = -1;
    int m_out = -1;
    int m_err = -1;
    std::string m_stdout;
    std::string m_stderr;
    std::optional<int> m_status;
    Clock::time_point m_exitedAt;
};

}  // namespace daemon_test
