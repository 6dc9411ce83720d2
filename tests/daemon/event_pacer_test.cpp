// The uinput sink's pacing against a model reader that drains one event per interval: the
// reader's buffer must never hold more than the burst, and the pacing must cost no more time
// than that limit needs.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <random>

#include "platform/uinput/event_pacer.h"

namespace {

using platform::EventPacer;
using Clock = EventPacer::Clock;
using std::chrono::microseconds;

// A reader that takes one event per `interval` from its buffer whenever there is one.
class ModelReader {
public:
    explicit ModelReader(Clock::duration interval) : m_interval(interval) {}
    // Events still in the buffer at `t`, after adding `events` written then.
    std::size_t write(Clock::time_point t, std::size_t events) {
        drainUntil(t);
        m_buffered += events;
        return m_buffered;
    }
    bool empty(Clock::time_point t) {
        drainUntil(t);
        return m_buffered == 0;
    }

private:
    void drainUntil(Clock::time_point t) {
        if (m_buffered == 0) {
            m_drained = t;
            return;
        }
        const auto ready = static_cast<std::size_t>((t - m_drained) / m_interval);
        const std::size_t taken = std::min(ready, m_buffered);
        m_buffered -= taken;
        m_drained += m_interval * static_cast<Clock::rep>(taken);
        if (m_buffered == 0) {
            m_drained = t;
        }
    }
    Clock::duration m_interval;
    std::size_t m_buffered = 0;
    Clock::time_point m_drained;
};

TEST(EventPacer, KeepsAReaderAtTheKeyboardPaceWithinTheBurst) {
    const auto interval = microseconds(250);
    const std::size_t burst = 32;
    std::mt19937 random(11);
    for (int run = 0; run < 20; ++run) {
        EventPacer pacer(burst, interval);
        ModelReader reader(interval);
        Clock::time_point now{};
        std::size_t maxBuffered = 0;
        for (int character = 0; character < 500; ++character) {
            // A plain or a shifted character; now and then the scanner goes quiet for a while.
            const std::size_t events = random() % 2 ? 4 : 8;
            if (random() % 40 == 0) {
                now += microseconds(random() % 20000);
            }
            const Clock::time_point sendAt = pacer.reserve(events, now);
            ASSERT_GE(sendAt, now);
            // Never a wait while the reader has room: the first characters of a scan go at once.
            if (reader.write(now, 0) + events <= burst) {
                EXPECT_EQ(sendAt, now) << "run " << run << ", character " << character;
            }
            maxBuffered = std::max(maxBuffered, reader.write(sendAt, events));
            now = sendAt;
        }
        EXPECT_LE(maxBuffered, burst) << "run " << run;
    }
}

TEST(EventPacer, LongStreamRunsAtTheIntervalAfterTheBurst) {
    const auto interval = microseconds(250);
    EventPacer pacer(32, interval);
    const Clock::time_point start{};
    Clock::time_point now = start;
    for (int character = 0; character < 1000; ++character) {
        now = pacer.reserve(4, now);
    }
    // 4000 events, of which the first 32 fit the burst; the last write goes when the reader has
    // room for it.
    EXPECT_EQ(now - start, interval * (4000 - 32));
    // After a pause long enough to drain everything, a whole burst goes at once again.
    now += interval * 100;
    for (int character = 0; character < 8; ++character) {
        EXPECT_EQ(pacer.reserve(4, now), now) << character;
    }
    EXPECT_GT(pacer.reserve(4, now), now);
}

TEST(EventPacer, UnpacedNeverWaits) {
    EventPacer pacer = EventPacer::unpaced();
    const Clock::time_point now{};
    for (int i = 0; i < 1000; ++i) {
        EXPECT_EQ(pacer.reserve(8, now), now);
    }
}

}  // namespace
