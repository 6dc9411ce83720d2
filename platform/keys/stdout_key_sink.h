// Writes the scans to a stream instead of typing them, for pipes and scripts.
#pragma once

#include <cstdio>
#include <functional>
#include <string>

#include "platform/key_sink.h"

namespace platform {

// Code units 0..255 are written as the bytes they stand for (Latin-1, not re-encoded); larger
// ones cannot come from a byte and are dropped. Line ends become newlines: a run of CR, LF and the
// added Enter (all arrive as 13 or 10), within a block or across blocks, is one "\n", so a scanner
// that ends its codes with CR or CR LF, with Enter added as well, still gives one line per scan.
// Each block is flushed at its end, so a reader of the pipe sees every scan at once.
class StdoutKeySink : public KeySink {
public:
    // `onOutputClosed` runs once, on the reader thread, when a write fails (the reading end of
    // the pipe went away).
    explicit StdoutKeySink(std::FILE* out = stdout, std::function<void()> onOutputClosed = {});

    void beginBlock() override;
    void sendKey(std::uint16_t codeUnit) override;
    void endBlock() override;

private:
    void flush();

    std::FILE* m_out;
    std::function<void()> m_onOutputClosed;
    std::string m_pending;
    bool m_inBlock = false;
    bool m_afterLineEnd = false;
    bool m_failed = false;
};

}  // namespace platform
