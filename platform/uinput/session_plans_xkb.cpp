#include "platform/uinput/session_plans.h"
#include "platform/xkb/session_layout.h"

namespace platform {

bool sessionKeyPlans(KeyPlan& plan, KeyPlan& capsPlan, std::string& error) {
    const SessionLayout layout = detectSessionLayout();
    XkbKeymapPtr keymap = compileKeymap(layout.names, error);
    if (!keymap) {
        error += "; name the layout with --layout (e.g. --layout de:nodeadkeys)";
        return false;
    }
    std::string name = layout.names.describe();
    if (layout.group != 0) {
        name += " group " + std::to_string(layout.group + 1);
    }
    name += " (from " + layout.source + ")";
    plan = planKeys(keymap.get(), layout.group, false);
    capsPlan = planKeys(keymap.get(), layout.group, true);
    plan.layoutName = capsPlan.layoutName = name;
    return true;
}

}  // namespace platform
