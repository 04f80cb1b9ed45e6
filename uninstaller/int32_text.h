// Decimal integers in text, as script results are given.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace uninstaller {

// The value of text that is exactly one decimal integer within 32 bits.
std::optional<int32_t> ParseInt32(const std::string& text);

} // namespace uninstaller
