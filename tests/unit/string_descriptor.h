// USB string descriptors as a device sends them, for the fake buses of the unit tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// bLength, type 3, then the text's UTF-16LE units.
inline std::vector<uint8_t> StringDescriptor(const std::u16string& text)
{
    std::vector<uint8_t> bytes{static_cast<uint8_t>(2 + 2 * text.size()), 3};
    for (char16_t unit : text) {
        bytes.push_back(unit & 0xFF);
        bytes.push_back(unit >> 8);
    }
    return bytes;
}
