// The system log (NSLog on macOS): one line per message, kept by journald or launchd.
#pragma once

#include <string>

namespace oslib {

// The journal's priorities (syslog's numbers), as sd-daemon prefixes them to a line.
enum class LogPriority { kError = 3, kWarning = 4, kInfo = 6, kDebug = 7 };

// Writes the message as one line on standard error: control characters inside it escaped
// (EscapeControls), a single trailing line end dropped and one added. When standard error
// is the journal (Configuration::standardErrorIsJournal), the line is "<priority>message":
// the journal stamps and names lines itself. Elsewhere (a terminal, launchd) it is
// "<yyyy-MM-dd HH:mm:ss.SSS> <name>[<pid>] <message>". Thread-safe: each line is written
// with one write(2).
void SystemLog(const char* format, ...) __attribute__((format(printf, 1, 2)));
void SystemLogText(const std::string& message, LogPriority priority = LogPriority::kInfo);

// The message with its control characters escaped (\n, \r, \t, else \xHH) but a single final
// line end kept, so that outside text (device strings, replies) cannot forge log lines.
std::string EscapeControls(const std::string& message);

} // namespace oslib
