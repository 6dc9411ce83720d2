// Signals through a self-pipe. They stay blocked except while the main thread waits in ppoll, so
// the reader thread is never interrupted and no signal is lost between two waits.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "app/pelmorad/stop_signals.h"

namespace pelmorad {
namespace {

int g_pipe[2] = {-1, -1};
sigset_t g_waitMask;
std::atomic<int> g_lastSignal{0};

void onSignal(int signo) {
    const int saved = errno;
    const char code = signo == SIGHUP ? 'H' : 'S';
    if (signo != SIGHUP) {
        g_lastSignal.store(signo);
    }
    [[maybe_unused]] ssize_t n = ::write(g_pipe[1], &code, 1);
    errno = saved;
}

}  // namespace

bool installStopSignals(std::string& error) {
    if (::pipe(g_pipe) != 0) {
        error = std::string("cannot create a pipe: ") + std::strerror(errno);
        return false;
    }
    for (int fd : g_pipe) {
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        ::fcntl(fd, F_SETFL, O_NONBLOCK);
    }
    sigset_t handled;
    sigemptyset(&handled);
    sigaddset(&handled, SIGINT);
    sigaddset(&handled, SIGTERM);
    sigaddset(&handled, SIGHUP);
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigfillset(&action.sa_mask);
    for (int signo : {SIGINT, SIGTERM, SIGHUP}) {
        ::sigaction(signo, &action, nullptr);
    }
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGPIPE, &ignore, nullptr);
    // Threads started later inherit the blocked set; ppoll opens it for the main thread alone.
    ::pthread_sigmask(SIG_BLOCK, &handled, &g_waitMask);
    sigdelset(&g_waitMask, SIGINT);
    sigdelset(&g_waitMask, SIGTERM);
    sigdelset(&g_waitMask, SIGHUP);
    return true;
}

Wake waitForWake(int timeoutMs) {
    pollfd fd{g_pipe[0], POLLIN, 0};
    timespec limit{timeoutMs / 1000, (timeoutMs % 1000) * 1000000L};
    const int n = ::ppoll(&fd, 1, timeoutMs < 0 ? nullptr : &limit, &g_waitMask);
    if (n < 0 && errno != EINTR) {
        return Wake::Stop;
    }
    // A signal that interrupted ppoll has already written its byte.
    Wake wake = Wake::Timeout;
    char codes[16];
    ssize_t got;
    while ((got = ::read(g_pipe[0], codes, sizeof codes)) > 0) {
        for (ssize_t i = 0; i < got; ++i) {
            if (codes[i] == 'S') {
                wake = Wake::Stop;
            } else if (wake != Wake::Stop) {
                wake = Wake::Reconnect;
            }
        }
    }
    return wake;
}

void requestStop() {
    const char code = 'S';
    [[maybe_unused]] ssize_t n = ::write(g_pipe[1], &code, 1);
}

std::string lastStopReason() {
    switch (g_lastSignal.load()) {
        case SIGINT:
            return "SIGINT";
        case SIGTERM:
            return "SIGTERM";
        default:
            return "a request";
    }
}

}  // namespace pelmorad
