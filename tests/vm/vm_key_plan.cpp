// Writes the uinput key plan for a layout as text, for the guest test program, which has no
// xkbcommon: "shift K", "altgr K", then "U K S A" per code unit (key code, Shift, AltGr).
#include <cstdio>
#include <string>

#include "platform/xkb/xkb_key_plan.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s LAYOUT\n", argv[0]);
        return 2;
    }
    std::string error;
    platform::XkbKeymapPtr keymap = platform::compileKeymap({"", "", argv[1], "", ""}, error);
    if (!keymap) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    const platform::KeyPlan plan = platform::planKeys(keymap.get(), 0, false);
    std::printf("shift %u\naltgr %u\n", plan.shiftKey, plan.altGrKey);
    for (unsigned unit = 0; unit < plan.strokes.size(); ++unit) {
        if (const auto& s = plan.strokes[unit]) {
            std::printf("%u %u %d %d\n", unit, s->key, s->shift ? 1 : 0, s->altGr ? 1 : 0);
        }
    }
    return 0;
}
