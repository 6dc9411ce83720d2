#include "platform/keys/stdout_key_sink.h"

#include <utility>

namespace platform {

StdoutKeySink::StdoutKeySink(std::FILE* out, std::function<void()> onOutputClosed)
    : m_out(out), m_onOutputClosed(std::move(onOutputClosed)) {}

void StdoutKeySink::beginBlock() {
    // A scan may span blocks and its Enter may come in a block of its own, after the scanner's
    // own CR: the run of line ends carries over from block to block.
    m_inBlock = true;
}

void StdoutKeySink::sendKey(std::uint16_t codeUnit) {
    if (codeUnit == 13 || codeUnit == 10) {
        if (!m_afterLineEnd) {
            m_pending += '\n';
            m_afterLineEnd = true;
        }
    } else if (codeUnit <= 0xFF) {
        m_pending += static_cast<char>(codeUnit);
        m_afterLineEnd = false;
    }
    if (!m_inBlock) {
        flush();
    }
}

void StdoutKeySink::endBlock() {
    m_inBlock = false;
    flush();
}

void StdoutKeySink::flush() {
    if (m_pending.empty()) {
        return;
    }
    const bool written =
        std::fwrite(m_pending.data(), 1, m_pending.size(), m_out) == m_pending.size() &&
        std::fflush(m_out) == 0;
    m_pending.clear();
    if (!written && !m_failed) {
        m_failed = true;
        if (m_onOutputClosed) {
            m_onOutputClosed();
        }
    }
}

}  // namespace platform
