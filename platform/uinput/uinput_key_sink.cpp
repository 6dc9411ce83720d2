#include "platform/uinput/uinput_key_sink.h"

#include <fcntl.h>
#include <linux/uinput.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <dirent.h>
#include <linux/input.h>

#include <cerrno>
#include <cstdio>
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

std::unique_ptr<UinputKeySink> makeUinputKeySinkFor(const KeyPlan& plan, const KeyPlan& capsPlan,
                                                    std::string& error, const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = uinputAccessAdvice(errno, path);
        return nullptr;
    }
    bool ok = ::ioctl(fd, UI_SET_EVBIT, EV_KEY) == 0 && ::ioctl(fd, UI_SET_EVBIT, EV_SYN) == 0;
    for (const KeyPlan* p : {&plan, &capsPlan}) {
        for (std::uint16_t code : p->keyCodes()) {
            ok = ok && ::ioctl(fd, UI_SET_KEYBIT, static_cast<int>(code)) == 0;
        }
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
    auto sink =
        std::make_unique<UinputKeySink>(fd, true, std::chrono::steady_clock::now() + kDeviceSettle);
    sink->setPlans(plan, capsPlan);
    return sink;
}

bool capsLockLit() {
    DIR* dir = ::opendir("/dev/input");
    if (dir == nullptr) {
        return false;
    }
    bool lit = false;
    while (const dirent* entry = ::readdir(dir)) {
        if (std::strncmp(entry->d_name, "event", 5) != 0) {
            continue;
        }
        const std::string device = std::string("/dev/input/") + entry->d_name;
        const int fd = ::open(device.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        unsigned long ledBits = 0;
        unsigned long leds = 0;
        if (::ioctl(fd, EVIOCGBIT(EV_LED, sizeof ledBits), &ledBits) >= 0 &&
            (ledBits & (1ul << LED_CAPSL)) != 0 &&
            ::ioctl(fd, EVIOCGLED(sizeof leds), &leds) >= 0 && (leds & (1ul << LED_CAPSL)) != 0) {
            lit = true;
        }
        ::close(fd);
        if (lit) {
            break;
        }
    }
    ::closedir(dir);
    return lit;
}

UinputKeySink::UinputKeySink(int fd, bool ownsDevice, std::chrono::steady_clock::time_point ready,
                             EventPacer pacer)
    : m_fd(fd),
      m_ownsDevice(ownsDevice),
      m_ready(ready),
      m_pacer(pacer),
      m_plans{usKeyPlan(), usKeyPlan()},
      m_report(
          [](const std::string& text) { std::fprintf(stderr, "pelmora: %s\n", text.c_str()); }) {}

void UinputKeySink::setPlans(KeyPlan plan, KeyPlan capsPlan, std::function<bool()> capsLockOn) {
    m_plans[0] = std::move(plan);
    m_plans[1] = std::move(capsPlan);
    m_capsLockOn = std::move(capsLockOn);
}

void UinputKeySink::setReport(std::function<void(const std::string&)> report) {
    m_report = std::move(report);
}

UinputKeySink::~UinputKeySink() {
    // Each write holds whole characters, press to release; and the kernel releases whatever is
    // still down when the device goes.
    flush();
    if (m_ownsDevice) {
        ::ioctl(m_fd, UI_DEV_DESTROY);
    }
    ::close(m_fd);
}

void UinputKeySink::beginBlock() {
    // Caps Lock flips the letters' levels; the user may have toggled it since the last scan.
    m_capsLocked = m_capsLockOn && m_capsLockOn();
}

void UinputKeySink::emit(std::uint16_t type, std::uint16_t code, std::int32_t value) {
    input_event event{};
    event.type = type;
    event.code = code;
    event.value = value;
    const auto* bytes = reinterpret_cast<const unsigned char*>(&event);
    m_pending.insert(m_pending.end(), bytes, bytes + sizeof event);
}

void UinputKeySink::sendKey(std::uint16_t codeUnit) {
    const KeyPlan& plan = m_plans[m_capsLocked ? 1 : 0];
    const std::optional<KeyStroke> key = plan.strokeFor(codeUnit);
    if (!key) {
        if (keyboardTypable(codeUnit) && !m_reported[codeUnit]) {
            m_reported[codeUnit] = true;
            if (m_report) {
                m_report("the keyboard layout " + plan.layoutName + " has no key for " +
                         describeCodeUnit(codeUnit) +
                         " (or only through a dead key): it is not typed");
            }
        }
        return;
    }
    std::this_thread::sleep_until(m_ready);
    // Press and release in separate reports, so no client sees a key that was never down; the
    // modifier goes down before and up after the key, so nothing stays pressed.
    const std::uint16_t modifier = key->shift ? plan.shiftKey : key->altGr ? plan.altGrKey : 0;
    if (modifier != 0) {
        emit(EV_KEY, modifier, 1);
        emit(EV_SYN, SYN_REPORT, 0);
    }
    emit(EV_KEY, key->key, 1);
    emit(EV_SYN, SYN_REPORT, 0);
    emit(EV_KEY, key->key, 0);
    emit(EV_SYN, SYN_REPORT, 0);
    if (modifier != 0) {
        emit(EV_KEY, modifier, 0);
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
