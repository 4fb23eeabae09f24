// PNG writing: a small deflate (LZ77 with hash chains, fixed Huffman codes),
// scanline filtering and the PNG chunks.
#include "host/png.h"

#include <algorithm>
#include <cstdlib>
#include <map>

#include "host/checksum.h"

namespace {

// Bits go out least significant first, as deflate packs them.
struct BitWriter {
    std::vector<uint8_t>* out;
    uint32_t buffer;
    int count;
};

void PutBits(BitWriter& w, uint32_t bits, int n)
{
    w.buffer |= bits << w.count;
    w.count += n;
    while (w.count >= 8) {
        w.out->push_back(static_cast<uint8_t>(w.buffer));
        w.buffer >>= 8;
        w.count -= 8;
    }
}

void FlushBits(BitWriter& w)
{
    if (w.count > 0) {
        w.out->push_back(static_cast<uint8_t>(w.buffer));
    }
    w.buffer = 0;
    w.count = 0;
}

// Huffman codes are defined most significant bit first.
void PutCode(BitWriter& w, uint32_t code, int n)
{
    uint32_t reversed = 0;
    for (int i = 0; i < n; i++) {
        reversed = (reversed << 1) | ((code >> i) & 1);
    }
    PutBits(w, reversed, n);
}

void PutLiteral(BitWriter& w, int symbol)
{
    if (symbol < 144) {
        PutCode(w, 0x30 + symbol, 8);
    } else if (symbol < 256) {
        PutCode(w, 0x190 + symbol - 144, 9);
    } else if (symbol < 280) {
        PutCode(w, symbol - 256, 7);
    } else {
        PutCode(w, 0xC0 + symbol - 280, 8);
    }
}

const int kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                             31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
const int kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                              2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
const int kDistBase[30] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                           33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                           1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
const int kDistExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                            6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

void PutMatch(BitWriter& w, int length, int distance)
{
    int l = 28;
    while (kLengthBase[l] > length) {
        l--;
    }
    PutLiteral(w, 257 + l);
    PutBits(w, static_cast<uint32_t>(length - kLengthBase[l]), kLengthExtra[l]);
    int d = 29;
    while (kDistBase[d] > distance) {
        d--;
    }
    PutCode(w, static_cast<uint32_t>(d), 5);
    PutBits(w, static_cast<uint32_t>(distance - kDistBase[d]), kDistExtra[d]);
}

enum {
    WINDOW = 32768,
    MIN_MATCH = 3,
    MAX_MATCH = 258,
    HASH_BITS = 15,
    MAX_CHAIN = 64,
};

uint32_t Hash3(const uint8_t* p)
{
    uint32_t v = static_cast<uint32_t>(p[0]) << 16 | static_cast<uint32_t>(p[1]) << 8 | p[2];
    return (v * 2654435761u) >> (32 - HASH_BITS);
}

void PutBE32(std::vector<uint8_t>& out, uint32_t v)
{
    for (int i = 3; i >= 0; i--) {
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
}

void PutChunk(std::vector<uint8_t>& png, const char* type, const std::vector<uint8_t>& data)
{
    PutBE32(png, static_cast<uint32_t>(data.size()));
    size_t start = png.size();
    png.insert(png.end(), type, type + 4);
    png.insert(png.end(), data.begin(), data.end());
    PutBE32(png, Crc32(png.data() + start, png.size() - start));
}

// Chooses, per row, the filter whose bytes sum smallest as signed values,
// the usual cheap guess at what compresses best.
void FilterRows(const std::vector<uint8_t>& raw, size_t rowBytes, size_t bpp, uint32_t height,
                std::vector<uint8_t>& out)
{
    std::vector<uint8_t> trial[3];
    for (uint32_t y = 0; y < height; y++) {
        const uint8_t* row = raw.data() + y * rowBytes;
        const uint8_t* up = y > 0 ? row - rowBytes : nullptr;
        long best = -1;
        int bestFilter = 0;
        for (int f = 0; f < 3; f++) {
            trial[f].assign(row, row + rowBytes);
            long sum = 0;
            for (size_t i = 0; i < rowBytes; i++) {
                int predictor = 0;
                if (f == 1 && i >= bpp) {
                    predictor = row[i - bpp];
                } else if (f == 2 && up) {
                    predictor = up[i];
                }
                uint8_t v = static_cast<uint8_t>(row[i] - predictor);
                trial[f][i] = v;
                sum += v < 128 ? v : 256 - v;
            }
            if (best < 0 || sum < best) {
                best = sum;
                bestFilter = f;
            }
        }
        out.push_back(static_cast<uint8_t>(bestFilter));
        out.insert(out.end(), trial[bestFilter].begin(), trial[bestFilter].end());
    }
}

}  // namespace

std::vector<uint8_t> ZlibCompress(const uint8_t* data, size_t size)
{
    std::vector<uint8_t> out = {0x78, 0x01};
    BitWriter w = {&out, 0, 0};
    PutBits(w, 1, 1);  // the final block
    PutBits(w, 1, 2);  // fixed Huffman codes

    std::vector<int32_t> head(1u << HASH_BITS, -1);
    std::vector<int32_t> prev(WINDOW, -1);
    size_t pos = 0;
    auto insert = [&](size_t at) {
        if (at + MIN_MATCH <= size) {
            uint32_t h = Hash3(data + at);
            prev[at % WINDOW] = head[h];
            head[h] = static_cast<int32_t>(at);
        }
    };
    while (pos < size) {
        int bestLength = 0;
        int bestDistance = 0;
        if (pos + MIN_MATCH <= size) {
            int32_t candidate = head[Hash3(data + pos)];
            size_t limit = std::min<size_t>(MAX_MATCH, size - pos);
            for (int chain = 0; chain < MAX_CHAIN && candidate >= 0; chain++) {
                size_t distance = pos - static_cast<size_t>(candidate);
                if (distance > WINDOW - 1 || distance == 0) {
                    break;
                }
                const uint8_t* a = data + candidate;
                const uint8_t* b = data + pos;
                size_t length = 0;
                while (length < limit && a[length] == b[length]) {
                    length++;
                }
                if (static_cast<int>(length) > bestLength) {
                    bestLength = static_cast<int>(length);
                    bestDistance = static_cast<int>(distance);
                    if (length == limit) {
                        break;
                    }
                }
                int32_t next = prev[candidate % WINDOW];
                if (next >= candidate) {
                    break;  // the slot was reused by a newer position
                }
                candidate = next;
            }
        }
        if (bestLength >= MIN_MATCH) {
            PutMatch(w, bestLength, bestDistance);
            for (int i = 0; i < bestLength; i++) {
                insert(pos + i);
            }
            pos += bestLength;
        } else {
            PutLiteral(w, data[pos]);
            insert(pos);
            pos++;
        }
    }
    PutLiteral(w, 256);
    FlushBits(w);
    PutBE32(out, Adler32(data, size));
    return out;
}

std::vector<uint8_t> EncodePng(const uint8_t* rgb, uint32_t width, uint32_t height)
{
    if (width == 0 || height == 0) {
        return {};
    }
    size_t pixels = static_cast<size_t>(width) * height;

    // Screens of controls use few colours: index them when they fit.
    std::map<uint32_t, uint8_t> palette;
    bool indexed = true;
    for (size_t i = 0; i < pixels && indexed; i++) {
        uint32_t colour = static_cast<uint32_t>(rgb[3 * i]) << 16 |
                          static_cast<uint32_t>(rgb[3 * i + 1]) << 8 | rgb[3 * i + 2];
        if (palette.find(colour) == palette.end()) {
            if (palette.size() == 256) {
                indexed = false;
            } else {
                palette.emplace(colour, 0);
            }
        }
    }
    std::vector<uint8_t> raw;
    std::vector<uint8_t> plte;
    size_t bpp = 3;
    if (indexed) {
        uint8_t next = 0;
        for (auto& entry : palette) {
            entry.second = next++;
            plte.push_back(static_cast<uint8_t>(entry.first >> 16));
            plte.push_back(static_cast<uint8_t>(entry.first >> 8));
            plte.push_back(static_cast<uint8_t>(entry.first));
        }
        raw.resize(pixels);
        for (size_t i = 0; i < pixels; i++) {
            uint32_t colour = static_cast<uint32_t>(rgb[3 * i]) << 16 |
                              static_cast<uint32_t>(rgb[3 * i + 1]) << 8 | rgb[3 * i + 2];
            raw[i] = palette[colour];
        }
        bpp = 1;
    } else {
        raw.assign(rgb, rgb + pixels * 3);
    }
    size_t rowBytes = static_cast<size_t>(width) * bpp;
    std::vector<uint8_t> filtered;
    filtered.reserve((rowBytes + 1) * height);
    if (indexed) {
        // Filtering palette indices seldom helps; every row goes as it is.
        for (uint32_t y = 0; y < height; y++) {
            filtered.push_back(0);
            const uint8_t* row = raw.data() + y * rowBytes;
            filtered.insert(filtered.end(), row, row + rowBytes);
        }
    } else {
        FilterRows(raw, rowBytes, bpp, height, filtered);
    }

    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> ihdr;
    PutBE32(ihdr, width);
    PutBE32(ihdr, height);
    ihdr.push_back(8);                // bits per sample or index
    ihdr.push_back(indexed ? 3 : 2);  // indexed colour or truecolour
    ihdr.push_back(0);                // deflate
    ihdr.push_back(0);                // adaptive filtering
    ihdr.push_back(0);                // no interlace
    PutChunk(png, "IHDR", ihdr);
    if (indexed) {
        PutChunk(png, "PLTE", plte);
    }
    PutChunk(png, "IDAT", ZlibCompress(filtered.data(), filtered.size()));
    PutChunk(png, "IEND", {});
    return png;
}
