// Drives the Win32 serial layer against a port whose other end the harness (wine_harness.py)
// holds: configures the line, then checks how reads split a burst, end on silence, and wake up
// when cancelled. Prints "ready <step>" when the harness should act and "done" when all passed.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <string>
#include <thread>

#include "platform/serial_api.h"

namespace {

using Clock = std::chrono::steady_clock;

// The burst the harness sends: control and 8-bit bytes a cooked line would alter or swallow.
const unsigned char kBurst[40] = {0x00, 0x0D, 0x0A, 0xE9, 0xFF, 0x11, 0x13, 0x7F, 0x03, 0x04,
                                  0x1A, 0x1B, 0x15, 0x17, 0x08, 0x80, 'A',  'B',  'C',  'D',
                                  'E',  'F',  'G',  'H',  'I',  'J',  'K',  'L',  'M',  'N',
                                  'O',  'P',  'Q',  'R',  'S',  'T',  'U',  'V',  'W',  'X'};

int failures = 0;

void check(bool ok, const std::string& what) {
    std::printf("%s %s\n", ok ? "ok" : "FAIL", what.c_str());
    std::fflush(stdout);
    if (!ok) {
        ++failures;
    }
}

void say(const char* line) {
    std::printf("%s\n", line);
    std::fflush(stdout);
}

long long msSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

struct Read {
    bool ok;
    std::uint32_t count;
    long long ms;
    unsigned char bytes[32];
};

Read readBlock(platform::SerialApi& serial, platform::Handle port) {
    Read r{};
    const auto start = Clock::now();
    r.ok = serial.readFile(port, r.bytes, 32, r.count);
    r.ms = msSince(start);
    std::printf("read ok=%d count=%u after %lld ms\n", r.ok ? 1 : 0, r.count, r.ms);
    std::fflush(stdout);
    return r;
}

bool sameBytes(const unsigned char* got, const unsigned char* want, std::uint32_t n) {
    for (std::uint32_t i = 0; i < n; ++i) {
        if (got[i] != want[i]) {
            std::printf("byte %u: got 0x%02X, want 0x%02X\n", i, got[i], want[i]);
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const char* name = argc > 1 ? argv[1] : "COM1";
    auto serial = platform::makeSerialApi();
    const platform::Handle port = serial->createFile(name);
    if (port == platform::kInvalidHandle) {
        std::printf("FAIL open %s: %s\n", name, serial->lastOpenError().c_str());
        return 1;
    }

    platform::Dcb dcb{};
    dcb.DCBlength = sizeof dcb;
    check(serial->getCommState(port, dcb), "GetCommState");
    dcb.BaudRate = 19200;
    dcb.ByteSize = 8;
    dcb.Parity = 0;
    dcb.StopBits = 0;
    dcb.fParity = 0;
    dcb.fOutxCtsFlow = 0;
    dcb.fOutxDsrFlow = 0;
    dcb.fDtrControl = 1;
    dcb.fInX = 0;
    dcb.fOutX = 0;
    dcb.fNull = 0;
    check(serial->setCommState(port, dcb), "SetCommState");
    platform::Dcb back{};
    back.DCBlength = sizeof back;
    check(serial->getCommState(port, back) && back.BaudRate == 19200 && back.ByteSize == 8 &&
              back.fInX == 0 && back.fOutX == 0,
          "line state reads back as set");
    check(serial->setCommTimeouts(port, {100, 0, 1000, 0, 0}), "SetCommTimeouts");

    // A 40-byte burst: one block of 32, then the 8 left over.
    say("ready burst");
    const Read first = readBlock(*serial, port);
    check(first.ok && first.count == 32 && sameBytes(first.bytes, kBurst, 32), "first block 32");
    const Read second = readBlock(*serial, port);
    check(second.ok && second.count == 8 && sameBytes(second.bytes, kBurst + 32, 8),
          "second block 8");

    // Silence: the read succeeds empty once the 1000 ms limit is over.
    say("ready silence");
    const Read quiet = readBlock(*serial, port);
    check(quiet.ok && quiet.count == 0 && quiet.ms >= 900 && quiet.ms < 10000,
          "silence gives 0 bytes after about 1000 ms");

    // Cancelling a read in progress, with the reader's time-outs. Windows ends it at once
    // (CancelSynchronousIo); Wine 8 cancels no synchronous serial read, so there it ends at its
    // 1000 ms limit. Either way it ends empty and cancelReads does not hang.
    std::packaged_task<Read()> task([&] { return readBlock(*serial, port); });
    std::future<Read> blocked = task.get_future();
    std::thread reader(std::move(task));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const auto cancelAt = Clock::now();
    serial->cancelReads();
    if (blocked.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        say("FAIL cancelReads left the read blocked");
        std::_Exit(1);
    }
    reader.join();
    const Read cancelled = blocked.get();
    const long long wake = msSince(cancelAt);
    std::printf("cancel woke the read after %lld ms\n", wake);
    check(cancelled.ok && cancelled.count == 0 && wake < 3000, "cancelled read ends empty");
    const auto later = Clock::now();
    std::uint32_t count = 1;
    unsigned char buffer[32];
    check(serial->readFile(port, buffer, 32, count) && count == 0 && msSince(later) < 1000,
          "reads after a cancel return at once");

    check(serial->closeHandle(port), "CloseHandle");
    if (failures != 0) {
        return 1;
    }
    say("done");
    return 0;
}
