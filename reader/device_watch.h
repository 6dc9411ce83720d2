// Watches what keeps a halted reader from its scanner and asks it to connect again once that is
// gone: the device appearing, being released by another program or becoming accessible, and
// unreadable settings becoming readable. Says on standard error, whatever the verbosity, when
// the settings cannot be read, since the reader then waits instead of using the defaults.
#pragma once

#include <chrono>
#include <functional>
#include <string>

#include "reader/device_reader_thread.h"
#include "support/vl_object.h"

class DeviceWatch : public vantel::VLThread {
public:
    static constexpr unsigned kCheckIntervalMs = 1000;
    // A device that looks available but that the reader still could not use (a line that cannot
    // be set up yet) is tried again this often, though nothing about it changed.
    static constexpr std::chrono::seconds kRetryUnchanged{10};

    // `say` gets each line for the user (the program adds its name).
    DeviceWatch(DeviceReaderThread& reader, std::function<void(const std::string&)> say);
    ~DeviceWatch() override;

    int run() override;
    // One look: what run does every kCheckIntervalMs.
    void check();

private:
    DeviceReaderThread& m_reader;
    std::function<void(const std::string&)> m_say;
    std::string m_settingsProblem;
    std::string m_requestedFor;  // device name and signature of the last request
    std::chrono::steady_clock::time_point m_requestedAt;
};
