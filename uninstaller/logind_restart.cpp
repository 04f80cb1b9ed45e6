#include "logind_restart.h"

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

} // namespace

SystemRestart::Outcome LogindRestart::request(int& error)
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
    if (sd_bus_message_append(message.get(), "b", 1) < 0 || sd_bus_message_set_expect_reply(message.get(), 0) < 0) {
        return Outcome::kNoMessage;
    }

    int result = sd_bus_send(bus.get(), message.get(), nullptr);
    if (result >= 0) {
        result = sd_bus_flush(bus.get());
    }
    if (result < 0) {
        error = result;
        return Outcome::kSendFailed;
    }
    return Outcome::kSent;
}

} // namespace uninstaller
