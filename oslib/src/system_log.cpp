#include "oslib/system_log.h"

#include <cstdarg>
#include <cstdio>

namespace oslib {

void SystemLog(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    // Most messages fit; a longer one (a script's complaint under a long path) is kept whole.
    char fitting[1024];
    int length = std::vsnprintf(fitting, sizeof fitting, format, args);
    va_end(args);
    std::string message;
    if (length >= static_cast<int>(sizeof fitting)) {
        message.resize(static_cast<size_t>(length) + 1);
        std::vsnprintf(message.data(), message.size(), format, again);
        message.pop_back();
    } else if (length > 0) {
        message.assign(fitting, static_cast<size_t>(length));
    }
    va_end(again);
    SystemLogText(message);
}

std::string EscapeControls(const std::string& message)
{
    bool lineEnd = !message.empty() && message.back() == '\n';
    size_t end = message.size() - (lineEnd ? 1 : 0);
    std::string out;
    out.reserve(message.size());
    for (size_t i = 0; i < end; ++i) {
        auto c = static_cast<unsigned char>(message[i]);
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20 || c == 0x7F) {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else {
            out.push_back(static_cast<char>(c));
        }
    }
    if (lineEnd) {
        out.push_back('\n');
    }
    return out;
}

} // namespace oslib
