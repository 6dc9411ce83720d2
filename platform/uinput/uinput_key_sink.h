// Types ASCII into every client of the session (Wayland compositors, the text console, X) through
// a virtual keyboard made with the kernel's uinput module. Key codes follow the US layout.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "platform/key_sink.h"
#include "platform/uinput/event_pacer.h"

namespace platform {

// Creates the virtual keyboard now, so the session has found it by the first scan. Null with
// `error` set, saying how to grant access, when `path` cannot be opened or is not uinput.
std::unique_ptr<KeySink> makeUinputKeySink(std::string& error,
                                           const std::string& path = "/dev/uinput");

// What to tell the user when opening `path` failed with `errnoValue`.
std::string uinputAccessAdvice(int errnoValue, const std::string& path);

// Writes key events to an open descriptor: a created uinput device, or a pipe in the tests.
class UinputKeySink : public KeySink {
public:
    // `ready` is when the device may be used: events sent sooner could reach nobody, since the
    // session needs a moment to pick up a new device. `pacer` spaces the writes for the readers.
    UinputKeySink(int fd, bool ownsDevice, std::chrono::steady_clock::time_point ready,
                  EventPacer pacer = EventPacer::forKeyboard());
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
};

}  // namespace platform
