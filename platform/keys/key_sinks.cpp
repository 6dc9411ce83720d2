#include "platform/keys/key_sinks.h"

#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "platform/keys/stdout_key_sink.h"

namespace platform {

std::unique_ptr<KeySink> makeKeySink(const std::string& kind, std::string& error) {
    if (kind == "stdout") {
        return std::make_unique<StdoutKeySink>();
    }
    if (kind == "auto") {
        return makeSessionKeySink(error);
    }
    return makePlatformKeySink(kind, error);
}

std::string keySinkKinds() {
    return "auto|" + platformKeySinkKinds() + "|stdout";
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

std::unique_ptr<KeySink> chooseKeySink(const SessionInfo& session, const SinkFactories& factories,
                                       std::string& error, std::string* chosen,
                                       std::string* passedOver) {
    struct Attempt {
        const char* kind;
        const SinkFactory* factory;
        const char* unusable;  // why the session rules it out, or null
    };
    const char* notWayland = "not a Wayland session (WAYLAND_DISPLAY is not set)";
    const char* noDisplay = "no X display (DISPLAY is not set)";
    std::vector<Attempt> order;
    if (session.wayland) {
        order = {{"wayland", &factories.wayland, nullptr},
                 {"portal", &factories.portal, nullptr},
                 {"uinput", &factories.uinput, nullptr},
                 {"x11", &factories.x11, session.x11 ? nullptr : noDisplay}};
    } else {
        order = {{"x11", &factories.x11, session.x11 ? nullptr : noDisplay},
                 {"uinput", &factories.uinput, nullptr},
                 {"wayland", &factories.wayland, notWayland},
                 {"portal", &factories.portal, notWayland}};
    }
    std::string reasons;
    std::unique_ptr<KeySink> sink;
    const char* winner = nullptr;
    auto note = [](std::string& list, const char* kind, const std::string& why) {
        list += list.empty() ? "" : "; ";
        list += kind;
        list += ": ";
        list += why;
    };
    for (const Attempt& attempt : order) {
        std::string reason;
        if (attempt.unusable != nullptr) {
            reason = attempt.unusable;
        } else if (winner != nullptr) {
            reason = std::string("not tried, ") + winner + " comes first";
        } else if (*attempt.factory) {
            sink = (*attempt.factory)(reason);
            if (sink) {
                winner = attempt.kind;
                continue;
            }
        } else {
            reason = "not built";
        }
        note(reasons, attempt.kind, reason);
    }
    if (passedOver != nullptr) {
        *passedOver = reasons;
    }
    if (!sink) {
        error = "no way to type into this session (" + reasons + ")";
        return nullptr;
    }
    if (chosen != nullptr) {
        *chosen = winner;
    }
    return sink;
}

DeferredKeySink::DeferredKeySink(SinkFactory factory,
                                 std::function<void(const std::string&)> report,
                                 std::unique_ptr<KeySink> initial)
    : m_factory(std::move(factory)), m_report(std::move(report)), m_sink(std::move(initial)) {}

void DeferredKeySink::dropIfFailed() {
    if (!m_sink) {
        return;
    }
    const std::string why = m_sink->failure();
    if (why.empty()) {
        return;
    }
    m_sink.reset();
    if (why != m_lastError) {
        m_lastError = why;
        if (m_report) {
            m_report(why);
        }
    }
}

bool DeferredKeySink::ready() {
    if (!m_sink && !m_attemptedThisBlock) {
        m_attemptedThisBlock = true;
        std::string error;
        m_sink = m_factory(error);
        if (m_sink) {
            if (!m_lastError.empty()) {
                m_lastError.clear();  // a later failure is news again
                if (m_report) {
                    m_report("typing again");
                }
            }
        } else if (error != m_lastError) {
            m_lastError = error;
            if (m_report) {
                m_report(error);
            }
        }
    }
    return m_sink != nullptr;
}

// A sink that finds its compositor gone at the start of a block is replaced at once, so a
// compositor that came back gets this block already.
void DeferredKeySink::beginBlock() {
    m_attemptedThisBlock = false;
    if (m_sink) {
        m_sink->beginBlock();
        dropIfFailed();
    }
    if (!m_sink && ready()) {
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
        dropIfFailed();
    }
}

std::string DeferredKeySink::unreachableTarget() const {
    return m_sink ? m_sink->unreachableTarget() : std::string();
}

}  // namespace platform
