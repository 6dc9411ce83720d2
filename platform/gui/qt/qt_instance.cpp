// One copy per desktop session: a lock file held with flock for as long as the process lives, and
// a local socket beside it on which a later start asks the holder to come forward. Both live in
// the user's runtime directory and are named after the display, so each session has its own.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>
#include <utility>

#include "platform/gui/qt/qt_peers.h"

namespace afx::qt {

namespace {

bool g_claimed = false;

QString sessionPath(const std::string& name) {
    QString dir = qEnvironmentVariable("XDG_RUNTIME_DIR");
    QString base = QString::fromStdString(name);
    if (dir.isEmpty()) {
        // /tmp is shared by every user: the user id keeps them apart.
        dir = QDir::tempPath();
        base += QStringLiteral("-%1").arg(::getuid());
    }
    QString display = QGuiApplication::platformName() == QLatin1String("wayland")
                          ? qEnvironmentVariable("WAYLAND_DISPLAY", QStringLiteral("wayland-0"))
                          : qEnvironmentVariable("DISPLAY");
    display.replace(QLatin1Char('/'), QLatin1Char('_'));
    return dir + QLatin1Char('/') + base + QLatin1Char('-') + display;
}

// Asks the holder to come forward; it may still be starting and not listening yet.
void askHolder(const QString& socketPath) {
    for (int attempt = 0; attempt < 50; ++attempt) {
        QLocalSocket socket;
        socket.connectToServer(socketPath);
        if (socket.waitForConnected(500)) {
            socket.write("show\n");
            socket.waitForBytesWritten(1000);
            socket.disconnectFromServer();
            return;
        }
        QThread::msleep(100);
    }
}

}  // namespace

bool claimInstance(const std::string& name, std::function<void()> comeForward) {
    const QString platform = QGuiApplication::platformName();
    // Without a display there is no desktop session to share: each copy is on its own.
    if (g_claimed || platform == QLatin1String("offscreen") ||
        platform == QLatin1String("minimal")) {
        return true;
    }
    const QString path = sessionPath(name);
    const QString socketPath = path + QStringLiteral(".socket");
    const int lock = ::open(QFile::encodeName(path + QStringLiteral(".lock")).constData(),
                            O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lock < 0) {
        return true;  // a copy that cannot tell is better than none
    }
    if (::flock(lock, LOCK_EX | LOCK_NB) != 0) {
        ::close(lock);
        askHolder(socketPath);
        return false;
    }
    // The lock stays open, and held, until the process ends; a socket left by a copy that
    // died is ours to replace.
    g_claimed = true;
    auto* server = new QLocalServer(QCoreApplication::instance());
    server->setSocketOptions(QLocalServer::UserAccessOption);
    QLocalServer::removeServer(socketPath);
    server->listen(socketPath);
    QObject::connect(server, &QLocalServer::newConnection,
                     [server, comeForward = std::move(comeForward)] {
                         while (QLocalSocket* socket = server->nextPendingConnection()) {
                             QObject::connect(socket, &QLocalSocket::disconnected, socket,
                                              &QObject::deleteLater);
                             comeForward();
                         }
                     });
    return true;
}

}  // namespace afx::qt
