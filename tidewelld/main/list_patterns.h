// The patterns that recognise the lines of the two downloaded lists: ICU syntax, searched
// case-insensitively and unanchored in each line (platform/list_regex.h).
#pragma once

// Line 1 of either list; group 1 is the format version.
inline constexpr const char* kHeaderPattern = "FormatVersion:([0-9].*)";
// Target product list: group 3 is the product ID.
inline constexpr const char* kTargetRowPattern = "([0-9a-zA-Z-_.'()].*),[ ]*(14972),[ ]*([0-9]*)";
// Firmware version list: product name, version digits, platform, package address.
inline constexpr const char* kDeviceRowPattern = "([ -~].*),[ ]*([0-9]*),[ ]*([m|M]ac),[ ]*(https?://.+)";
// The updater's own row: version digits, platform, package address.
inline constexpr const char* kSelfRowPattern = "Tidewell,[ ]*([0-9]*),[ ]*([m|M]ac),[ ]*(https?://.+)";
