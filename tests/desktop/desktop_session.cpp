#include "desktop/desktop_session.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

namespace desktoptest {

namespace {

using namespace std::chrono_literals;

bool exists(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0;
}

std::string readFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

std::string trimmed(std::string s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) {
        s.pop_back();
    }
    return s;
}

}  // namespace

DesktopSession::DesktopSession(const std::string& desktop, const std::string& layout) {
    char dir[] = "/tmp/pelmora-desktop-XXXXXX";
    if (mkdtemp(dir) == nullptr) {
        m_why = "no temporary directory";
        return;
    }
    m_dir = dir;
    m_session =
        xtest::Child({PELMORA_DESKTOP_SESSION, "start", m_dir, desktop, layout}, {}, false, true);
    // Three attempts of up to 90 s each when the shell hangs at start.
    const auto end = std::chrono::steady_clock::now() + 300s;
    while (!exists(m_dir + "/ready") && !exists(m_dir + "/failed") &&
           std::chrono::steady_clock::now() < end) {
        if (m_session.wait(100) >= 0) {
            break;
        }
    }
    if (!exists(m_dir + "/ready")) {
        m_why = exists(m_dir + "/failed")
                    ? trimmed(readFile(m_dir + "/failed"))
                    : "the " + desktop + " session did not start: " + m_session.errors() + log();
        return;
    }
    m_ok = true;
}

DesktopSession::~DesktopSession() {
    m_receiver.stop();
    m_session.stop();
    if (!m_dir.empty() && getenv("PELMORA_KEEP_DESKTOP") == nullptr) {
        xtest::run({"rm", "-rf", m_dir}, 10000);
    }
}

std::string DesktopSession::log() const {
    return readFile(m_dir + "/session.log");
}

xtest::Child DesktopSession::spawn(const std::vector<std::string>& argv, bool captureStderr) {
    std::vector<std::string> all{PELMORA_DESKTOP_SESSION, "run", m_dir};
    all.insert(all.end(), argv.begin(), argv.end());
    return xtest::Child(all, {}, false, captureStderr);
}

bool DesktopSession::command(const std::vector<std::string>& args, std::string* out,
                             int timeoutMs) {
    std::vector<std::string> all{PELMORA_DESKTOP_SESSION, args.at(0), m_dir};
    all.insert(all.end(), args.begin() + 1, args.end());
    return xtest::run(all, timeoutMs, out) == 0;
}

std::string DesktopSession::focus() {
    std::string out;
    return command({"focus"}, &out) ? trimmed(out) : std::string();
}

bool DesktopSession::waitForFocus(const std::string& title, int ms) {
    const auto start = std::chrono::steady_clock::now();
    bool asked = false;
    while (focus() != title) {
        const auto spent = std::chrono::steady_clock::now() - start;
        if (spent > std::chrono::milliseconds(ms)) {
            return false;
        }
        if (!asked && spent > std::chrono::milliseconds(ms / 2)) {
            asked = command({"activate", title});
        }
        std::this_thread::sleep_for(200ms);
    }
    return true;
}

bool DesktopSession::startReceiver() {
    m_receiver = xtest::Child({PELMORA_DESKTOP_SESSION, "receiver", m_dir, m_dir + "/received"}, {},
                              false, true);
    if (!waitForFocus(kReceiverTitle, 30000)) {
        m_why = "the receiver did not get the focus (focus: \"" + focus() +
                "\"): " + m_receiver.errors();
        return false;
    }
    return true;
}

std::string DesktopSession::received() const {
    return readFile(m_dir + "/received");
}

}  // namespace desktoptest
