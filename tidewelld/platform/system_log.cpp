#include "system_log.h"

#include <cstdio>

namespace platform {

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

} // namespace platform
