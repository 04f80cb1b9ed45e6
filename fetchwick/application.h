// The downloader as one application per user's session: the first launch reads its rows
// and tells the user, a later one hands its rows to it and leaves.
#pragma once

#include <string>

#include "updates.h"

namespace fetchwick {

// Names the notification interface to GLib; a program started from here must not inherit it.
constexpr const char* kNotificationBackendVariable = "GNOTIFICATION_BACKEND";

// Runs the application for the launch mode and the hand-off file's absolute path. In the
// first instance it returns once the user is done: 0, or 1 when the file held no update
// to offer. In a later one it returns at once, with what the first made of its rows.
int RunApplication(const char* program, const std::string& mode, const std::string& handOffPath);

} // namespace fetchwick
