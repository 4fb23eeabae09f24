// Standard MIDI Files: variable-length quantities, the header chunk and the
// one track chunk, written and read back.
#include "demo/smf.h"

#include <algorithm>

namespace {

void PutBE(std::vector<uint8_t>& out, uint32_t value, int bytes)
{
    for (int i = bytes - 1; i >= 0; i--) {
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
    }
}

const uint8_t kHeader[] = {
    'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, SMF_DIVISION >> 8, SMF_DIVISION & 0xFF,
    'M', 'T', 'r', 'k'};

// Reads the quantity at `at` and moves past it.
bool ReadVarLen(const std::vector<uint8_t>& bytes, size_t* at, uint32_t* value)
{
    *value = 0;
    for (int i = 0; i < 4 && *at < bytes.size(); i++) {
        uint8_t b = bytes[(*at)++];
        *value = *value << 7 | (b & 0x7F);
        if (!(b & 0x80)) {
            return true;
        }
    }
    return false;
}

// Moves past the event at `at`: a meta event (FF type length data), an
// escape (F0 or F7 length data) or a channel message.
bool SkipEvent(const std::vector<uint8_t>& bytes, size_t* at)
{
    uint8_t status = bytes[*at];
    uint32_t length = 0;
    if (status == 0xFF || status == 0xF0 || status == 0xF7) {
        *at += status == 0xFF ? 2 : 1;
        if (!ReadVarLen(bytes, at, &length)) {
            return false;
        }
    } else if (status >= 0x80 && status < 0xF0) {
        length = static_cast<uint32_t>(ShortMessageLength(status));
    } else {
        return false;
    }
    if (length > bytes.size() - *at) {
        return false;
    }
    *at += length;
    return true;
}

}  // namespace

void AppendVarLen(std::vector<uint8_t>& out, uint32_t value)
{
    value &= SMF_MAX_QUANTITY;
    uint8_t groups[4];
    int n = 0;
    do {
        groups[n++] = static_cast<uint8_t>(value & 0x7F);
        value >>= 7;
    } while (value != 0);
    while (n > 1) {
        out.push_back(static_cast<uint8_t>(groups[--n] | 0x80));
    }
    out.push_back(groups[0]);
}

int ShortMessageLength(uint8_t status)
{
    if (status < 0x80) {
        return 0;
    }
    if (status < 0xF0) {
        return (status & 0xE0) == 0xC0 ? 2 : 3;  // program change, channel pressure
    }
    switch (status) {
    case 0xF1:  // time code quarter frame
    case 0xF3:  // song select
        return 2;
    case 0xF2:  // song position
        return 3;
    default:
        return 1;
    }
}

std::vector<uint8_t> ShortMessageEvent(uint32_t packed)
{
    uint8_t bytes[3] = {static_cast<uint8_t>(packed), static_cast<uint8_t>(packed >> 8),
                        static_cast<uint8_t>(packed >> 16)};
    int length = ShortMessageLength(bytes[0]);
    std::vector<uint8_t> event;
    if (length == 0) {
        return event;
    }
    if (bytes[0] >= 0xF0) {
        // System messages cannot stand in a track as they are (FF is a meta
        // event there): they go in an escape.
        event.push_back(0xF7);
        event.push_back(static_cast<uint8_t>(length));
    }
    for (int i = 0; i < length; i++) {
        event.push_back(i == 0 ? bytes[i] : static_cast<uint8_t>(bytes[i] & 0x7F));
    }
    return event;
}

uint32_t TicksFromCounter(int64_t elapsed, int64_t frequency)
{
    if (elapsed <= 0 || frequency <= 0) {
        return 0;
    }
    // ticks = seconds * 1e6 / tempo * division, split to stay within 64 bits.
    const int64_t perSecond = static_cast<int64_t>(SMF_DIVISION) * 1000000 / SMF_TEMPO;
    int64_t whole = elapsed / frequency;
    int64_t rest = elapsed % frequency;
    if (whole >= static_cast<int64_t>(SMF_MAX_QUANTITY) / perSecond) {
        return SMF_MAX_QUANTITY;
    }
    int64_t ticks = whole * perSecond + rest * perSecond / frequency;
    return ticks > SMF_MAX_QUANTITY ? SMF_MAX_QUANTITY : static_cast<uint32_t>(ticks);
}

std::vector<uint8_t> EncodeSmf(const std::vector<SmfEvent>& events)
{
    std::vector<uint8_t> track;
    track.push_back(0x00);
    track.push_back(0xFF);
    track.push_back(0x51);
    track.push_back(0x03);
    PutBE(track, SMF_TEMPO, 3);
    uint32_t last = 0;
    for (const SmfEvent& e : events) {
        if (e.bytes.empty()) {
            continue;
        }
        uint32_t delta = e.tick > last ? e.tick - last : 0;
        if (e.tick > last) {
            last = e.tick;
        }
        AppendVarLen(track, delta);
        track.insert(track.end(), e.bytes.begin(), e.bytes.end());
    }
    const uint8_t end[] = {0x00, 0xFF, 0x2F, 0x00};
    track.insert(track.end(), end, end + sizeof end);

    std::vector<uint8_t> out = {'M', 'T', 'h', 'd'};
    PutBE(out, 6, 4);
    PutBE(out, 0, 2);  // format 0
    PutBE(out, 1, 2);  // one track
    PutBE(out, SMF_DIVISION, 2);
    out.insert(out.end(), {'M', 'T', 'r', 'k'});
    PutBE(out, static_cast<uint32_t>(track.size()), 4);
    out.insert(out.end(), track.begin(), track.end());
    return out;
}

bool DecodeSmf(const std::vector<uint8_t>& bytes, std::vector<SmfEvent>* events)
{
    events->clear();
    const size_t headerSize = sizeof kHeader + 4;
    if (bytes.size() < headerSize ||
        !std::equal(kHeader, kHeader + sizeof kHeader, bytes.begin())) {
        return false;
    }
    uint32_t trackSize = 0;
    for (size_t i = sizeof kHeader; i < headerSize; i++) {
        trackSize = trackSize << 8 | bytes[i];
    }
    if (trackSize != bytes.size() - headerSize) {
        return false;
    }
    size_t at = headerSize;
    uint32_t tick = 0;
    while (at < bytes.size()) {
        uint32_t delta = 0;
        // A tick past what 32 bits hold would wrap to before the ones read.
        if (!ReadVarLen(bytes, &at, &delta) || at == bytes.size() || delta > UINT32_MAX - tick) {
            return false;
        }
        tick += delta;
        size_t start = at;
        if (!SkipEvent(bytes, &at)) {
            return false;
        }
        events->push_back({tick, std::vector<uint8_t>(&bytes[start], &bytes[0] + at)});
    }
    return true;
}
