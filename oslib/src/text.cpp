#include "oslib/text.h"

namespace oslib {

std::string Trimmed(const std::string& text)
{
    const char* blanks = " \t\r\n\v\f";
    size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos) {
        return "";
    }
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

void AppendLatin1(std::string& text, unsigned char c)
{
    if (c < 0x80) {
        text.push_back(static_cast<char>(c));
    } else {
        text.push_back(static_cast<char>(0xC0 | (c >> 6)));
        text.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

} // namespace oslib
