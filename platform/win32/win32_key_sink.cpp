#include "platform/win32/win32_key_sink.h"

#include <cstdio>
#include <cstring>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

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

long tokenIntegrity(HANDLE token) {
    DWORD size = 0;
    ::GetTokenInformation(token, TokenIntegrityLevel, nullptr, 0, &size);
    if (size == 0) {
        return -1;
    }
    std::vector<unsigned char> buffer(size);
    if (!::GetTokenInformation(token, TokenIntegrityLevel, buffer.data(), size, &size)) {
        return -1;
    }
    PSID sid = reinterpret_cast<TOKEN_MANDATORY_LABEL*>(buffer.data())->Label.Sid;
    const UCHAR count = *::GetSidSubAuthorityCount(sid);
    return count == 0 ? -1 : static_cast<long>(*::GetSidSubAuthority(sid, count - 1));
}

namespace {

long processIntegrity(HANDLE process, DWORD& error) {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(process, TOKEN_QUERY, &token)) {
        error = ::GetLastError();
        return -1;
    }
    const long level = tokenIntegrity(token);
    ::CloseHandle(token);
    error = 0;
    return level;
}

std::string describe(HWND window, DWORD pid) {
    wchar_t title[128] = {};
    const int length = ::GetWindowTextW(window, title, static_cast<int>(std::size(title)));
    char utf8[512] = {};
    ::WideCharToMultiByte(CP_UTF8, 0, title, length, utf8, sizeof utf8 - 1, nullptr, nullptr);
    char text[640];
    std::snprintf(text, sizeof text, "window %p \"%s\" of process %lu", static_cast<void*>(window),
                  utf8, static_cast<unsigned long>(pid));
    return text;
}

}  // namespace

std::string unreachableWindow(HWND window) {
    DWORD pid = 0;
    if (window == nullptr || ::GetWindowThreadProcessId(window, &pid) == 0 ||
        pid == ::GetCurrentProcessId()) {
        return {};
    }
    DWORD error = 0;
    const long ours = processIntegrity(::GetCurrentProcess(), error);
    if (ours < 0) {
        return {};
    }
    HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (process == nullptr) {
        // Even limited queries are refused only for protected and system processes, whose
        // windows (the secure desktop, elevated system tools) take no input from us either.
        return ::GetLastError() == ERROR_ACCESS_DENIED
                   ? describe(window, pid) + " cannot receive typing: its process is protected"
                   : std::string();
    }
    const long theirs = processIntegrity(process, error);
    ::CloseHandle(process);
    // A token we may not read belongs to a process above our integrity level (an elevated one).
    if (theirs > ours || (theirs < 0 && error == ERROR_ACCESS_DENIED)) {
        return describe(window, pid) +
               " cannot receive typing: it runs with higher privileges (elevated) than this "
               "program, and Windows drops keys sent to it";
    }
    return {};
}

void SendInputKeySink::beginBlock() {
    // Once per focused window: the answer changes only with the window or its process.
    HWND window = ::GetForegroundWindow();
    DWORD pid = 0;
    if (window != nullptr) {
        ::GetWindowThreadProcessId(window, &pid);
    }
    if (window != m_checkedWindow || pid != m_checkedProcess) {
        m_checkedWindow = window;
        m_checkedProcess = pid;
        m_unreachable = unreachableWindow(window);
    }
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
