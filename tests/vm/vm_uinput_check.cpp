// Runs inside a small virtual machine with a real kernel: types text through the uinput key sink
// on a German layout and reads the events back through evdev, as a compositor or the console
// would, decoding them with a German layout written out independently of xkbcommon (de_layout.h).
// The key plan comes from the host (/plan, made by vm_key_plan from the system's keymap): the
// guest has no xkbcommon. Prints one "VM-RESULT:" line.
#include <fcntl.h>
#include <linux/input.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "de_layout.h"
#include "platform/uinput/uinput_key_sink.h"

namespace {

using Clock = std::chrono::steady_clock;

std::set<std::string> eventDevices() {
    std::set<std::string> paths;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/dev/input", ec)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("event", 0) == 0) {
            paths.insert(entry.path().string());
        }
    }
    return paths;
}

struct Decoded {
    std::string text;
    int presses = 0;
    int releases = 0;
    int unknownKeys = 0;
    int dropped = 0;  // SYN_DROPPED: the reader's buffer overflowed
    std::set<int> down;
};

// Reads events until `expected` characters have come in and the keys have been released, or
// until nothing arrives for a long while.
class EventReader {
public:
    explicit EventReader(int fd) : m_fd(fd) {}

    // `realtime`: read as soon as events arrive whatever else runs, as some compositors' input
    // threads do; otherwise an ordinary thread, which sees drops if the sink outruns it (the
    // kernel keeps only 64 events per reader of a keyboard).
    void start(std::size_t expected, bool realtime) {
        m_expected = expected;
        m_thread = std::thread([this] { loop(); });
        if (realtime) {
            sched_param param{};
            param.sched_priority = 10;
            pthread_setschedparam(m_thread.native_handle(), SCHED_FIFO, &param);
        }
    }
    Decoded finish() {
        m_thread.join();
        return m_decoded;
    }

private:
    void loop() {
        bool shift = false;
        bool altGr = false;
        auto lastEvent = Clock::now();
        // After the last character, the releases that follow it; then quiet.
        const auto quietAfter = [&] {
            return m_decoded.text.size() < m_expected ? std::chrono::seconds(10)
                                                      : std::chrono::seconds(1);
        };
        while (Clock::now() - lastEvent < quietAfter()) {
            pollfd p{m_fd, POLLIN, 0};
            if (poll(&p, 1, 200) <= 0) {
                continue;
            }
            input_event events[64];
            const ssize_t n = read(m_fd, events, sizeof events);
            if (n <= 0) {
                continue;
            }
            lastEvent = Clock::now();
            for (ssize_t i = 0; i < n / static_cast<ssize_t>(sizeof(input_event)); ++i) {
                const input_event& e = events[i];
                if (e.type == EV_SYN && e.code == SYN_DROPPED) {
                    ++m_decoded.dropped;
                }
                if (e.type != EV_KEY) {
                    continue;
                }
                if (e.value == 1) {
                    ++m_decoded.presses;
                    m_decoded.down.insert(e.code);
                } else if (e.value == 0) {
                    ++m_decoded.releases;
                    m_decoded.down.erase(e.code);
                }
                if (e.code == KEY_LEFTSHIFT || e.code == KEY_RIGHTSHIFT) {
                    shift = e.value != 0;
                    continue;
                }
                if (e.code == KEY_RIGHTALT) {  // AltGr on a German keyboard
                    altGr = e.value != 0;
                    continue;
                }
                if (e.value != 1) {
                    continue;
                }
                const auto key = m_layout.keys.find(e.code);
                const unsigned char typed = key == m_layout.keys.end() || (shift && altGr)
                                                ? 0
                                                : key->second[altGr   ? 2
                                                              : shift ? 1
                                                                      : 0];
                if (typed == 0) {
                    ++m_decoded.unknownKeys;
                    continue;
                }
                m_decoded.text += static_cast<char>(typed);
            }
        }
    }

    int m_fd;
    std::size_t m_expected = 0;
    evdev_de::DeLayout m_layout;
    Decoded m_decoded;
    std::thread m_thread;
};

std::string printable(const std::string& s) {
    std::string out;
    for (const unsigned char c : s) {
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    return out;
}

// Types `blocks` through the sink while a reader decodes what the device delivers; true when
// exactly `expected` arrived, in order, with nothing dropped or left down.
bool typeAndReadBack(platform::KeySink& sink, int fd,
                     const std::vector<std::vector<std::uint16_t>>& blocks,
                     const std::string& expected, bool realtime) {
    EventReader reader(fd);
    reader.start(expected.size(), realtime);
    const auto t0 = Clock::now();
    for (const auto& block : blocks) {
        sink.beginBlock();
        for (const std::uint16_t unit : block) {
            sink.sendKey(unit);
        }
        sink.endBlock();
    }
    const double typingMs = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    const Decoded got = reader.finish();
    // What the kernel thinks is held down.
    unsigned char keyState[KEY_MAX / 8 + 1] = {};
    ioctl(fd, EVIOCGKEY(sizeof keyState), keyState);
    int stillDown = 0;
    for (const unsigned char bits : keyState) {
        stillDown += __builtin_popcount(bits);
    }
    std::printf(
        "%s reader: typed %zu characters in %.0f ms; received %zu; presses %d, releases %d, "
        "unknown keys %d, dropped %d, keys down %d/%zu\n",
        realtime ? "real-time" : "ordinary", expected.size(), typingMs, got.text.size(),
        got.presses, got.releases, got.unknownKeys, got.dropped, stillDown, got.down.size());
    const bool ok = got.text == expected && got.presses == got.releases && got.unknownKeys == 0 &&
                    got.dropped == 0 && stillDown == 0 && got.down.empty();
    if (!ok) {
        std::size_t at = 0;
        while (at < expected.size() && at < got.text.size() && expected[at] == got.text[at]) {
            ++at;
        }
        std::printf("first difference at %zu\n expected: %s\n received: %s\n", at,
                    printable(expected.substr(at, 40)).c_str(),
                    printable(got.text.substr(at, 40)).c_str());
    }
    return ok;
}

// The plan the host made: "shift K", "altgr K", then "unit key shift altGr" lines.
bool readPlan(const char* path, platform::KeyPlan& plan) {
    std::ifstream in(path);
    std::string word;
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (!(in >> word >> a) || word != "shift" || !(in >> word >> b) || word != "altgr") {
        return false;
    }
    plan.shiftKey = static_cast<std::uint16_t>(a);
    plan.altGrKey = static_cast<std::uint16_t>(b);
    plan.layoutName = "de";
    while (in >> a >> b >> c >> d) {
        if (a < plan.strokes.size()) {
            plan.strokes[a] = platform::KeyStroke{static_cast<std::uint16_t>(b), c != 0, d != 0};
        }
    }
    return true;
}

}  // namespace

int main() {
    platform::KeyPlan plan;
    if (!readPlan("/plan", plan)) {
        std::printf("VM-RESULT: FAIL no key plan at /plan\n");
        return 1;
    }
    // Every ASCII character a German keyboard types without dead keys, the controls with keys of
    // their own, German letters and AltGr characters; then bytes no German key types (which must
    // type nothing: é, NUL, C1, DEL, ^ and ` behind dead keys); then a scanner-like burst of
    // blocks with Enter after each.
    std::string typable;
    for (int c = 0x20; c < 0x7F; ++c) {
        if (c != '^' && c != '`') {
            typable += static_cast<char>(c);
        }
    }
    typable += "\t\n\b\x1B";
    typable += "\xE4\xF6\xFC\xC4\xD6\xDC\xDF\xA7\xB0\xB2\xB3\xB5";  // äöüÄÖÜß§°²³µ
    std::vector<std::vector<std::uint16_t>> blocks;
    const auto units = [](const std::string& text) {
        std::vector<std::uint16_t> out;
        for (const unsigned char c : text) {
            out.push_back(c);
        }
        return out;
    };
    blocks.push_back(units(typable));
    blocks.push_back({'A', 0xE9, 0x00, 0x85, 0x7F, '^', '`', 'b'});
    std::string expected = typable + "Ab";
    for (int i = 0; i < 50; ++i) {
        const std::string code = "Zy-4006381333931-" + std::to_string(i);
        std::vector<std::uint16_t> block = units(code);
        block.push_back(13);
        blocks.push_back(block);
        expected += code + "\r";
    }

    const std::set<std::string> before = eventDevices();
    std::string error;
    std::unique_ptr<platform::UinputKeySink> sink =
        platform::makeUinputKeySinkFor(plan, plan, error);
    if (!sink) {
        std::printf("VM-RESULT: FAIL cannot create the key sink: %s\n", error.c_str());
        return 1;
    }
    int reports = 0;
    sink->setReport([&reports](const std::string& text) {
        std::printf("sink: %s\n", text.c_str());
        ++reports;
    });
    // The new keyboard's event device appears once the kernel has registered it.
    std::string device;
    for (int i = 0; i < 100 && device.empty(); ++i) {
        for (const auto& path : eventDevices()) {
            if (before.count(path) == 0) {
                device = path;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (device.empty()) {
        std::printf("VM-RESULT: FAIL no event device appeared for the sink\n");
        return 1;
    }
    const int fd = open(device.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    char name[128] = {};
    ioctl(fd, EVIOCGNAME(sizeof name - 1), name);
    std::printf("reading %s (%s)\n", device.c_str(), name);

    // First as an ordinary reader, then as a real-time one: the sink's pacing must keep both
    // without a drop.
    bool ok = true;
    for (const bool realtime : {false, true}) {
        ok = typeAndReadBack(*sink, fd, blocks, expected, realtime) && ok;
    }
    // é, ^ and ` are said once each (NUL, C1 and DEL never are), though sent twice.
    if (reports != 3) {
        std::printf("expected 3 reports of untypable characters, got %d\n", reports);
        ok = false;
    }
    sink.reset();
    close(fd);
    std::printf("VM-RESULT: %s\n", ok ? "PASS" : "FAIL");
    return ok ? 0 : 1;
}
