// The system log: one line per message on standard error, kept by the journal.
#pragma once

namespace uninstaller {

// platform::SystemLog with room for 2047 bytes of message, as the uninstaller has always
// logged: a script's complaint under a long bundle path outgrows the agent's 1023.
void SystemLog(const char* format, ...) __attribute__((format(printf, 1, 2)));

} // namespace uninstaller
