// Reading back the MIDI files the capture device writes (format 0, one
// track, 1000 ticks a quarter note), for the tests of the device and the
// checks of the demo's capture.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The events of a format-0 file as (delta, bytes) pairs.
struct TrackEvent {
    uint32_t delta;
    std::vector<uint8_t> bytes;
};

inline std::vector<TrackEvent> ReadTrack(const std::vector<uint8_t>& smf)
{
    std::vector<TrackEvent> events;
    EXPECT_GE(smf.size(), 22u);
    if (smf.size() < 22) {
        return events;
    }
    EXPECT_EQ(std::string(smf.begin(), smf.begin() + 4), "MThd");
    EXPECT_EQ(smf[9], 0);   // format 0
    EXPECT_EQ(smf[11], 1);  // one track
    EXPECT_EQ(smf[12] << 8 | smf[13], 1000);
    EXPECT_EQ(std::string(smf.begin() + 14, smf.begin() + 18), "MTrk");
    size_t length = static_cast<size_t>(smf[18]) << 24 | smf[19] << 16 | smf[20] << 8 | smf[21];
    EXPECT_EQ(smf.size(), 22 + length);
    size_t at = 22;
    while (at < smf.size()) {
        uint32_t delta = 0;
        while (smf[at] & 0x80) {
            delta = delta << 7 | (smf[at++] & 0x7F);
        }
        delta = delta << 7 | smf[at++];
        size_t start = at;
        uint8_t status = smf[at];
        if (status == 0xFF) {
            at += 3 + smf[at + 2];
        } else if (status == 0xF7 || status == 0xF0) {
            at += 2 + smf[at + 1];
        } else {
            at += (status & 0xE0) == 0xC0 ? 2 : 3;
        }
        events.push_back({delta, std::vector<uint8_t>(smf.begin() + start, smf.begin() + at)});
    }
    return events;
}
