#include "platform/keys/key_sinks.h"

#include <cstdlib>
#include <cstring>
#include <utility>

#include "platform/keys/stdout_key_sink.h"

namespace platform {

std::unique_ptr<KeySink> makeKeySink(const std::string& kind, std::string& error) {
    if (kind == "stdout") {
        return std::make_unique<StdoutKeySink>();
    }
    return makePlatformKeySink(kind, error);
}

std::string keySinkKinds() {
    return platformKeySinkKinds() + "|stdout";
}

SessionInfo detectSession() {
    auto set = [](const char* name) {
        const char* value = std::getenv(name);
        return value != nullptr && value[0] != '\0';
    };
    const char* type = std::getenv("XDG_SESSION_TYPE");
    SessionInfo info;
    info.wayland = set("WAYLAND_DISPLAY") || (type != nullptr && std::strcmp(type, "wayland") == 0);
    info.x11 = set("DISPLAY");
    return info;
}

std::unique_ptr<KeySink> chooseKeySink(const SessionInfo& session, const SinkFactory& x11,
                                       const SinkFactory& uinput, std::string& error,
                                       std::string* chosen) {
    struct Attempt {
        const char* kind;
        const SinkFactory* factory;
    };
    Attempt order[2] = {{"x11", &x11}, {"uinput", &uinput}};
    if (session.wayland) {
        std::swap(order[0], order[1]);
    }
    std::string reasons;
    for (const Attempt& attempt : order) {
        std::string reason;
        if (std::strcmp(attempt.kind, "x11") == 0 && !session.x11) {
            reason = "no X display (DISPLAY is not set)";
        } else if (*attempt.factory) {
            if (auto sink = (*attempt.factory)(reason)) {
                if (chosen != nullptr) {
                    *chosen = attempt.kind;
                }
                return sink;
            }
        } else {
            reason = "not built";
        }
        if (!reasons.empty()) {
            reasons += "; ";
        }
        reasons += attempt.kind;
        reasons += ": ";
        reasons += reason;
    }
    error = "no way to type into this session (" + reasons + ")";
    return nullptr;
}

DeferredKeySink::DeferredKeySink(SinkFactory factory,
                                 std::function<void(const std::string&)> report,
                                 std::unique_ptr<KeySink> initial)
    : m_factory(std::move(factory)), m_report(std::move(report)), m_sink(std::move(initial)) {}

void DeferredKeySink::say(const std::string& text) {
    if (m_report) {
        m_report(text);
    }
}

bool DeferredKeySink::ready() {
    if (m_sink) {
        std::string why = m_sink->failure();
        if (why.empty()) {
            return true;
        }
        m_sink.reset();
        if (why != m_lastError) {
            m_lastError = why;
            say(why);
        }
    }
    if (!m_attemptedThisBlock) {
        m_attemptedThisBlock = true;
        std::string error;
        m_sink = m_factory(error);
        if (m_sink && !m_lastError.empty()) {
            m_lastError.clear();
            say("typing again");
        } else if (!m_sink && error != m_lastError) {
            m_lastError = error;
            say(error);
        }
    }
    return m_sink != nullptr;
}

void DeferredKeySink::beginBlock() {
    m_attemptedThisBlock = false;
    if (ready()) {
        m_sink->beginBlock();
    }
}

void DeferredKeySink::sendKey(std::uint16_t codeUnit) {
    if (ready()) {
        m_sink->sendKey(codeUnit);
    }
}

void DeferredKeySink::endBlock() {
    if (m_sink) {
        m_sink->endBlock();
    }
}

}  // namespace platform
