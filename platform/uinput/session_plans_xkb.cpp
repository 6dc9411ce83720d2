#include "platform/uinput/session_plans.h"
#include "platform/xkb/session_layout.h"

namespace platform {

bool sessionKeyPlans(KeyPlan& plan, KeyPlan& capsPlan, std::string& error) {
    const SessionLayout layout = detectSessionLayout();
    std::string name;
    XkbKeymapPtr keymap = compileSessionKeymap(layout, name, error);
    if (!keymap) {
        return false;
    }
    plan = planKeys(keymap.get(), layout.group, false);
    capsPlan = planKeys(keymap.get(), layout.group, true);
    plan.layoutName = capsPlan.layoutName = name;
    return true;
}

}  // namespace platform
