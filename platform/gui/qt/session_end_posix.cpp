// The session's end on POSIX: SIGTERM, SIGINT and SIGHUP (logout, kill, Ctrl+C) reach the
// handler on the UI thread through a socket pair that the event loop watches.
#include <QCoreApplication>
#include <QObject>
#include <QSocketNotifier>

#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>

#include "platform/gui/afxwin.h"

namespace {

int g_wake[2] = {-1, -1};
void (*g_handler)() = nullptr;

void onSignal(int) {
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_wake[1], &byte, 1);
    errno = saved;
}

// Runs when the Qt application is made: the notifier needs its event loop.
void installExitOnSignal() {
    if (g_handler == nullptr) {
        return;
    }
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, g_wake) != 0) {
        return;
    }
    auto* notifier =
        new QSocketNotifier(g_wake[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, [] {
        char drain[16];
        while (::read(g_wake[0], drain, sizeof drain) > 0) {
        }
        static bool exiting = false;
        if (!exiting && g_handler != nullptr) {
            exiting = true;
            g_handler();
        }
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        sigaction(signal, &action, nullptr);
    }
}

}  // namespace

void AfxSetSessionEndHandler(void (*handler)()) {
    g_handler = handler;
}

Q_COREAPP_STARTUP_FUNCTION(installExitOnSignal)
