// The system log: one line per message on standard error, kept by the journal.
#pragma once

namespace uninstaller {

// Writes "<yyyy-MM-dd HH:mm:ss.SSS> <name>[<pid>] <message>" as one line with one
// write(2); a trailing line end of the message is dropped, one is always added.
void SystemLog(const char* format, ...) __attribute__((format(printf, 1, 2)));

} // namespace uninstaller
