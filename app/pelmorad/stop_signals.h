// How the operating system asks pelmorad to stop (or to reconnect), in one wait for the main
// thread. One implementation per platform: signals on POSIX, console control events on Windows.
#pragma once

#include <string>

namespace pelmorad {

enum class Wake { Timeout, Stop, Reconnect };

// Call before any other thread starts. From then on the stop requests (Ctrl+C, a termination
// request) and the reconnect request are delivered only through waitForWake. A write to a closed
// pipe fails with an error instead of ending the program.
bool installStopSignals(std::string& error);

// Waits for a request, or `timeoutMs` (-1: no limit). Main thread only.
Wake waitForWake(int timeoutMs);

// From any thread: makes waitForWake return Stop.
void requestStop();

// The request that ended the last waitForWake with Stop, for the user ("SIGTERM", ...).
std::string lastStopReason();

}  // namespace pelmorad
