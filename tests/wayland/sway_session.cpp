#include "wayland/sway_session.h"

#include <dirent.h>
#include <pwd.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <thread>

namespace swaytest {

namespace {

long long nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The compositor's socket and IPC socket in `dir`, once both exist.
bool findSockets(const std::string& dir, std::string& wayland, std::string& ipc) {
    DIR* d = opendir(dir.c_str());
    if (d == nullptr) {
        return false;
    }
    while (dirent* e = readdir(d)) {
        const std::string name = e->d_name;
        if (name.rfind("wayland-", 0) == 0 && name.find(".lock") == std::string::npos) {
            wayland = name;
        } else if (name.rfind("sway-ipc.", 0) == 0) {
            ipc = dir + "/" + name;
        }
    }
    closedir(d);
    return !wayland.empty() && !ipc.empty();
}

}  // namespace

SwaySession::SwaySession(bool xwayland) : m_xwayland(xwayland) {
    if (!xtest::haveProgram("sway")) {
        m_why = "sway is not installed (tools/bootstrap.sh wayland)";
        return;
    }
    char dir[] = "/tmp/pelmora-sway-XXXXXX";
    if (mkdtemp(dir) == nullptr) {
        m_why = "no temporary directory";
        return;
    }
    m_dir = dir;
    if (FILE* f = std::fopen((m_dir + "/config").c_str(), "w")) {
        std::fputs("# no bar, no bindings: a bare seat for the tests\n", f);
        if (xwayland) {
            // Xwayland admits only the compositor's user; the file appears once root may connect.
            std::fprintf(f,
                         "xwayland force\n"
                         "exec sh -c 'xhost +si:localuser:root >%s/xhost.log 2>&1 && "
                         "echo $DISPLAY > %s/display.new && mv %s/display.new %s/display'\n",
                         m_dir.c_str(), m_dir.c_str(), m_dir.c_str(), m_dir.c_str());
        }
        std::fclose(f);
    }
    if (xwayland && geteuid() == 0 && mkdir("/tmp/.X11-unix", 01777) == 0) {
        chmod("/tmp/.X11-unix", 01777);  // as systemd-tmpfiles makes it: X servers of any user
    }
    if (geteuid() == 0) {
        const passwd* nobody = getpwnam("nobody");
        if (nobody == nullptr || chown(m_dir.c_str(), nobody->pw_uid, nobody->pw_gid) != 0 ||
            chown((m_dir + "/config").c_str(), nobody->pw_uid, nobody->pw_gid) != 0) {
            m_why = "cannot hand the runtime folder to nobody";
            return;
        }
    }
    chmod(m_dir.c_str(), 0700);
    start();
}

bool SwaySession::start() {
    m_ok = false;
    std::vector<std::string> argv;
    if (geteuid() == 0) {
        argv = {"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"};
    }
    const std::vector<std::string> tail = {"env",
                                           "-i",
                                           "HOME=" + m_dir,
                                           "XDG_RUNTIME_DIR=" + m_dir,
                                           "WLR_BACKENDS=headless",
                                           "WLR_RENDERER=pixman",
                                           "WLR_LIBINPUT_NO_DEVICES=1",
                                           "PATH=/usr/bin:/bin",
                                           "sway",
                                           "-c",
                                           m_dir + "/config"};
    argv.insert(argv.end(), tail.begin(), tail.end());
    m_server = xtest::Child(argv, {}, false, true);
    std::string wayland;
    std::string ipc;
    const long long end = nowMs() + 30000;
    while (!findSockets(m_dir, wayland, ipc) && nowMs() < end && m_server.wait(20) < 0) {
    }
    if (wayland.empty() || ipc.empty()) {
        m_why = "sway did not start: " + m_server.errors();
        m_server.stop();
        return false;
    }
    m_env = {"XDG_RUNTIME_DIR=" + m_dir, "WAYLAND_DISPLAY=" + wayland, "SWAYSOCK=" + ipc};
    m_ok = true;
    return true;
}

std::string SwaySession::xDisplay() {
    const long long end = nowMs() + 20000;
    std::string display;
    while (display.empty() && nowMs() < end && m_server.wait(0) < 0) {
        if (FILE* f = std::fopen((m_dir + "/display").c_str(), "r")) {
            char line[64] = {};
            if (std::fgets(line, sizeof line, f) != nullptr) {
                display = line;
                display.erase(display.find_last_not_of("\r\n") + 1);
            }
            std::fclose(f);
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    if (display.empty()) {
        std::string log;
        if (FILE* f = std::fopen((m_dir + "/xhost.log").c_str(), "r")) {
            char line[256];
            while (std::fgets(line, sizeof line, f) != nullptr) {
                log += line;
            }
            std::fclose(f);
        }
        m_why = "Xwayland did not admit us: " + (log.empty() ? "no answer from xhost" : log) +
                m_server.errors().substr(
                    m_server.errors().size() > 2000 ? m_server.errors().size() - 2000 : 0);
    }
    return display;
}

void SwaySession::freeze(bool frozen) {
    if (m_server.running()) {
        ::kill(m_server.pid(), frozen ? SIGSTOP : SIGCONT);
    }
}

void SwaySession::stop() {
    m_server.stop();
    m_ok = false;
}

SwaySession::~SwaySession() {
    m_server.stop();
    if (!m_dir.empty()) {
        xtest::run({"rm", "-rf", m_dir}, 10000);
    }
}

bool SwaySession::swaymsg(const std::vector<std::string>& args) {
    std::vector<std::string> argv{"env"};
    argv.insert(argv.end(), m_env.begin(), m_env.end());
    argv.push_back("swaymsg");
    argv.insert(argv.end(), args.begin(), args.end());
    return xtest::run(argv) == 0;
}

xtest::Child SwaySession::startReceiver(const std::vector<std::string>& options) {
    const std::string ready = m_dir + "/ready" + std::to_string(++m_receivers);
    std::vector<std::string> argv{PELMORA_WRECEIVER, "--ready-file", ready};
    argv.insert(argv.end(), options.begin(), options.end());
    xtest::Child c(argv, m_env, true, true);
    const long long end = nowMs() + 20000;
    struct stat st {};
    while (c.running() && stat(ready.c_str(), &st) != 0 && nowMs() < end) {
        if (c.wait(10) >= 0) {
            break;
        }
    }
    return c;
}

}  // namespace swaytest
