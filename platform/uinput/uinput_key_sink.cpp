#include "platform/uinput/uinput_key_sink.h"

#include <fcntl.h>
#include <linux/uinput.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>

#include "platform/uinput/us_keymap.h"

namespace platform {
namespace {

// Compositors and the console open a new input device after udev has announced it; a short pause
// after creation keeps the first scan from going nowhere.
constexpr std::chrono::milliseconds kDeviceSettle{300};
constexpr char kDeviceName[] = "Pelmora virtual keyboard";

}  // namespace

std::string uinputAccessAdvice(int errnoValue, const std::string& path) {
    std::string text = "cannot open " + path + ": " + std::strerror(errnoValue) + ". ";
    if (errnoValue == ENOENT || errnoValue == ENODEV || errnoValue == ENXIO) {
        text +=
            "Load the uinput module (sudo modprobe uinput) and keep it loaded at boot "
            "(echo uinput | sudo tee /etc/modules-load.d/uinput.conf).";
    } else if (errnoValue == EACCES || errnoValue == EPERM || errnoValue == EROFS) {
        text +=
            "Grant write access with a udev rule, e.g. in "
            "/etc/udev/rules.d/60-pelmora-uinput.rules: "
            "KERNEL==\"uinput\", GROUP=\"input\", MODE=\"0660\", OPTIONS+=\"static_node=uinput\"; "
            "then run sudo udevadm control --reload && sudo udevadm trigger, add yourself to the "
            "group (sudo usermod -aG input $USER) and log in again.";
    } else {
        text += "Check that it is the kernel's uinput device.";
    }
    return text;
}

std::unique_ptr<KeySink> makeUinputKeySink(std::string& error, const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = uinputAccessAdvice(errno, path);
        return nullptr;
    }
    bool ok = ::ioctl(fd, UI_SET_EVBIT, EV_KEY) == 0 && ::ioctl(fd, UI_SET_EVBIT, EV_SYN) == 0;
    for (std::uint16_t code : usKeyboardKeyCodes()) {
        ok = ok && ::ioctl(fd, UI_SET_KEYBIT, static_cast<int>(code)) == 0;
    }
    uinput_setup setup{};
    setup.id.bustype = BUS_VIRTUAL;
    setup.id.vendor = 0x5045;   // "PE"
    setup.id.product = 0x4C4D;  // "LM"
    setup.id.version = 1;
    std::strncpy(setup.name, kDeviceName, UINPUT_MAX_NAME_SIZE - 1);
    ok = ok && ::ioctl(fd, UI_DEV_SETUP, &setup) == 0 && ::ioctl(fd, UI_DEV_CREATE) == 0;
    if (!ok) {
        error = path + " is not a usable uinput device: " + std::strerror(errno);
        ::close(fd);
        return nullptr;
    }
    return std::make_unique<UinputKeySink>(fd, true,
                                           std::chrono::steady_clock::now() + kDeviceSettle);
}

UinputKeySink::UinputKeySink(int fd, bool ownsDevice, std::chrono::steady_clock::time_point ready,
                             EventPacer pacer)
    : m_fd(fd), m_ownsDevice(ownsDevice), m_ready(ready), m_pacer(pacer) {}

UinputKeySink::~UinputKeySink() {
    flush();
    if (m_ownsDevice) {
        ::ioctl(m_fd, UI_DEV_DESTROY);
    }
    ::close(m_fd);
}

void UinputKeySink::beginBlock() {}

void UinputKeySink::emit(std::uint16_t type, std::uint16_t code, std::int32_t value) {
    input_event event{};
    event.type = type;
    event.code = code;
    event.value = value;
    const auto* bytes = reinterpret_cast<const unsigned char*>(&event);
    m_pending.insert(m_pending.end(), bytes, bytes + sizeof event);
}

void UinputKeySink::sendKey(std::uint16_t codeUnit) {
    const std::optional<UsKey> key = usKeyFor(codeUnit);
    if (!key) {
        return;
    }
    std::this_thread::sleep_until(m_ready);
    // Press and release in separate reports, so no client sees a key that was never down; Shift
    // goes down before and up after the key, so nothing stays pressed.
    if (key->shift) {
        emit(EV_KEY, KEY_LEFTSHIFT, 1);
        emit(EV_SYN, SYN_REPORT, 0);
    }
    emit(EV_KEY, key->code, 1);
    emit(EV_SYN, SYN_REPORT, 0);
    emit(EV_KEY, key->code, 0);
    emit(EV_SYN, SYN_REPORT, 0);
    if (key->shift) {
        emit(EV_KEY, KEY_LEFTSHIFT, 0);
        emit(EV_SYN, SYN_REPORT, 0);
    }
    // One write per character, paced, keeps the kernel's per-client event buffers from
    // overflowing.
    const std::size_t events = m_pending.size() / sizeof(input_event);
    std::this_thread::sleep_until(m_pacer.reserve(events, std::chrono::steady_clock::now()));
    flush();
}

void UinputKeySink::endBlock() {
    flush();
}

void UinputKeySink::flush() {
    std::size_t done = 0;
    while (done < m_pending.size()) {
        const ssize_t n = ::write(m_fd, m_pending.data() + done, m_pending.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            // A vanished device types nothing, like a failed SendInput; the rest is dropped.
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    m_pending.clear();
}

}  // namespace platform
