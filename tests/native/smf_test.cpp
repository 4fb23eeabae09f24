// The capture device's MIDI file: variable-length quantities, messages as
// they go into a track, the file's exact bytes, and reading it back.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "demo/smf.h"

namespace {

struct Quantity {
    uint32_t value;
    std::vector<uint8_t> bytes;
};

TEST(SmfWriter, VariableLengthQuantities)
{
    const Quantity cases[] = {
        {0x00, {0x00}},
        {0x40, {0x40}},
        {0x7F, {0x7F}},
        {0x80, {0x81, 0x00}},
        {0x2000, {0xC0, 0x00}},
        {0x3FFF, {0xFF, 0x7F}},
        {0x4000, {0x81, 0x80, 0x00}},
        {0x1FFFFF, {0xFF, 0xFF, 0x7F}},
        {0x200000, {0x81, 0x80, 0x80, 0x00}},
        {0x0FFFFFFF, {0xFF, 0xFF, 0xFF, 0x7F}},
        {0xFFFFFFFF, {0xFF, 0xFF, 0xFF, 0x7F}},  // cut to the 28 bits a quantity holds
    };
    for (const Quantity& q : cases) {
        std::vector<uint8_t> out = {0xAA};
        AppendVarLen(out, q.value);
        std::vector<uint8_t> expected = {0xAA};
        expected.insert(expected.end(), q.bytes.begin(), q.bytes.end());
        EXPECT_EQ(out, expected) << std::hex << q.value;
    }
}

struct Message {
    uint32_t packed;
    std::vector<uint8_t> event;
};

TEST(SmfWriter, ShortMessagesAsTrackEvents)
{
    const Message cases[] = {
        {0x6E3C90, {0x90, 0x3C, 0x6E}},  // note-on
        {0x003C90, {0x90, 0x3C, 0x00}},  // note-off as note-on with velocity 0
        {0x402A80, {0x80, 0x2A, 0x40}},
        {0x28C0, {0xC0, 0x28}},    // program change: two bytes only
        {0x7F05D3, {0xD3, 0x05}},  // channel pressure
        {0x7F07B0, {0xB0, 0x07, 0x7F}},
        {0x4000E0, {0xE0, 0x00, 0x40}},
        {0xFFFF90, {0x90, 0x7F, 0x7F}},  // data bytes never pass as status bytes
        {0x0000F8, {0xF7, 0x01, 0xF8}},  // clock: escaped, FF would read as a meta event
        {0x0000FF, {0xF7, 0x01, 0xFF}},
        {0x0005F3, {0xF7, 0x02, 0xF3, 0x05}},
        {0x000040, {}},  // no status byte
    };
    for (const Message& m : cases) {
        EXPECT_EQ(ShortMessageEvent(m.packed), m.event) << std::hex << m.packed;
    }
}

TEST(SmfWriter, CounterIntervalsBecomeMilliseconds)
{
    EXPECT_EQ(TicksFromCounter(0, 10000000), 0u);
    EXPECT_EQ(TicksFromCounter(-5, 10000000), 0u);
    EXPECT_EQ(TicksFromCounter(10000, 10000000), 1u);
    EXPECT_EQ(TicksFromCounter(9999, 10000000), 0u);
    EXPECT_EQ(TicksFromCounter(25000000, 10000000), 2500u);
    EXPECT_EQ(TicksFromCounter(3000000000LL * 60, 3000000000LL), 60000u);
    EXPECT_EQ(TicksFromCounter(1, 0), 0u);
    // A counter running for years saturates instead of wrapping.
    EXPECT_EQ(TicksFromCounter(INT64_MAX, 1000), static_cast<uint32_t>(SMF_MAX_QUANTITY));
}

TEST(SmfWriter, AFileOfTwoNotesByteForByte)
{
    std::vector<SmfEvent> events = {
        {0, {0xC0, 0x0B}},
        {0, {0x90, 0x3C, 0x6E}},
        {300, {0x90, 0x3C, 0x00}},
        {250, {0x90, 0x40, 0x6E}},  // earlier than the one before: no delay
        {1000, {0x90, 0x40, 0x00}},
        {1000, {}},  // nothing to write
    };
    // One line per event reads best.
    // clang-format off
    const std::vector<uint8_t> expected = {
        'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0x03, 0xE8,
        'M', 'T', 'r', 'k', 0, 0, 0, 32,
        0x00, 0xFF, 0x51, 0x03, 0x0F, 0x42, 0x40,  // tempo: a quarter note a second
        0x00, 0xC0, 0x0B,
        0x00, 0x90, 0x3C, 0x6E,
        0x82, 0x2C, 0x90, 0x3C, 0x00,              // 300 ticks
        0x00, 0x90, 0x40, 0x6E,
        0x85, 0x3C, 0x90, 0x40, 0x00,              // 700 ticks
        0x00, 0xFF, 0x2F, 0x00,
    };
    // clang-format on
    EXPECT_EQ(EncodeSmf(events), expected);
}

TEST(SmfWriter, AnEmptyCaptureIsStillAValidFile)
{
    std::vector<uint8_t> bytes = EncodeSmf({});
    ASSERT_EQ(bytes.size(), 14u + 8u + 11u);
    EXPECT_EQ(bytes[21], 11);
    EXPECT_EQ(std::vector<uint8_t>(bytes.end() - 4, bytes.end()),
              (std::vector<uint8_t>{0x00, 0xFF, 0x2F, 0x00}));
}

TEST(SmfReader, ReadsBackWhatTheWriterWroteAndRefusesItCutShort)
{
    std::string text(200, 'v');  // a length that takes two bytes
    std::vector<uint8_t> meta = {0xFF, 0x01, 0x81, 0x48};
    meta.insert(meta.end(), text.begin(), text.end());
    std::vector<SmfEvent> events = {
        {0, {0xC0, 0x0B}}, {300, {0x90, 0x3C, 0x6E}}, {300, {0xF7, 0x01, 0xF8}}, {70000, meta}};
    std::vector<uint8_t> bytes = EncodeSmf(events);
    events.insert(events.begin(), {0, {0xFF, 0x51, 0x03, 0x0F, 0x42, 0x40}});
    events.push_back({70000, {0xFF, 0x2F, 0x00}});
    std::vector<SmfEvent> read;
    ASSERT_TRUE(DecodeSmf(bytes, &read));
    ASSERT_EQ(read.size(), events.size());
    for (size_t i = 0; i < events.size(); i++) {
        EXPECT_EQ(read[i].tick, events[i].tick) << i;
        EXPECT_EQ(read[i].bytes, events[i].bytes) << i;
    }
    for (size_t size = 0; size < bytes.size(); size++) {
        EXPECT_FALSE(DecodeSmf(std::vector<uint8_t>(bytes.begin(), bytes.begin() + size), &read));
    }
    bytes[30] = 0x0B;  // the program change loses its status byte
    EXPECT_FALSE(DecodeSmf(bytes, &read));
}

}  // namespace
