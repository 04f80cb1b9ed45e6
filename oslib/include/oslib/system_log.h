// The system log (NSLog on macOS): one line per message, kept by journald or launchd.
#pragma once

#include <string>

namespace oslib {

// Writes "<yyyy-MM-dd HH:mm:ss.SSS> <name>[<pid>] <message>" as one line on standard error.
// A single trailing line end of the message is dropped; one is always added. Control
// characters inside the message are escaped (EscapeControls).
// Thread-safe: each line is written with one write(2).
void SystemLog(const char* format, ...) __attribute__((format(printf, 1, 2)));
void SystemLogText(const std::string& message);

// The message with its control characters escaped (\n, \r, \t, else \xHH) but a single final
// line end kept, so that outside text (device strings, replies) cannot forge log lines.
std::string EscapeControls(const std::string& message);

} // namespace oslib
