// Settings that the environment may override (packaging, tests).
#pragma once

#include <cstdlib>
#include <string>

namespace oslib {

// The value of `variable` when it is set and not empty, else `fallback`: an empty
// assignment means "not configured", not "use nothing".
inline std::string EnvironmentOr(const char* variable, const char* fallback)
{
    const char* value = std::getenv(variable);
    return (value != nullptr && *value != '\0') ? std::string(value) : std::string(fallback);
}

// The user's no to usage reports, by the common DO_NOT_TRACK convention: set to anything
// but "0" (an empty value counts as unset).
inline bool DoNotTrack() { return EnvironmentOr("DO_NOT_TRACK", "0") != "0"; }

} // namespace oslib
