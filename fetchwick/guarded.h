// No exception crosses GTK or GLib: each C callback runs its body through Guarded. Only
// lack of memory can raise one here; it ends in a line of the system log.
#pragma once

#include <exception>

#include "oslib/system_log.h"

namespace fetchwick {

// The body's result, or `failed` when it throws.
template <typename Result, typename Body>
Result Guarded(const char* callback, Result failed, Body&& body) noexcept
{
    try {
        return body();
    } catch (const std::exception& error) {
        oslib::SystemLog("%s failed: %s", callback, error.what());
    } catch (...) {
        oslib::SystemLog("%s failed", callback);
    }
    return failed;
}

template <typename Body>
void Guarded(const char* callback, Body&& body) noexcept
{
    Guarded(callback, 0, [&body] {
        body();
        return 0;
    });
}

} // namespace fetchwick
