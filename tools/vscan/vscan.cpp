// pelmora-vscan: a virtual barcode scanner. It opens a pseudo-terminal, prints the port's path and
// sends barcodes to whoever opens it, the way a serial scanner does: optional leading byte, the
// code, a suffix, at a chosen pace; it can also be unplugged and plugged in again.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

volatile sig_atomic_t g_stop = 0;

void onStopSignal(int) {
    g_stop = 1;
}

struct Options {
    std::string link;
    std::optional<unsigned char> prefix;
    std::string suffix = "\r";
    long delayMs = 0;
    long baud = 0;
    long gapMs = 300;
    long waitOpenMs = -1;  // until a reader opens the port
    long settleMs = 300;
    long lingerMs = 1000;
    bool hold = false;
    bool latin1 = false;
    bool escapes = false;
    bool verbose = false;
    std::vector<std::string> codes;
    bool fromStdin = false;
};

[[noreturn]] void usageError(const std::string& message) {
    std::fprintf(stderr, "pelmora-vscan: %s (try pelmora-vscan --help)\n", message.c_str());
    std::exit(2);
}

void printHelp() {
    std::printf(
        "Usage: pelmora-vscan [options] [CODE...]\n"
        "A virtual serial barcode scanner on a pseudo-terminal. Prints the port's path (or the\n"
        "link's) on the first line of standard output, then sends each CODE, or each line of\n"
        "standard input when there is no CODE (or CODE is -), once a reader has opened the port.\n"
        "\n"
        "  -l, --link PATH     make PATH a symbolic link to the port, kept across replugs\n"
        "  -p, --prefix BYTE   send BYTE before each code: a character, 0xHH or a number\n"
        "  -s, --suffix KIND   none, cr (default) or crlf after each code\n"
        "  -d, --delay MS      pause between two bytes (default 0)\n"
        "  -b, --baud RATE     pace the bytes as a line at RATE bit/s, 10 bits a byte\n"
        "  -g, --gap MS        pause between two codes (default 300)\n"
        "      --latin1        codes are UTF-8 text: send them as Latin-1 bytes\n"
        "  -e, --escapes       \\xHH, \\r, \\n, \\t and \\\\ in codes stand for those bytes\n"
        "      --wait-open MS  wait at most this long for a reader to open the port, then\n"
        "                      send anyway (default: until one does; 0: send at once)\n"
        "      --settle MS     then wait this long before the first byte (default 300)\n"
        "      --linger MS     keep the port this long after the last code (default 1000)\n"
        "      --hold          keep the port until interrupted\n"
        "  -v, --verbose       tell what happens on standard error\n"
        "\n"
        "Special codes: !unplug or !unplug=MS unplugs the scanner for MS ms (default 1500) and\n"
        "plugs it in again on a new port (the link is gone meanwhile, then follows); !sleep=MS\n"
        "pauses; !!x sends !x.\n");
}

long number(const std::string& option, const std::string& text) {
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text.c_str(), &end, 0);
    if (text.empty() || *end != '\0' || errno != 0 || value < 0) {
        usageError(option + " needs a number, not '" + text + "'");
    }
    return value;
}

Options parseOptions(int argc, char** argv) {
    Options o;
    bool endOfOptions = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (endOfOptions || arg.empty() || arg[0] != '-' || arg == "-") {
            if (arg == "-") {
                o.fromStdin = true;
            } else {
                o.codes.push_back(arg);
            }
            continue;
        }
        if (arg == "--") {
            endOfOptions = true;
            continue;
        }
        std::string value;
        bool hasValue = false;
        if (const auto eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg = arg.substr(0, eq);
            hasValue = true;
        }
        auto takeValue = [&]() -> std::string {
            if (hasValue) {
                return value;
            }
            if (i + 1 >= argc) {
                usageError(arg + " needs a value");
            }
            return argv[++i];
        };
        if (arg == "-h" || arg == "--help") {
            printHelp();
            std::exit(0);
        } else if (arg == "-l" || arg == "--link") {
            o.link = takeValue();
        } else if (arg == "-p" || arg == "--prefix") {
            const std::string v = takeValue();
            o.prefix = static_cast<unsigned char>(v.size() == 1 ? v[0] : number(arg, v));
            if (v.size() != 1 && number(arg, v) > 255) {
                usageError("--prefix takes one byte");
            }
        } else if (arg == "-s" || arg == "--suffix") {
            const std::string v = takeValue();
            if (v == "none") {
                o.suffix = "";
            } else if (v == "cr") {
                o.suffix = "\r";
            } else if (v == "crlf") {
                o.suffix = "\r\n";
            } else {
                usageError("--suffix is none, cr or crlf, not '" + v + "'");
            }
        } else if (arg == "-d" || arg == "--delay") {
            o.delayMs = number(arg, takeValue());
        } else if (arg == "-b" || arg == "--baud") {
            o.baud = number(arg, takeValue());
        } else if (arg == "-g" || arg == "--gap") {
            o.gapMs = number(arg, takeValue());
        } else if (arg == "--wait-open") {
            o.waitOpenMs = number(arg, takeValue());
        } else if (arg == "--settle") {
            o.settleMs = number(arg, takeValue());
        } else if (arg == "--linger") {
            o.lingerMs = number(arg, takeValue());
        } else if (arg == "--hold") {
            o.hold = true;
        } else if (arg == "--latin1") {
            o.latin1 = true;
        } else if (arg == "-e" || arg == "--escapes") {
            o.escapes = true;
        } else if (arg == "-v" || arg == "--verbose") {
            o.verbose = true;
        } else {
            usageError("unknown option '" + arg + "'");
        }
    }
    if (o.codes.empty()) {
        o.fromStdin = true;
    }
    return o;
}

// UTF-8 text to Latin-1 bytes; nothing when a character lies beyond U+00FF or the text is not
// UTF-8.
std::optional<std::string> toLatin1(const std::string& utf8) {
    std::string out;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if ((c == 0xC2 || c == 0xC3) && i + 1 < utf8.size() &&
                   (static_cast<unsigned char>(utf8[i + 1]) & 0xC0) == 0x80) {
            out += static_cast<char>(((c & 0x03) << 6) |
                                     (static_cast<unsigned char>(utf8[i + 1]) & 0x3F));
            ++i;
        } else {
            return std::nullopt;
        }
    }
    return out;
}

std::optional<std::string> unescape(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        if (++i == text.size()) {
            return std::nullopt;
        }
        switch (text[i]) {
            case '\\':
                out += '\\';
                break;
            case 'r':
                out += '\r';
                break;
            case 'n':
                out += '\n';
                break;
            case 't':
                out += '\t';
                break;
            case 'x': {
                if (i + 2 >= text.size()) {
                    return std::nullopt;
                }
                const std::string hex = text.substr(i + 1, 2);
                if (!std::isxdigit(static_cast<unsigned char>(hex[0])) ||
                    !std::isxdigit(static_cast<unsigned char>(hex[1]))) {
                    return std::nullopt;
                }
                out += static_cast<char>(std::stoi(hex, nullptr, 16));
                i += 2;
                break;
            }
            default:
                return std::nullopt;
        }
    }
    return out;
}

bool sleepFor(milliseconds pause) {
    const auto end = Clock::now() + pause;
    while (!g_stop && Clock::now() < end) {
        std::this_thread::sleep_for(
            std::min<Clock::duration>(end - Clock::now(), milliseconds(20)));
    }
    return !g_stop;
}

class Port {
public:
    explicit Port(const Options& options) : m_options(options) {}
    ~Port() {
        close();
        if (!m_options.link.empty()) {
            ::unlink(m_options.link.c_str());
        }
    }

    bool plugIn() {
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0) {
            std::fprintf(stderr, "pelmora-vscan: cannot open a pseudo-terminal: %s\n",
                         std::strerror(errno));
            return false;
        }
        m_slave = ::ptsname(m_master);
        // Raw from the start: a reader that is slow to set up the line must not see the bytes
        // echoed or CR turned into LF. Opening and closing the port once also makes the master
        // report a hang-up until a reader opens it, which is how we see that one has.
        const int slave = ::open(m_slave.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (slave < 0) {
            std::fprintf(stderr, "pelmora-vscan: cannot open %s: %s\n", m_slave.c_str(),
                         std::strerror(errno));
            return false;
        }
        termios tio{};
        ::tcgetattr(slave, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(slave, TCSANOW, &tio);
        ::close(slave);
        if (!m_options.link.empty()) {
            const std::string temp = m_options.link + ".new";
            ::unlink(temp.c_str());
            if (::symlink(m_slave.c_str(), temp.c_str()) != 0 ||
                ::rename(temp.c_str(), m_options.link.c_str()) != 0) {
                std::fprintf(stderr, "pelmora-vscan: cannot link %s: %s\n", m_options.link.c_str(),
                             std::strerror(errno));
                return false;
            }
        }
        say("plugged in at " + m_slave);
        m_readerSeen = false;
        m_streaming = false;
        return true;
    }

    // As a USB adapter's node and its /dev/serial/by-id link vanish: the link goes first, so no
    // reader follows it to a port number that another program's pseudo-terminal may get next.
    void unplug() {
        if (!m_options.link.empty()) {
            ::unlink(m_options.link.c_str());
        }
        close();
    }

    void close() {
        if (m_master >= 0) {
            ::close(m_master);
            m_master = -1;
        }
    }

    const std::string& path() const { return m_options.link.empty() ? m_slave : m_options.link; }

    // Until a reader has the port open (or the wait is over), then the settle time.
    bool waitForReader() {
        if (m_readerSeen || m_options.waitOpenMs == 0) {
            return !g_stop;
        }
        // Someone at a terminal is likely setting a reader up by hand: say what it waits for.
        if (m_options.verbose || ::isatty(STDERR_FILENO) == 1) {
            std::fprintf(stderr, "pelmora-vscan: waiting for a reader to open %s\n",
                         path().c_str());
        }
        const bool bounded = m_options.waitOpenMs > 0;
        const auto end = Clock::now() + milliseconds(bounded ? m_options.waitOpenMs : 0);
        while (!g_stop && !readerHasPort()) {
            if (bounded && Clock::now() > end) {
                say("no reader opened the port; sending anyway");
                return true;
            }
            std::this_thread::sleep_for(milliseconds(10));
        }
        m_readerSeen = true;
        say("a reader opened the port");
        return sleepFor(milliseconds(m_options.settleMs));
    }

    // Paced, codes sent back to back are one stream as on a busy line: the first byte of a code
    // waits its turn after the last one of the code before, and a late wake-up is made up by the
    // bytes after it instead of slowing the whole stream down. A pause starts a new schedule.
    bool send(const std::string& bytes) {
        const bool paced = m_options.delayMs > 0 || m_options.baud > 0;
        if (!paced) {
            return writeAll(bytes);
        }
        auto interval = milliseconds(m_options.delayMs) +
                        std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(
                            m_options.baud > 0 ? 10.0 / m_options.baud : 0.0));
        if (!m_streaming) {
            m_next = Clock::now();
            m_streaming = true;
        }
        for (char c : bytes) {
            // Far behind (a line read from stdin after a quiet spell, a write held up by a slow
            // reader): a line never goes faster than its speed, so the schedule starts afresh.
            const auto now = Clock::now();
            if (now - m_next > kMaxCatchUp) {
                m_next = now;
            }
            std::this_thread::sleep_until(m_next);
            if (g_stop || !writeAll(std::string(1, c))) {
                return false;
            }
            m_next += interval;
        }
        return true;
    }

    // How late a byte may be and still be made up by the bytes after it.
    static constexpr auto kMaxCatchUp = milliseconds(10);

    // A gap, a sleep or an unplug: the line went quiet, the next byte starts a new schedule.
    void pause() { m_streaming = false; }

    void say(const std::string& text) const {
        if (m_options.verbose) {
            std::fprintf(stderr, "pelmora-vscan: %s\n", text.c_str());
        }
    }

private:
    bool readerHasPort() const {
        pollfd p{m_master, POLLIN, 0};
        if (::poll(&p, 1, 0) < 0) {
            return false;
        }
        if (p.revents & POLLIN) {
            // The reader never sends; drop anything that arrives so the pipe cannot fill.
            char sink[256];
            [[maybe_unused]] ssize_t n = ::read(m_master, sink, sizeof sink);
        }
        return (p.revents & POLLHUP) == 0;
    }

    bool writeAll(const std::string& bytes) {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(m_master, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                std::fprintf(stderr, "pelmora-vscan: write failed: %s\n", std::strerror(errno));
                return false;
            }
            done += static_cast<std::size_t>(n);
        }
        return true;
    }

    const Options& m_options;
    int m_master = -1;
    std::string m_slave;
    bool m_readerSeen = false;
    bool m_streaming = false;
    Clock::time_point m_next;
};

// One code or special code; false to stop.
bool handle(Port& port, const Options& options, const std::string& code, bool& first) {
    if (code.rfind("!unplug", 0) == 0) {
        const long pause =
            code.size() > 8 && code[7] == '=' ? number("!unplug", code.substr(8)) : 1500;
        // The usual pause between codes first: the reader takes the last code before the
        // hang-up, which would discard what it has not read yet.
        if (!first && !sleepFor(milliseconds(options.gapMs))) {
            return false;
        }
        port.unplug();
        port.say("unplugged");
        if (!sleepFor(milliseconds(pause)) || !port.plugIn()) {
            return false;
        }
        first = true;
        return true;
    }
    if (code.rfind("!sleep=", 0) == 0) {
        port.pause();
        return sleepFor(milliseconds(number("!sleep", code.substr(7))));
    }
    std::string text = code.rfind("!!", 0) == 0 ? code.substr(1) : code;
    if (options.escapes) {
        const auto bytes = unescape(text);
        if (!bytes) {
            std::fprintf(stderr, "pelmora-vscan: bad escape in '%s'; skipped\n", code.c_str());
            return true;
        }
        text = *bytes;
    }
    if (options.latin1) {
        const auto bytes = toLatin1(text);
        if (!bytes) {
            std::fprintf(stderr, "pelmora-vscan: '%s' is not Latin-1 text; skipped\n",
                         code.c_str());
            return true;
        }
        text = *bytes;
    }
    if (!port.waitForReader()) {
        return false;
    }
    if (!first && !sleepFor(milliseconds(options.gapMs))) {
        return false;
    }
    if (options.gapMs > 0) {
        port.pause();
    }
    first = false;
    std::string frame;
    if (options.prefix) {
        frame += static_cast<char>(*options.prefix);
    }
    frame += text;
    frame += options.suffix;
    port.say("scan " + std::to_string(frame.size()) + " bytes");
    return port.send(frame);
}

}  // namespace

int main(int argc, char** argv) {
    const Options options = parseOptions(argc, argv);
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    ::signal(SIGPIPE, SIG_IGN);

    Port port(options);
    if (!port.plugIn()) {
        return 1;
    }
    std::printf("%s\n", port.path().c_str());
    std::fflush(stdout);

    bool first = true;
    bool ok = true;
    for (const std::string& code : options.codes) {
        if (!(ok = handle(port, options, code, first))) {
            break;
        }
    }
    if (ok && options.fromStdin) {
        std::string line;
        while (ok && !g_stop && std::getline(std::cin, line)) {
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            ok = handle(port, options, line, first);
        }
    }
    if (options.hold) {
        while (!g_stop) {
            std::this_thread::sleep_for(milliseconds(50));
        }
    } else if (ok) {
        sleepFor(milliseconds(options.lingerMs));
    }
    return ok || g_stop ? 0 : 1;
}
