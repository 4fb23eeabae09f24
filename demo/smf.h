// Standard MIDI Files of format 0 with one track: written by the capture
// device, read back by the demo and the tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// One timed event of the track. `bytes` follow the delta time as they are:
// a channel message, a meta event (FF type length data) or an escaped
// system message (F7 length data).
struct SmfEvent {
    uint32_t tick;
    std::vector<uint8_t> bytes;
};

enum : uint32_t {
    SMF_DIVISION = 1000,            // ticks per quarter note
    SMF_TEMPO = 1000000,            // microseconds per quarter note: one tick is one millisecond
    SMF_MAX_QUANTITY = 0x0FFFFFFF,  // largest value a variable-length quantity holds
};

// Appends `value` (cut to 28 bits) as a variable-length quantity: seven
// bits a byte, most significant first, all but the last byte with bit 7 set.
void AppendVarLen(std::vector<uint8_t>& out, uint32_t value);

// Number of bytes of a short message with this status byte, 0 when the byte
// is not a status byte.
int ShortMessageLength(uint8_t status);

// The bytes of one short message as winmm packs it (status in the low byte),
// ready to go into a track: channel messages as they are, system messages
// escaped with F7. Empty when the low byte is no status byte.
std::vector<uint8_t> ShortMessageEvent(uint32_t packed);

// Ticks for an elapsed performance-counter interval at SMF_DIVISION and
// SMF_TEMPO, rounded down; saturates at SMF_MAX_QUANTITY.
uint32_t TicksFromCounter(int64_t elapsed, int64_t frequency);

// A whole file: MThd (format 0, one track, SMF_DIVISION), then MTrk with
// the tempo at tick 0, the events in the given order (a tick earlier than
// the one before counts as no delay), and the end of the track.
std::vector<uint8_t> EncodeSmf(const std::vector<SmfEvent>& events);

// The events of a file as EncodeSmf writes it, the tempo and the end of the
// track included, each with its absolute tick. False when the bytes are no
// such file: another header, a track length that is not the rest of the
// file, an event that is cut off or starts with no status byte, or a tick
// past what 32 bits hold.
bool DecodeSmf(const std::vector<uint8_t>& bytes, std::vector<SmfEvent>* events);
