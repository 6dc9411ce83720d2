// Choosing where typed keys go, by name (a command-line option) or from what the session offers.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/key_sink.h"

namespace platform {

// "auto" (the session's own choice) and "stdout" everywhere, plus the platform's own kinds (see
// keySinkKinds). Null with `error` set when the kind is unknown or cannot be used here; the sink
// is ready to type when returned.
std::unique_ptr<KeySink> makeKeySink(const std::string& kind, std::string& error);

// The kinds makeKeySink accepts on this platform, separated by '|'.
std::string keySinkKinds();

// The session's own choice, made now rather than on first use; null with `error` saying what was
// tried and how to fix it. `chosen` receives the kind picked, `passedOver` why each other kind
// was not.
std::unique_ptr<KeySink> makeSessionKeySink(std::string& error, std::string* chosen = nullptr,
                                            std::string* passedOver = nullptr);

// Platform part of makeKeySink: every kind but "stdout".
std::unique_ptr<KeySink> makePlatformKeySink(const std::string& kind, std::string& error);
std::string platformKeySinkKinds();

// What the desktop session offers, as far as the environment tells.
struct SessionInfo {
    bool wayland = false;  // a Wayland session (WAYLAND_DISPLAY or XDG_SESSION_TYPE=wayland)
    bool x11 = false;      // DISPLAY is set (an X server, or Xwayland under Wayland)
};
SessionInfo detectSession();

using SinkFactory = std::function<std::unique_ptr<KeySink>(std::string& error)>;

// One factory per kind of sink; an empty one stands for a kind this build lacks.
struct SinkFactories {
    SinkFactory wayland;  // the compositor's virtual keyboard
    SinkFactory portal;   // the desktop portal's remote desktop session
    SinkFactory uinput;   // a kernel virtual keyboard
    SinkFactory x11;      // XTest
};

// In a Wayland session the compositor's virtual keyboard, else the desktop portal, else uinput,
// and last XTest, which reaches only the X clients there; in an X session XTest, else uinput;
// elsewhere (a text console) uinput. The first that works is returned. Null with every attempt's
// reason in `error` when none does. `passedOver` lists each other kind with why it was not used.
std::unique_ptr<KeySink> chooseKeySink(const SessionInfo& session, const SinkFactories& factories,
                                       std::string& error, std::string* chosen = nullptr,
                                       std::string* passedOver = nullptr);

// Builds its sink with `factory` on first use, so creating it costs nothing; a failed attempt
// is reported once through `report` and tried again at the next block (a display that was not up
// yet at start). A sink that fails later (its compositor went away) is reported and replaced the
// same way. `initial`, when given, is used until then.
class DeferredKeySink : public KeySink {
public:
    DeferredKeySink(SinkFactory factory, std::function<void(const std::string&)> report,
                    std::unique_ptr<KeySink> initial = nullptr);

    void beginBlock() override;
    void sendKey(std::uint16_t codeUnit) override;
    void endBlock() override;
    std::string unreachableTarget() const override;

private:
    bool ready();
    void dropIfFailed();

    SinkFactory m_factory;
    std::function<void(const std::string&)> m_report;
    std::unique_ptr<KeySink> m_sink;
    std::string m_lastError;
    bool m_attemptedThisBlock = false;
};

}  // namespace platform
