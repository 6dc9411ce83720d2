// Spaces the writes of the uinput sink. The kernel gives every reader of an input device its own
// buffer (64 events for a keyboard) and drops what does not fit when the reader is late; a key
// sink that writes without pause outruns a compositor thread that was not scheduled at once.
// Writes may come in a burst up to `burst` events, then at one event per `interval`, the pace of
// a fast USB keyboard, which every reader keeps up with.
#pragma once

#include <chrono>
#include <cstddef>

namespace platform {

class EventPacer {
public:
    using Clock = std::chrono::steady_clock;

    EventPacer(std::size_t burst, Clock::duration interval);

    // The pace for a virtual keyboard: a quarter of the kernel's buffer at once, then 4 events a
    // millisecond (about 1000 plain or 500 shifted characters a second).
    static EventPacer forKeyboard();
    // No pacing at all: for writes to a pipe in the tests.
    static EventPacer unpaced();

    // Books `events` events and returns when they may be written: `now` or later. The time
    // returned is assumed to be when they were written.
    Clock::time_point reserve(std::size_t events, Clock::time_point now);

private:
    Clock::duration m_interval;
    Clock::duration m_burstSpan;
    // When the events booked so far are paid for at one per interval.
    Clock::time_point m_paidUntil;
};

}  // namespace platform
