// CRC-32 and Adler-32.
#include "host/checksum.h"

namespace {

struct CrcTable {
    uint32_t entries[256];
};

CrcTable MakeCrcTable()
{
    CrcTable table;
    for (uint32_t n = 0; n < 256; n++) {
        uint32_t c = n;
        for (int k = 0; k < 8; k++) {
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        }
        table.entries[n] = c;
    }
    return table;
}

}  // namespace

uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc)
{
    static const CrcTable table = MakeCrcTable();
    uint32_t c = crc ^ 0xFFFFFFFFu;
    for (size_t i = 0; i < size; i++) {
        c = table.entries[(c ^ data[i]) & 0xFF] ^ (c >> 8);
    }
    return c ^ 0xFFFFFFFFu;
}

uint32_t Adler32(const uint8_t* data, size_t size, uint32_t adler)
{
    // 5552 bytes is the longest run whose sums cannot overflow 32 bits.
    uint32_t a = adler & 0xFFFF;
    uint32_t b = adler >> 16;
    while (size > 0) {
        size_t run = size < 5552 ? size : 5552;
        size -= run;
        while (run--) {
            a += *data++;
            b += a;
        }
        a %= 65521;
        b %= 65521;
    }
    return (b << 16) | a;
}
