// Ends the tray program on SIGTERM, SIGINT and SIGHUP (logout, kill, Ctrl+C) the way Exit does, so
// the reader stops, the port is closed and the keys bound for typing are given back.
#include <QCoreApplication>
#include <QObject>
#include <QSocketNotifier>

#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>

#include "app/pelmora.h"

extern CPelmora theApp;

namespace {

int g_wake[2] = {-1, -1};

void onSignal(int) {
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_wake[1], &byte, 1);
    errno = saved;
}

// Runs when the Qt application is made: the notifier needs its event loop.
void installExitOnSignal() {
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
        if (!exiting) {
            exiting = true;
            theApp.OnExit();
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

Q_COREAPP_STARTUP_FUNCTION(installExitOnSignal)
