// The system log (NSLog on macOS): one line per message, kept by journald or launchd.
#pragma once

#include <string>

namespace platform {

// Writes "<yyyy-MM-dd HH:mm:ss.SSS> <name>[<pid>] <message>" as one line.
// A single trailing line end of the message is dropped; one is always added.
// Thread-safe: each line is written with one write(2).
void SystemLog(const char* format, ...) __attribute__((format(printf, 1, 2)));
void SystemLogText(const std::string& message);

} // namespace platform
