#include "system_log.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <string>
#include <sys/time.h>
#include <unistd.h>

namespace uninstaller {

void SystemLog(const char* format, ...)
{
    struct timeval now {};
    gettimeofday(&now, nullptr);
    struct tm local {};
    localtime_r(&now.tv_sec, &local);
    char stamp[32];
    strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
    char head[96];
    snprintf(head, sizeof head, "%s.%03ld %s[%ld] ", stamp, static_cast<long>(now.tv_usec / 1000),
             program_invocation_short_name, static_cast<long>(getpid()));

    char message[2048];
    va_list args;
    va_start(args, format);
    vsnprintf(message, sizeof message, format, args);
    va_end(args);

    std::string line = std::string(head) + message;
    if (line.back() == '\n') {
        line.pop_back();
    }
    line += '\n';

    const char* data = line.data();
    size_t left = line.size();
    while (left > 0) {
        ssize_t written = write(STDERR_FILENO, data, left);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return;
        }
        data += written;
        left -= static_cast<size_t>(written);
    }
}

} // namespace uninstaller
