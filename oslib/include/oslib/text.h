// Small text helpers.
#pragma once

#include <string>

namespace oslib {

// The text without white space (blanks, tabs, line ends, vertical tabs, form feeds) at either end.
std::string Trimmed(const std::string& text);

// Appends the UTF-8 form of one Latin-1 character. Device strings hold one byte per
// character, the low byte of its UTF-16 unit, so their bytes read as Latin-1.
void AppendLatin1(std::string& text, unsigned char c);

} // namespace oslib
