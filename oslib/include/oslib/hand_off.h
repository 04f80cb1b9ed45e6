// The rows of the hand-off file: written by the agent, read back by the downloader.
#pragma once

#include <string>
#include <string_view>

namespace fetchwick {

struct HandOffRow {
    std::string product;    // may hold commas
    std::string installed;  // the version in use
    std::string latest;     // the list's version
    std::string address;    // the package's URL
};

// "product,installed,latest,address", without a line end.
std::string FormatHandOffRow(const HandOffRow& row);

// Reads a line back. The installed version is a run of digits and points that starts with a
// digit, the latest one the list's form (a digit, a point, digits), the
// address starts with "http://" or "https://" in any letter case, and the product is all
// before them: a comma in the product or the address cannot move the split, since the
// last place where both versions and an address follow wins (as the list's greedy name
// does). False when the line has no such form, or its product starts with no printable
// ASCII character.
bool ParseHandOffRow(const std::string& line, HandOffRow& row);

// True when the agent passes `url` on as a package address: one holding a control
// character, a blank, ", \, <, > or ` is no URL and could end the address early in a quoted
// or unquoted shell word, an HTML attribute or the row itself. The scheme is not checked:
// the agent passes http addresses on, the downloader fetches https ones alone.
bool IsPackageAddress(std::string_view url);

} // namespace fetchwick
