// Owners of sd-bus objects, for the clients of services on the system bus.
#pragma once

#include <memory>
#include <string>
#include <systemd/sd-bus.h>

namespace uninstaller {

struct BusDeleter {
    void operator()(sd_bus* bus) const { sd_bus_flush_close_unref(bus); }
};
using UniqueBus = std::unique_ptr<sd_bus, BusDeleter>;

struct MessageDeleter {
    void operator()(sd_bus_message* message) const { sd_bus_message_unref(message); }
};
using UniqueMessage = std::unique_ptr<sd_bus_message, MessageDeleter>;

struct SlotDeleter {
    void operator()(sd_bus_slot* slot) const { sd_bus_slot_unref(slot); }
};
using UniqueSlot = std::unique_ptr<sd_bus_slot, SlotDeleter>;

// An error that a call may fill; freed with it.
struct BusError {
    sd_bus_error error = SD_BUS_ERROR_NULL;
    BusError() = default;
    ~BusError() { sd_bus_error_free(&error); }
    BusError(const BusError&) = delete;
    BusError& operator=(const BusError&) = delete;
    std::string name() const { return error.name != nullptr ? error.name : ""; }
    std::string message() const { return error.message != nullptr ? error.message : ""; }
};

} // namespace uninstaller
