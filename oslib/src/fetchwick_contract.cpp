#include "oslib/fetchwick_contract.h"

#include <cctype>
#include <strings.h>

namespace fetchwick {

namespace {

bool StartsWithScheme(const std::string& text, size_t at)
{
    for (const char* scheme : {"http://", "https://"}) {
        size_t length = std::char_traits<char>::length(scheme);
        if (text.size() > at + length && strncasecmp(text.c_str() + at, scheme, length) == 0) {
            return true;
        }
    }
    return false;
}

// A digit, ".", then digits only.
bool IsDisplayVersion(const std::string& text)
{
    if (text.size() < 2 || !std::isdigit(static_cast<unsigned char>(text[0])) || text[1] != '.') {
        return false;
    }
    for (size_t i = 2; i < text.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) {
            return false;
        }
    }
    return true;
}

} // namespace

bool ParseHandOffRow(const std::string& line, HandOffRow& row)
{
    for (size_t comma = line.find(','); comma != std::string::npos; comma = line.find(',', comma + 1)) {
        if (comma == 0 || !StartsWithScheme(line, comma + 1)) {
            continue;
        }
        size_t second = line.rfind(',', comma - 1);
        size_t first = second == std::string::npos || second == 0 ? std::string::npos : line.rfind(',', second - 1);
        if (first == std::string::npos || first == 0 || second - first < 2) {
            continue;
        }
        std::string latest = line.substr(second + 1, comma - second - 1);
        if (IsDisplayVersion(latest)) {
            row = {line.substr(0, first), line.substr(first + 1, second - first - 1), latest, line.substr(comma + 1)};
            return true;
        }
    }
    return false;
}

} // namespace fetchwick
