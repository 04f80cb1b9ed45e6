#include "../system_log.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <sys/time.h>
#include <unistd.h>

namespace platform {

void SystemLogText(const std::string& message)
{
    struct timeval tv {};
    gettimeofday(&tv, nullptr);
    struct tm local {};
    localtime_r(&tv.tv_sec, &local);
    char stamp[32];
    strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);

    std::string text = EscapeControls(message);
    if (!text.empty() && text.back() == '\n') {
        text.pop_back();
    }
    char head[96];
    snprintf(head, sizeof head, "%s.%03ld %s[%ld] ", stamp, static_cast<long>(tv.tv_usec / 1000),
             program_invocation_short_name, static_cast<long>(getpid()));
    std::string line = head + text + "\n";

    const char* data = line.data();
    size_t left = line.size();
    while (left > 0) {
        ssize_t n = write(STDERR_FILENO, data, left);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            // Nobody reads standard error any more: the line is dropped, the program goes on.
            return;
        }
        data += n;
        left -= static_cast<size_t>(n);
    }
}

void SystemLog(const char* format, ...)
{
    char buffer[1024];
    va_list args;
    va_start(args, format);
    vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    SystemLogText(buffer);
}

} // namespace platform
