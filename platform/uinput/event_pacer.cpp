#include "platform/uinput/event_pacer.h"

#include <algorithm>

namespace platform {

EventPacer::EventPacer(std::size_t burst, Clock::duration interval)
    : m_interval(interval),
      m_burstSpan(interval * static_cast<Clock::rep>(burst)),
      m_paidUntil(Clock::time_point::min()) {}

EventPacer EventPacer::forKeyboard() {
    return EventPacer(16, std::chrono::microseconds(250));
}

EventPacer EventPacer::unpaced() {
    return EventPacer(0, Clock::duration::zero());
}

EventPacer::Clock::time_point EventPacer::reserve(std::size_t events, Clock::time_point now) {
    // A reader drains one event per interval, so the events not yet drained at `now` are the
    // span from `now` to m_paidUntil; the new events may go once that span leaves room for them
    // within the burst.
    const Clock::duration cost = m_interval * static_cast<Clock::rep>(events);
    const Clock::time_point start = std::max(m_paidUntil, now);
    const Clock::time_point sendAt = std::max(now, start + cost - m_burstSpan);
    m_paidUntil = start + cost;
    return sendAt;
}

}  // namespace platform
