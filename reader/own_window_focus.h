// Whether one of the program's own windows has the keyboard focus. A scan typed there would edit
// the program itself (the Options dialog's device name, then its OK button), so scans are read
// and recorded then, but not typed.
#pragma once

#include <memory>

#include "platform/key_sink.h"

// Set by the windowing layer when the program's windows gain or lose the focus.
void setOwnWindowActive(bool active);
// That, or the platform seeing the foreground window in this process. Any thread.
bool ownWindowActive();

// Types through `sink` except for the blocks that begin while ownWindowActive holds.
std::unique_ptr<platform::KeySink> skipWhileOwnWindowActive(
    std::unique_ptr<platform::KeySink> sink);

namespace platform {
// Whether the desktop's foreground window belongs to this process, where the platform can tell.
bool foregroundWindowIsOurs();
}  // namespace platform
