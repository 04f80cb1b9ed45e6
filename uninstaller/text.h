// Small text helpers: script results and key-value lines.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace uninstaller {

// The value of text that is exactly one decimal integer within 32 bits.
std::optional<int32_t> ParseInt32(const std::string& text);

// The text without leading and trailing blanks (spaces, tabs, line ends).
std::string Trimmed(const std::string& text);

} // namespace uninstaller
