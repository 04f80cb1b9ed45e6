#include "logind_restart.h"

#include <cstdint>

#include "system_bus.h"

namespace uninstaller {

namespace {

// Long enough for the user to answer a polkit password prompt.
constexpr uint64_t kReplyTimeoutUsec = 120ULL * 1000 * 1000;

} // namespace

SystemRestart::Outcome LogindRestart::request(RestartError& error)
{
    sd_bus* rawBus = nullptr;
    if (sd_bus_open_system(&rawBus) < 0) {
        return Outcome::kNoConnection;
    }
    UniqueBus bus(rawBus);

    sd_bus_message* rawMessage = nullptr;
    if (sd_bus_message_new_method_call(bus.get(), &rawMessage, "org.freedesktop.login1", "/org/freedesktop/login1",
                                       "org.freedesktop.login1.Manager", "Reboot") < 0) {
        return Outcome::kNoMessage;
    }
    UniqueMessage message(rawMessage);
    // true: logind may ask the user for authorisation.
    if (sd_bus_message_append(message.get(), "b", 1) < 0) {
        return Outcome::kNoMessage;
    }

    BusError callError;
    int result = sd_bus_call(bus.get(), message.get(), kReplyTimeoutUsec, &callError.error, nullptr);
    if (result < 0) {
        error.result = result;
        error.name = callError.name();
        error.message = callError.message();
    }
    return result < 0 ? Outcome::kSendFailed : Outcome::kSent;
}

} // namespace uninstaller
