#include "packagekit_removal.h"

#include <cstdarg>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <vector>

#include "oslib/fetchwick_contract.h"
#include "oslib/system_log.h"
#include "package_database.h"
#include "system_bus.h"

namespace uninstaller {

namespace {

constexpr const char kService[] = "org.freedesktop.PackageKit";
constexpr const char kTransactionInterface[] = "org.freedesktop.PackageKit.Transaction";
// PackageKit's enumerations, as its D-Bus interface numbers them.
constexpr uint64_t kFilterInstalled = 1ULL << 2;
constexpr uint32_t kInfoInstalled = 1;
constexpr uint32_t kExitSuccess = 1;
constexpr uint32_t kExitCancelled = 3;
constexpr uint32_t kErrorNotAuthorized = 48;
// Long enough for an administrator to answer the prompt and for the package manager to run.
constexpr uint64_t kTransactionUsec = 15ULL * 60 * 1000 * 1000;

// One transaction of the service, and what its signals said.
struct Transaction {
    std::string path;
    std::vector<std::string> installed;  // ids of the packages reported as installed
    uint32_t error = 0;
    std::string details;
    bool finished = false;
    uint32_t exit = 0;
    UniqueSlot signals;
    UniqueSlot serviceGone;
};

int OnSignal(sd_bus_message* message, void* data, sd_bus_error*)
{
    auto& transaction = *static_cast<Transaction*>(data);
    uint32_t number = 0;
    const char* text = nullptr;
    if (sd_bus_message_is_signal(message, kTransactionInterface, "Package")) {
        if (sd_bus_message_read(message, "us", &number, &text) >= 0 && number == kInfoInstalled) {
            transaction.installed.emplace_back(text);
        }
    } else if (sd_bus_message_is_signal(message, kTransactionInterface, "ErrorCode")) {
        if (sd_bus_message_read(message, "us", &number, &text) >= 0) {
            transaction.error = number;
            transaction.details = text;
        }
    } else if (sd_bus_message_is_signal(message, kTransactionInterface, "Finished")) {
        sd_bus_message_read(message, "u", &transaction.exit);
        transaction.finished = true;
    } else if (sd_bus_message_is_signal(message, kTransactionInterface, "Destroy")) {
        transaction.finished = true;
    }
    return 0;
}

int OnServiceGone(sd_bus_message*, void* data, sd_bus_error*)
{
    auto& transaction = *static_cast<Transaction*>(data);
    transaction.details = "the package service went away";
    transaction.finished = true;
    return 0;
}

std::string Describe(const BusError& error, int result)
{
    return error.name().empty() ? std::strerror(-result) : error.name() + ": " + error.message();
}

uint64_t MonotonicUsec()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000000 + static_cast<uint64_t>(now.tv_nsec) / 1000;
}

// A new transaction, heard from its start: its signals count only from the service's own
// connection, and that connection's end ends it too.
bool Begin(sd_bus* bus, Transaction& transaction, std::string& why)
{
    BusError error;
    sd_bus_message* raw = nullptr;
    int result = sd_bus_call_method(bus, kService, "/org/freedesktop/PackageKit", "org.freedesktop.PackageKit",
                                    "CreateTransaction", &error.error, &raw, "");
    UniqueMessage reply(raw);
    const char* path = nullptr;
    if (result >= 0) {
        result = sd_bus_message_read(reply.get(), "o", &path);
    }
    if (result < 0) {
        why = "CreateTransaction: " + Describe(error, result);
        return false;
    }
    const char* sender = sd_bus_message_get_sender(reply.get());
    if (sender == nullptr) {
        why = "CreateTransaction: no sender";
        return false;
    }
    transaction.path = path;
    const std::string owner = sender;
    const std::string gone = "type='signal',sender='org.freedesktop.DBus',member='NameOwnerChanged',arg0='" + owner +
                             "',arg2=''";
    sd_bus_slot* signals = nullptr;
    sd_bus_slot* serviceGone = nullptr;
    result = sd_bus_match_signal(bus, &signals, owner.c_str(), path, kTransactionInterface, nullptr, OnSignal,
                                 &transaction);
    transaction.signals.reset(signals);
    if (result >= 0) {
        result = sd_bus_add_match(bus, &serviceGone, gone.c_str(), OnServiceGone, &transaction);
        transaction.serviceGone.reset(serviceGone);
    }
    if (result < 0) {
        why = std::string("cannot hear the transaction: ") + std::strerror(-result);
    }
    return result >= 0;
}

// Calls `method` of the transaction with the arguments of `types`, and waits for its end.
bool Run(sd_bus* bus, Transaction& transaction, std::string& why, const char* method, const char* types, ...)
{
    BusError error;
    va_list arguments;
    va_start(arguments, types);
    int result = sd_bus_call_methodv(bus, kService, transaction.path.c_str(), kTransactionInterface, method,
                                     &error.error, nullptr, types, arguments);
    va_end(arguments);
    if (result < 0) {
        why = std::string(method) + ": " + Describe(error, result);
        return false;
    }
    const uint64_t deadline = MonotonicUsec() + kTransactionUsec;
    while (!transaction.finished) {
        result = sd_bus_process(bus, nullptr);
        if (result > 0) {
            continue;
        }
        const uint64_t now = MonotonicUsec();
        if (result < 0 || now >= deadline || sd_bus_wait(bus, deadline - now) < 0) {
            why = std::string(method) + " did not finish";
            return false;
        }
    }
    return true;
}

} // namespace

PrivilegedRemoval::Outcome PackageKitRemoval::removeDownloader(std::string& byHand)
{
    if (!PackageOwns(database_, package_, fetchwick::BundlePath())) {
        return unowned_.removeDownloader(byHand);
    }
    std::string why;
    Outcome outcome = removePackage(why);
    if (outcome == Outcome::kFailed) {
        oslib::SystemLog("The package %s stays installed: %s", package_.c_str(), why.c_str());
        byHand = "sudo apt remove " + package_;
    }
    return outcome;
}

PrivilegedRemoval::Outcome PackageKitRemoval::removePackage(std::string& why)
{
    sd_bus* raw = nullptr;
    int result = sd_bus_open_system(&raw);
    UniqueBus bus(raw);
    if (result < 0) {
        why = std::string("no system bus: ") + std::strerror(-result);
        return Outcome::kFailed;
    }
    // The service asks polkit for an administrator only for a caller that allows it.
    sd_bus_set_allow_interactive_authorization(bus.get(), 1);
    Transaction resolve;
    if (!Begin(bus.get(), resolve, why) ||
        !Run(bus.get(), resolve, why, "Resolve", "tas", kFilterInstalled, 1, package_.c_str())) {
        return Outcome::kFailed;
    }
    // An id is "name;version;architecture;data".
    std::string id;
    for (const std::string& candidate : resolve.installed) {
        if (candidate.rfind(package_ + ";", 0) == 0) {
            id = candidate;
        }
    }
    if (id.empty()) {
        why = "the package service knows no installed package " + package_;
        return Outcome::kFailed;
    }
    BusError error;
    Transaction removal;
    if (!Begin(bus.get(), removal, why)) {
        return Outcome::kFailed;
    }
    result = sd_bus_call_method(bus.get(), kService, removal.path.c_str(), kTransactionInterface, "SetHints",
                                &error.error, nullptr, "as", 1, "interactive=true");
    if (result < 0) {
        why = "SetHints: " + Describe(error, result);
        return Outcome::kFailed;
    }
    // No other package goes with it.
    if (!Run(bus.get(), removal, why, "RemovePackages", "tasbb", uint64_t{0}, 1, id.c_str(), 0, 0)) {
        return Outcome::kFailed;
    }
    if (removal.exit == kExitSuccess) {
        return Outcome::kRemoved;
    }
    if (removal.error == kErrorNotAuthorized || removal.exit == kExitCancelled) {
        return Outcome::kRefused;
    }
    why = "RemovePackages of " + id + " failed" +
          (removal.details.empty() ? "" : ": " + removal.details + " (error " + std::to_string(removal.error) + ")");
    return Outcome::kFailed;
}

} // namespace uninstaller
