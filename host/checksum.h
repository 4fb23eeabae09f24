// Checksums shared by the settings file and the screenshot writer.
#pragma once

#include <cstddef>
#include <cstdint>

// CRC-32 as used by zip and PNG (reflected, polynomial 0xEDB88320). Pass the
// previous result as `crc` to continue over more bytes.
uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc = 0);

// Adler-32 as used by zlib streams.
uint32_t Adler32(const uint8_t* data, size_t size, uint32_t adler = 1);
