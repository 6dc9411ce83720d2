// SIGTERM to exit of pelmorad: blocked in a silent read of a pseudo-terminal, and halted on a
// missing device; baseline: a process that only has to die (`sleep`), measured in the same run.
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "daemon/child_process.h"
#include "daemon/temp_settings.h"
#include "settings/product_info.h"
#include "settings/scanner_settings.h"

util::VLAppConfig theConfig(kProductName, kCompanyName, kCompanyWebAddress);

namespace {

using namespace std::chrono_literals;
using daemon_test::ChildProcess;

// Milliseconds from SIGTERM to the reaped exit; negative when the run went wrong.
double stopOnce(const std::vector<std::string>& argv, const daemon_test::TempSettings& settings,
                const char* readyText) {
    ChildProcess child(argv, settings.env());
    if (readyText != nullptr && !child.waitForOutput(
                                    [readyText](const std::string&, const std::string& err) {
                                        return err.find(readyText) != std::string::npos;
                                    },
                                    20s)) {
        std::fprintf(stderr, "not ready: %s\n", child.err().c_str());
        return -1;
    }
    // Let it settle into its read or its sleep.
    std::this_thread::sleep_for(readyText != nullptr ? 150ms : 50ms);
    const auto t0 = ChildProcess::Clock::now();
    child.signal(SIGTERM);
    const auto status = child.waitExit();
    const double ms = std::chrono::duration<double, std::milli>(child.exitedAt() - t0).count();
    const int expected = readyText != nullptr ? 0 : 128 + SIGTERM;
    return status == expected ? ms : -1;
}

void report(const char* what, std::vector<double> samples) {
    const auto bad = std::count_if(samples.begin(), samples.end(), [](double v) { return v < 0; });
    samples.erase(std::remove_if(samples.begin(), samples.end(), [](double v) { return v < 0; }),
                  samples.end());
    if (samples.empty()) {
        std::printf("| %-36s | %10s | %10s | %3d |\n", what, "failed", "failed", 0);
        return;
    }
    std::sort(samples.begin(), samples.end());
    std::printf("| %-36s | %7.3f ms | %7.3f ms | %3zu |%s\n", what, samples[samples.size() / 2],
                samples.back(), samples.size(), bad > 0 ? " (some runs failed)" : "");
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    daemon_test::TempSettings settings;
    if (!settings.honoured()) {
        std::printf(
            "| pelmorad stop latency: skipped, the settings store ignores PELMORA_CONFIG |\n");
        return 0;
    }
    int master = -1;
    int slave = -1;
    char name[128];
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        std::perror("openpty");
        return 1;
    }
    ::close(slave);  // pelmorad opens it by name

    const std::vector<std::string> pelmorad{PELMORAD_PATH, "--sink", "stdout", "--verbose"};
    std::vector<double> baseline, reading, halted;
    for (int i = 0; i < runs; ++i) {
        baseline.push_back(stopOnce({"/bin/sleep", "60"}, settings, nullptr));
        settings.write({{"DeviceName", name}, {"SerialDevice", "1"}});
        reading.push_back(stopOnce(pelmorad, settings, "state Reading"));
        settings.write({{"DeviceName", settings.dir() + "/missing"}});
        halted.push_back(stopOnce(pelmorad, settings, "state Halted"));
    }
    ::close(master);
    std::printf("| SIGTERM to exit                      | median     | max        | n   |\n");
    std::printf("|--------------------------------------|------------|------------|-----|\n");
    report("baseline: sleep(1) killed", baseline);
    report("pelmorad, blocked in a silent read", reading);
    report("pelmorad, Halted (device missing)", halted);
    return 0;
}
