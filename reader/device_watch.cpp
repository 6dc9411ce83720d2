#include "reader/device_watch.h"

#include <utility>

#include "platform/device_presence.h"
#include "settings/scanner_settings.h"

DeviceWatch::DeviceWatch(DeviceReaderThread& reader, std::function<void(const std::string&)> say)
    : VLThread(0), m_reader(reader), m_say(std::move(say)) {}

DeviceWatch::~DeviceWatch() {
    stop(true);
}

int DeviceWatch::run() {
    while (runnable()) {
        check();
        sleep(kCheckIntervalMs);
    }
    return 0;
}

void DeviceWatch::check() {
    const std::string problem = theConfig.settingsProblem().bytes();
    if (problem != m_settingsProblem) {
        if (!problem.empty()) {
            m_say("cannot read the settings: " + problem +
                  "; the scanner stays closed until they can be read");
        } else {
            m_say("the settings can be read again");
            m_requestedFor.clear();
        }
        m_settingsProblem = problem;
    }
    if (!problem.empty() || m_reader.getState() != Halted) {
        return;
    }

    const std::string name = readSetting(ScannerSettings::DeviceName).bytes();
    const platform::DevicePresence presence = platform::probeDevice(name);
    const std::string key = name + "\n" + presence.signature;
    const auto now = std::chrono::steady_clock::now();
    if (presence.available && (key != m_requestedFor || now - m_requestedAt >= kRetryUnchanged)) {
        m_requestedFor = key;
        m_requestedAt = now;
        m_reader.setState(Connecting);
    }
}
