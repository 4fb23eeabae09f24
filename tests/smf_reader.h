// Reading back the MIDI files the capture device writes, with the host's own
// reader, as (delta, bytes) pairs: for the tests of the device and the checks
// of the demo's capture.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "demo/smf.h"

struct TrackEvent {
    uint32_t delta;
    std::vector<uint8_t> bytes;
};

inline std::vector<TrackEvent> ReadTrack(const std::vector<uint8_t>& smf)
{
    std::vector<SmfEvent> read;
    EXPECT_TRUE(DecodeSmf(smf, &read));
    std::vector<TrackEvent> events;
    uint32_t tick = 0;
    for (const SmfEvent& e : read) {
        events.push_back({e.tick - tick, e.bytes});
        tick = e.tick;
    }
    return events;
}
