// pelmorad: the scanner reader without a desktop shell, for kiosks, user services and scripts.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <future>
#include <memory>
#include <string>
#include <thread>

#include "app/pelmorad/stop_signals.h"
#include "platform/keys/key_sinks.h"
#include "platform/keys/stdout_key_sink.h"
#include "platform/serial_api.h"
#include "reader/device_reader_thread.h"
#include "reader/device_watch.h"
#include "settings/product_info.h"
#include "settings/scanner_settings.h"

util::VLAppConfig theConfig(kProductName, kCompanyName, kCompanyWebAddress);

namespace {

constexpr const char* kProgram = "pelmorad";
// A stop that takes longer than this means the reader is stuck (a sink blocked on its output).
constexpr std::chrono::seconds kStopLimit{3};

struct Options {
    std::string sink = "auto";  // the session's own choice
    bool verbose = false;
    bool help = false;
    bool version = false;
};

[[noreturn]] void usageError(const std::string& message) {
    std::fprintf(stderr, "%s: %s (try %s --help)\n", kProgram, message.c_str(), kProgram);
    std::exit(2);
}

Options parseOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            options.help = true;
        } else if (arg == "-V" || arg == "--version") {
            options.version = true;
        } else if (arg == "-v" || arg == "--verbose") {
            options.verbose = true;
        } else if (arg == "--layout" || arg.rfind("--layout=", 0) == 0) {
            if (arg == "--layout" && i + 1 >= argc) {
                usageError("--layout needs a value, e.g. de or de:nodeadkeys");
            }
            const std::string value =
                arg == "--layout" ? argv[++i] : arg.substr(std::strlen("--layout="));
            // The sinks that follow the user's keymap read it from there, as the tray program's
            // do when it is set in the environment.
            // putenv keeps the string itself (and is the one both C libraries declare).
            static std::string layoutVariable;
            layoutVariable = "PELMORA_LAYOUT=" + value;
            ::putenv(layoutVariable.data());
        } else if (arg == "--sink" || arg.rfind("--sink=", 0) == 0) {
            std::string value;
            if (arg == "--sink") {
                if (i + 1 >= argc) {
                    usageError("--sink needs a value: " + platform::keySinkKinds());
                }
                value = argv[++i];
            } else {
                value = arg.substr(std::strlen("--sink="));
            }
            const std::string kinds = "|" + platform::keySinkKinds() + "|";
            if (value.empty() || value.find('|') != std::string::npos ||
                kinds.find("|" + value + "|") == std::string::npos) {
                usageError("unknown sink '" + value + "': use " + platform::keySinkKinds());
            }
            options.sink = value;
        } else if (!arg.empty() && arg[0] == '-') {
            usageError("unknown option '" + arg + "'");
        } else {
            usageError("unexpected argument '" + arg + "'");
        }
    }
    return options;
}

void printHelp() {
    std::printf(
        "Usage: %s [--sink %s] [--layout L[:V]] [--verbose]\n"
        "       %s --help | --version\n"
        "\n"
        "Reads the barcode scanner named by the %s settings and types every scan into the\n"
        "window that has the keyboard focus, as the tray program does, without a desktop shell.\n"
        "\n"
        "  --sink KIND   where the scans go:\n"
        "                  auto     the session's own choice (the default): in a Wayland\n"
        "                           session wayland, else portal, else uinput, else x11;\n"
        "                           in an X session x11, else uinput\n"
        "                  wayland  the compositor's virtual keyboard (sway and other wlroots\n"
        "                           compositors): every character, whatever the layout\n"
        "                  portal   the desktop portal (GNOME, KDE): asks the user once;\n"
        "                           characters the layout lacks are not typed\n"
        "                  uinput   a virtual keyboard (Wayland, text console) on the\n"
        "                           session's layout: characters it lacks are not typed\n"
        "                  x11      the focused X client, through XTest\n"
        "                  stdout   standard output: the bytes as received, one line per scan\n"
        "                A sink that stops working (its compositor went away) is reported and\n"
        "                made again at the next scan; the scans are read and recorded meanwhile.\n"
        "  --layout L[:V] the keyboard layout (and variant) of the session, where it cannot\n"
        "                be detected: e.g. de, de:nodeadkeys, us,de (also PELMORA_LAYOUT)\n"
        "  -v, --verbose report the sink chosen and why the others were not, connection\n"
        "                changes and why an open failed, on standard error\n"
        "  -h, --help    show this text\n"
        "  -V, --version show the version\n"
        "\n"
        "Settings: the file named by PELMORA_CONFIG, else $XDG_CONFIG_HOME/%s/%s.conf\n"
        "(~/.config/%s/%s.conf). SIGINT and SIGTERM stop the program; SIGHUP reconnects with\n"
        "the current settings (after editing the file). A settings file that cannot be read\n"
        "is named on standard error and the scanner stays closed until it can be. A scanner\n"
        "plugged in later, or released by another program, is opened within about a second.\n"
        "Exit status: 0 stopped on request, 1 cannot type or run, 2 bad command line.\n",
        kProgram, platform::keySinkKinds().c_str(), kProgram, kProductName, kCompanyName,
        kProductName, kCompanyName, kProductName);
}

void printVersion() {
    const util::VLAppInfo info(kProductId, 0, kProductName, kVersionMajor, kVersionMinor,
                               kVersionRelease, kVersionBuild);
    std::printf("%s (%s) %s\n", kProgram, kProductName, info.version("%m.%n.%r build %b").t_str());
}

const char* stateName(ReaderState state) {
    switch (state) {
        case Connecting:
            return "Connecting";
        case Halted:
            return "Halted";
        case Reading:
            return "Reading";
    }
    return "Halted";
}

void say(const std::string& text) {
    std::fprintf(stderr, "%s: %s\n", kProgram, text.c_str());
}

// Stops the reader (which closes the device); gives up on a reader that does not stop in time.
void stopReader(DeviceReaderThread& reader) {
    std::promise<void> stopped;
    std::future<void> done = stopped.get_future();
    std::thread stopper([&reader, &stopped] {
        reader.stop(true);
        stopped.set_value();
    });
    if (done.wait_for(kStopLimit) != std::future_status::ready) {
        say("the reader did not stop in time; exiting anyway");
        std::_Exit(1);
    }
    stopper.join();
}

}  // namespace

int main(int argc, char** argv) {
    const Options options = parseOptions(argc, argv);
    if (options.help) {
        printHelp();
        return 0;
    }
    if (options.version) {
        printVersion();
        return 0;
    }

    std::string error;
    if (!pelmorad::installStopSignals(error)) {
        say(error);
        return 1;
    }

    theConfig.setProductInfo(util::VLAppInfo(kProductId, 0, kProductName, kVersionMajor,
                                             kVersionMinor, kVersionRelease, kVersionBuild));
    theConfig.setProgramInfo(util::VLAppInfo(kProductId, 0, kProgram, kVersionMajor, kVersionMinor,
                                             kVersionRelease, kVersionBuild));

    std::unique_ptr<platform::KeySink> sink;
    std::atomic<bool> outputClosed{false};
    std::string chosen = options.sink;
    std::string passedOver;
    const bool automatic = options.sink == "auto";
    if (options.sink == "stdout") {
        sink = std::make_unique<platform::StdoutKeySink>(stdout, [&outputClosed] {
            outputClosed.store(true);
            pelmorad::requestStop();
        });
    } else if (automatic) {
        sink = platform::makeSessionKeySink(error, &chosen, &passedOver);
    } else {
        sink = platform::makeKeySink(options.sink, error);
    }
    if (!sink) {
        say(error);
        return 1;
    }
    if (options.verbose) {
        say("typing through " + chosen + (passedOver.empty() ? "" : "; passed over " + passedOver));
    }
    if (options.sink != "stdout") {
        // A compositor or display that goes away: the reader goes on reading and recording, and
        // a new sink of the same choice is tried at each block until one works.
        platform::SinkFactory again = [automatic, kind = options.sink](std::string& e) {
            return automatic ? platform::makeSessionKeySink(e) : platform::makeKeySink(kind, e);
        };
        sink = std::make_unique<platform::DeferredKeySink>(
            std::move(again), [](const std::string& e) { say(e); }, std::move(sink));
    }

    DeviceReaderThread reader(platform::makeSerialApi(), std::move(sink));
    if (options.verbose) {
        reader.setListener([](const vantel::VLString& event) { say(event.t_str()); });
    }
    reader.start();
    // A scanner plugged in later, or released by another program, is opened when it comes.
    DeviceWatch watch(reader, [](const std::string& line) { say(line); });
    watch.start();

    // Connection changes are polled for --verbose only; otherwise the main thread just waits.
    const int pollMs = options.verbose ? 50 : -1;
    ReaderState shown = Connecting;
    bool shownOpen = false;
    for (;;) {
        const pelmorad::Wake wake = pelmorad::waitForWake(pollMs);
        if (wake == pelmorad::Wake::Stop) {
            break;
        }
        if (wake == pelmorad::Wake::Reconnect) {
            if (options.verbose) {
                say("reconnecting with the current settings");
            }
            reader.setState(Connecting);
        }
        if (options.verbose) {
            const ReaderState state = reader.getState();
            const bool open = reader.isOpen();
            if (state != shown || open != shownOpen) {
                shown = state;
                shownOpen = open;
                std::string line = std::string("state ") + stateName(state) + ", device " +
                                   reader.getDeviceName().t_str() + (open ? " open" : " closed");
                if (!open && !reader.getLastError().isEmpty()) {
                    line += std::string(" (") + reader.getLastError().t_str() + ")";
                }
                say(line);
            }
        }
    }

    if (options.verbose) {
        say(outputClosed ? std::string("standard output closed; stopping")
                         : "stopping on " + pelmorad::lastStopReason());
    }
    watch.stop(true);
    stopReader(reader);
    if (options.verbose) {
        say("stopped; device closed");
    }
    return outputClosed ? 1 : 0;
}
