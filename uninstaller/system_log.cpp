#include "system_log.h"

#include <cstdarg>
#include <cstdio>

#include "platform/system_log.h"

namespace uninstaller {

void SystemLog(const char* format, ...)
{
    char message[2048];
    va_list args;
    va_start(args, format);
    vsnprintf(message, sizeof message, format, args);
    va_end(args);
    platform::SystemLogText(message);
}

} // namespace uninstaller
