#include "platform/qt/session_hooks.h"

#include <QGuiApplication>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "reader/own_window_focus.h"

namespace {

struct HeldMessage {
    QtMsgType type;
    std::string category;
    QString text;
};

std::mutex g_mutex;
std::string g_program;
std::vector<HeldMessage> g_held;
QtMessageHandler g_previous = nullptr;
bool g_installed = false;

std::string displayDescription() {
    const char* x = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    const bool hasX = x != nullptr && x[0] != '\0';
    const bool hasWayland = wayland != nullptr && wayland[0] != '\0';
    if (!hasX && !hasWayland) {
        return "no display: neither DISPLAY nor WAYLAND_DISPLAY is set";
    }
    std::string text = "cannot connect to the display (";
    text += hasX ? std::string("DISPLAY=") + x : "";
    text += hasX && hasWayland ? ", " : "";
    text += hasWayland ? std::string("WAYLAND_DISPLAY=") + wayland : "";
    return text + ")";
}

void holdMessage(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    std::lock_guard<std::mutex> guard(g_mutex);
    if (type == QtFatalMsg) {
        // Only a missing platform ends the construction of the application this way.
        std::fprintf(stderr,
                     "%s: %s; the tray program needs a desktop session (pelmorad reads the "
                     "scanner without one)\n",
                     g_program.c_str(), displayDescription().c_str());
        std::fflush(stderr);
        std::_Exit(1);
    }
    g_held.push_back({type, context.category != nullptr ? context.category : "", text});
}

}  // namespace

AfxNoDisplayExit::AfxNoDisplayExit(const char* program) {
    std::string name = program != nullptr ? program : "pelmora";
    const std::size_t slash = name.find_last_of("/\\");
    g_program = slash == std::string::npos ? name : name.substr(slash + 1);
    g_previous = qInstallMessageHandler(holdMessage);
    g_installed = true;
}

AfxNoDisplayExit::~AfxNoDisplayExit() {
    done();
}

void AfxNoDisplayExit::done() {
    if (!g_installed) {
        return;
    }
    qInstallMessageHandler(g_previous);
    g_installed = false;
    std::vector<HeldMessage> held;
    {
        std::lock_guard<std::mutex> guard(g_mutex);
        held.swap(g_held);
    }
    for (const HeldMessage& message : held) {
        const QMessageLogContext context(nullptr, 0, nullptr, message.category.c_str());
        qt_message_output(message.type, context, message.text);
    }
}

void AfxTrackOwnFocus() {
    QObject::connect(
        qApp, &QGuiApplication::applicationStateChanged, qApp,
        [](Qt::ApplicationState state) { setOwnWindowActive(state == Qt::ApplicationActive); });
    setOwnWindowActive(QGuiApplication::applicationState() == Qt::ApplicationActive);
}
