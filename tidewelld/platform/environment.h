// Settings that the environment may override (packaging, tests).
// Header-only: the uninstaller shares it without linking the agent.
#pragma once

#include <cstdlib>
#include <string>

namespace platform {

// The value of `variable` when it is set and not empty, else `fallback`: an empty
// assignment means "not configured", not "use nothing".
inline std::string EnvironmentOr(const char* variable, const char* fallback)
{
    const char* value = std::getenv(variable);
    return (value != nullptr && *value != '\0') ? std::string(value) : std::string(fallback);
}

} // namespace platform
