// The system log on Linux: standard error, which journald or a terminal keeps.
#include "oslib/system_log.h"

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <sys/time.h>
#include <unistd.h>

#include "oslib/configuration.h"
#include "oslib/descriptors.h"

namespace oslib {

void SystemLogText(const std::string& message, LogPriority priority)
{
    std::string text = EscapeControls(message);
    if (!text.empty() && text.back() == '\n') {
        text.pop_back();
    }
    char head[96];
    if (Configured().standardErrorIsJournal) {
        std::snprintf(head, sizeof head, "<%d>", static_cast<int>(priority));
    } else {
        struct timeval tv {};
        gettimeofday(&tv, nullptr);
        struct tm local {};
        localtime_r(&tv.tv_sec, &local);
        char stamp[32];
        strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
        std::snprintf(head, sizeof head, "%s.%03ld %s[%ld] ", stamp, static_cast<long>(tv.tv_usec / 1000),
                      program_invocation_short_name, static_cast<long>(getpid()));
    }
    std::string line = head + text + "\n";
    // Nobody may read standard error any more: the line is dropped, the program goes on.
    WriteAll(STDERR_FILENO, line.data(), line.size());
}

} // namespace oslib
