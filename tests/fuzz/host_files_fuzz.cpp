// Fuzz target: any bytes through the host's file readers, the settings file
// and the captured MIDI file, checking what a successful read promises.
//
// Input: one byte choosing the reader (taken modulo 3), then the file.
//   0  the settings reader, the bytes as they are
//   1  the settings reader, its checksum made to match (as the file's
//      version computes it) so that mutations reach the checks behind it
//   2  the MIDI file reader
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "host/settings_file.h"
#include "demo/smf.h"

namespace {

void Require(bool holds)
{
    if (!holds) {
        __builtin_trap();
    }
}

// A file of the current version that reads re-encodes to the very same
// bytes (an older one is written in the current version), and no damage to
// its version makes it read as a newer host's; one that does not read
// leaves the caller's settings untouched.
void ReadSettings(std::vector<uint8_t> bytes, bool reseal)
{
    if (reseal && bytes.size() >= SETTINGS_HEADER_SIZE) {
        uint32_t crc = SettingsChecksum(bytes.data(), bytes.size());
        for (int i = 0; i < 4; i++) {
            bytes[12 + i] = static_cast<uint8_t>(crc >> (8 * i));
        }
    }
    HostSettings settings = {{7, 7, 7, 7, 7}, std::vector<SavedTool>(1)};
    SettingsStatus status = DecodeSettings(bytes.data(), bytes.size(), &settings);
    Require(SettingsStatusText(status) != nullptr);
    if (status != SETTINGS_OK) {
        Require(settings.tools.size() == 1 && settings.layout.left == 7 &&
                settings.layout.flags == 7);
        return;
    }
    Require(settings.tools.size() <= SETTINGS_MAX_TOOLS);
    Require(bytes[4] != SETTINGS_VERSION || EncodeSettings(settings) == bytes);
    for (int bit = 0; bit < 32; bit++) {
        std::vector<uint8_t> damaged = bytes;
        damaged[4 + bit / 8] ^= static_cast<uint8_t>(1 << bit % 8);
        Require(DecodeSettings(damaged.data(), damaged.size(), &settings) !=
                SETTINGS_NEWER_VERSION);
    }
}

// Every event read starts with a status byte at a tick no earlier than the
// one before, and the writer, given them back, writes a file that reads as
// the same events between its own tempo and end of track.
void ReadMidi(const std::vector<uint8_t>& bytes)
{
    std::vector<SmfEvent> events;
    if (!DecodeSmf(bytes, &events)) {
        return;
    }
    uint32_t tick = 0;
    for (const SmfEvent& e : events) {
        Require(!e.bytes.empty() && e.bytes[0] >= 0x80 && e.tick >= tick);
        tick = e.tick;
    }
    std::vector<SmfEvent> again;
    Require(DecodeSmf(EncodeSmf(events), &again));
    Require(again.size() == events.size() + 2);
    for (size_t i = 0; i < events.size(); i++) {
        Require(again[i + 1].tick == events[i].tick && again[i + 1].bytes == events[i].bytes);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) {
        return 0;
    }
    std::vector<uint8_t> file(data + 1, data + size);
    switch (data[0] % 3) {
    case 0:
        ReadSettings(file, false);
        break;
    case 1:
        ReadSettings(file, true);
        break;
    default:
        ReadMidi(file);
        break;
    }
    return 0;
}
