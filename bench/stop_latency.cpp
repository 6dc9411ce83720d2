// How long stop(true) takes with the reader asleep in Halted and blocked in a silent read.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "fakes/fake_serial.h"
#include "reader/device_reader_thread.h"
#include "settings/product_info.h"
#include "settings/scanner_settings.h"

util::VLAppConfig theConfig(kProductName, kCompanyName, kCompanyWebAddress);

namespace {

using Clock = std::chrono::steady_clock;

double measureOnce(bool halted) {
    auto log = std::make_shared<fakes::SerialLog>();
    if (halted) {
        log->missing.insert("COM1");
    }
    DeviceReaderThread reader(std::make_unique<fakes::FakeSerialApi>(log),
                              std::make_unique<platform::NullKeySink>());
    reader.start();
    // Let the reader settle into its sleep or its read.
    while (reader.getLoopCount() < 2 && !(halted == false && reader.isOpen())) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    const auto t0 = Clock::now();
    reader.stop(true);
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

void report(const char* what, std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    const double median = samples[samples.size() / 2];
    std::printf("| stop latency, %-22s | %7.3f ms | %7.3f ms | %3zu |\n", what, median,
                samples.back(), samples.size());
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;
    theConfig.setStore(std::make_shared<util::MemorySettingsStore>());
    std::vector<double> halted;
    std::vector<double> reading;
    for (int i = 0; i < runs; ++i) {
        halted.push_back(measureOnce(true));
        reading.push_back(measureOnce(false));
    }
    std::printf("| measure                              | median     | max        | n   |\n");
    std::printf("|--------------------------------------|------------|------------|-----|\n");
    report("Halted (in sleep 100)", halted);
    report("blocked in a silent read", reading);
    return 0;
}
