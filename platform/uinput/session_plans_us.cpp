#include "platform/uinput/session_plans.h"
#include "platform/uinput/us_keymap.h"

namespace platform {

bool sessionKeyPlans(KeyPlan& plan, KeyPlan& capsPlan, std::string&) {
    plan = capsPlan = usKeyPlan();
    return true;
}

}  // namespace platform
