#include "oslib/hand_off.h"

#include <strings.h>
#include <unicode/uchar.h>
#include <unicode/utf8.h>

namespace fetchwick {

namespace {

// A control character (C0, DEL, C1, and the invisible format characters and separators
// that ICU counts among them) or white space of any kind; ill-formed UTF-8 counts as one.
bool HoldsControlOrBlank(std::string_view utf8)
{
    const auto* bytes = reinterpret_cast<const uint8_t*>(utf8.data());
    const auto length = static_cast<int32_t>(utf8.size());
    for (int32_t at = 0; at < length;) {
        UChar32 c = 0;
        U8_NEXT(bytes, at, length, c);
        if (c < 0 || u_iscntrl(c) || u_isUWhiteSpace(c)) {
            return true;
        }
    }
    return false;
}

bool IsVersion(const std::string& text)
{
    return !text.empty() && text[0] >= '0' && text[0] <= '9' && text.find_first_not_of("0123456789.") == std::string::npos;
}

// The list's form of a latest version: one digit, a point, digits.
bool IsDisplayVersion(const std::string& text)
{
    return text.size() >= 2 && text[0] >= '0' && text[0] <= '9' && text[1] == '.' &&
           text.find_first_not_of("0123456789", 2) == std::string::npos;
}

// A scheme with nothing after it is no address.
bool StartsWithWebScheme(const std::string& text, size_t at)
{
    return (strncasecmp(text.c_str() + at, "http://", 7) == 0 && text.size() > at + 7) ||
           (strncasecmp(text.c_str() + at, "https://", 8) == 0 && text.size() > at + 8);
}

} // namespace

std::string FormatHandOffRow(const HandOffRow& row)
{
    return row.product + "," + row.installed + "," + row.latest + "," + row.address;
}

bool ParseHandOffRow(const std::string& line, HandOffRow& row)
{
    for (size_t comma = line.rfind(','); comma != std::string::npos && comma > 0; comma = line.rfind(',', comma - 1)) {
        size_t second = line.rfind(',', comma - 1);
        size_t first = second == std::string::npos || second == 0 ? std::string::npos : line.rfind(',', second - 1);
        if (first == std::string::npos || first == 0 || !StartsWithWebScheme(line, comma + 1)) {
            continue;
        }
        std::string installed = line.substr(first + 1, second - first - 1);
        std::string latest = line.substr(second + 1, comma - second - 1);
        if (IsVersion(installed) && IsDisplayVersion(latest) && line[0] >= ' ' && line[0] <= '~') {
            row = {line.substr(0, first), installed, latest, line.substr(comma + 1)};
            return true;
        }
    }
    return false;
}

bool IsPackageAddress(std::string_view url)
{
    return url.find_first_of("\"\\<>`") == std::string::npos && !HoldsControlOrBlank(url);
}

} // namespace fetchwick
