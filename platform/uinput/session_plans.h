// The key plans for the session's layout, with Caps Lock off and on.
#pragma once

#include <string>

#include "platform/xkb/key_plan.h"

namespace platform {

// False with `error` set when the layout cannot be made into a keymap.
bool sessionKeyPlans(KeyPlan& plan, KeyPlan& capsPlan, std::string& error);

}  // namespace platform
