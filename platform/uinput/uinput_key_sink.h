// Types into every client of the session (Wayland compositors, the text console, X) through a
// virtual keyboard made with the kernel's uinput module. The compositor applies the user's layout
// to the key codes, so the keys come from a plan made from that layout (platform/xkb).
#pragma once

#include <array>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/key_sink.h"
#include "platform/uinput/event_pacer.h"
#include "platform/xkb/key_plan.h"

namespace platform {

// Creates the virtual keyboard now, so the session has found it by the first scan, typing on the
// session's layout (session_layout.h). Null with `error` set, saying how to grant access, when
// `path` cannot be opened or is not uinput, or the layout cannot be compiled.
std::unique_ptr<KeySink> makeUinputKeySink(std::string& error,
                                           const std::string& path = "/dev/uinput");

class UinputKeySink;
// The same with a plan made elsewhere: `plan` while Caps Lock is off, `capsPlan` while it is on.
std::unique_ptr<UinputKeySink> makeUinputKeySinkFor(const KeyPlan& plan, const KeyPlan& capsPlan,
                                                    std::string& error,
                                                    const std::string& path = "/dev/uinput");

// Whether Caps Lock is on, from the lock lights of the keyboards in /dev/input that this process
// may open (the compositor sets them on every keyboard). Off when none can be read.
bool capsLockLit();

// What to tell the user when opening `path` failed with `errnoValue`.
std::string uinputAccessAdvice(int errnoValue, const std::string& path);

// Writes key events to an open descriptor: a created uinput device, or a pipe in the tests.
class UinputKeySink : public KeySink {
public:
    // `ready` is when the device may be used: events sent sooner could reach nobody, since the
    // session needs a moment to pick up a new device. `pacer` spaces the writes for the readers.
    UinputKeySink(int fd, bool ownsDevice, std::chrono::steady_clock::time_point ready,
                  EventPacer pacer = EventPacer::forKeyboard());
    // The keys to type with: `plan` normally, `capsPlan` when `capsLockOn` (asked at the start
    // of each block) says Caps Lock is on. A US plan until this is called.
    void setPlans(KeyPlan plan, KeyPlan capsPlan, std::function<bool()> capsLockOn = {});
    // Where a character the layout cannot type is reported, once per character (standard error
    // by default). It is skipped; NUL, DEL and C1 are skipped without a word, as everywhere.
    void setReport(std::function<void(const std::string&)> report);
    ~UinputKeySink() override;
    UinputKeySink(const UinputKeySink&) = delete;
    UinputKeySink& operator=(const UinputKeySink&) = delete;

    void beginBlock() override;
    void sendKey(std::uint16_t codeUnit) override;
    void endBlock() override;

private:
    void emit(std::uint16_t type, std::uint16_t code, std::int32_t value);
    void flush();

    int m_fd;
    bool m_ownsDevice;
    std::chrono::steady_clock::time_point m_ready;
    EventPacer m_pacer;
    std::vector<unsigned char> m_pending;
    KeyPlan m_plans[2];
    std::function<bool()> m_capsLockOn;
    bool m_capsLocked = false;
    std::function<void(const std::string&)> m_report;
    std::array<bool, 256> m_reported{};
};

}  // namespace platform
