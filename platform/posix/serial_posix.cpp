// Placeholder until the termios layer lands: every open fails.
#include "platform/serial_api.h"

namespace platform {
namespace {
class UnavailableSerialApi : public SerialApi {
public:
    Handle createFile(const char*) override { return kInvalidHandle; }
    bool getCommState(Handle, Dcb&) override { return false; }
    bool setCommState(Handle, const Dcb&) override { return false; }
    bool setCommTimeouts(Handle, const CommTimeouts&) override { return false; }
    bool readFile(Handle, void*, std::uint32_t, std::uint32_t& received) override {
        received = 0;
        return false;
    }
    bool closeHandle(Handle) override { return false; }
    void cancelReads() override {}
    std::string lastOpenError() const override { return "serial ports are not supported yet"; }
};
}  // namespace

std::unique_ptr<SerialApi> makeSerialApi() {
    return std::make_unique<UnavailableSerialApi>();
}
}  // namespace platform
