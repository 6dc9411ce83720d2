#include "platform/uinput/session_plans.h"
#include "platform/uinput/uinput_key_sink.h"

namespace platform {

std::unique_ptr<KeySink> makeUinputKeySink(std::string& error, const std::string& path) {
    KeyPlan plan;
    KeyPlan capsPlan;
    if (!sessionKeyPlans(plan, capsPlan, error)) {
        return nullptr;
    }
    std::unique_ptr<UinputKeySink> sink = makeUinputKeySinkFor(plan, capsPlan, error, path);
    if (sink) {
        sink->setPlans(std::move(plan), std::move(capsPlan), capsLockLit);
    }
    return sink;
}

}  // namespace platform
