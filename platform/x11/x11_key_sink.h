// Types code units into the focused X client through XTest.
#pragma once

#include <memory>
#include <string>

#include "platform/key_sink.h"

namespace platform {

// A sink for the X display named by DISPLAY (or `display` when not empty); null with `error` set
// when no display is reachable or it lacks XTEST.
std::unique_ptr<KeySink> makeX11KeySink(std::string& error, const std::string& display = {});

}  // namespace platform
