// The text of a USB string descriptor as the device lists keep it.
#pragma once

#include <cstddef>
#include <cstdint>

// Decodes a reply of `transferred` bytes (negative: the request failed) that arrived in
// `buffer` of `capacity` bytes. The reply's own length byte is ignored: the bytes
// transferred count, and each UTF-16LE unit after the 2-byte header gives its low byte.
// Fewer than 3 bytes leave the string absent (null, length 0); otherwise *string is a
// malloc'd block of *length + 1 bytes.
void decodeUSBStringDescriptor(const uint8_t* buffer, size_t capacity, int transferred, char** string,
                               uint16_t* length);
