#include "logind_restart.h"

#include <cstdint>
#include <memory>
#include <systemd/sd-bus.h>

namespace uninstaller {

namespace {

struct BusDeleter {
    void operator()(sd_bus* bus) const { sd_bus_flush_close_unref(bus); }
};
struct MessageDeleter {
    void operator()(sd_bus_message* message) const { sd_bus_message_unref(message); }
};
struct ErrorFree {
    void operator()(sd_bus_error* error) const { sd_bus_error_free(error); }
};

// Long enough for the user to answer a polkit password prompt.
constexpr uint64_t kReplyTimeoutUsec = 120ULL * 1000 * 1000;

} // namespace

SystemRestart::Outcome LogindRestart::request(RestartError& error)
{
    sd_bus* rawBus = nullptr;
    if (sd_bus_open_system(&rawBus) < 0) {
        return Outcome::kNoConnection;
    }
    std::unique_ptr<sd_bus, BusDeleter> bus(rawBus);

    sd_bus_message* rawMessage = nullptr;
    if (sd_bus_message_new_method_call(bus.get(), &rawMessage, "org.freedesktop.login1", "/org/freedesktop/login1",
                                       "org.freedesktop.login1.Manager", "Reboot") < 0) {
        return Outcome::kNoMessage;
    }
    std::unique_ptr<sd_bus_message, MessageDeleter> message(rawMessage);
    // true: logind may ask the user for authorisation.
    if (sd_bus_message_append(message.get(), "b", 1) < 0) {
        return Outcome::kNoMessage;
    }

    sd_bus_error callError = SD_BUS_ERROR_NULL;
    std::unique_ptr<sd_bus_error, ErrorFree> freeError(&callError);
    int result = sd_bus_call(bus.get(), message.get(), kReplyTimeoutUsec, &callError, nullptr);
    if (result < 0) {
        error.result = result;
        error.name = callError.name != nullptr ? callError.name : "";
        error.message = callError.message != nullptr ? callError.message : "";
    }
    return result < 0 ? Outcome::kSendFailed : Outcome::kSent;
}

} // namespace uninstaller
