#include "platform/win32/win32_key_sink.h"

#include <cstring>
#include <memory>
#include <string>

#include "platform/keys/key_sinks.h"

namespace platform::win32 {

void fillUnicodeKeyInputs(std::uint16_t codeUnit, INPUT (&records)[2]) {
    std::memset(records, 0, sizeof records);
    for (INPUT& record : records) {
        record.type = INPUT_KEYBOARD;
        record.ki.wVk = 0;
        record.ki.wScan = codeUnit;
        record.ki.time = 0;
        record.ki.dwExtraInfo = 0;
    }
    records[0].ki.dwFlags = KEYEVENTF_UNICODE;
    records[1].ki.dwFlags = KEYEVENTF_UNICODE | KEYEVENTF_KEYUP;
}

void SendInputKeySink::sendKey(std::uint16_t codeUnit) {
    INPUT records[2];
    fillUnicodeKeyInputs(codeUnit, records);
    // One call, so the press and the release reach the input queue together and in order. A
    // call that inserted the press alone must not leave the key down.
    if (SendInput(2, records, sizeof(INPUT)) == 1) {
        SendInput(1, &records[1], sizeof(INPUT));
    }
}

}  // namespace platform::win32

namespace platform {

// Windows has one way to type into the focused window: SendInput.
std::unique_ptr<KeySink> makePlatformKeySink(const std::string& kind, std::string& error) {
    if (kind == "sendinput") {
        return std::make_unique<win32::SendInputKeySink>();
    }
    error = "unknown key sink '" + kind + "' (use " + keySinkKinds() + ")";
    return nullptr;
}

std::string platformKeySinkKinds() {
    return "sendinput";
}

std::unique_ptr<KeySink> makeSessionKeySink(std::string&, std::string* chosen, std::string*) {
    if (chosen != nullptr) {
        *chosen = "sendinput";
    }
    return std::make_unique<win32::SendInputKeySink>();
}

std::unique_ptr<KeySink> makeDefaultKeySink() {
    return std::make_unique<win32::SendInputKeySink>();
}

}  // namespace platform
