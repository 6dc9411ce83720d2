// Placeholder until the desktop sinks land: nothing is typed.
#include "platform/key_sink.h"

namespace platform {
std::unique_ptr<KeySink> makeDefaultKeySink() {
    return std::make_unique<NullKeySink>();
}
}  // namespace platform
