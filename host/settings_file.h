// The host's settings file: the panel's layout and every tool's stored block.
// Encoding and decoding only; reading and writing the file is the host's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "include/morva.h"

// Layout of the file, all values little-endian:
//   0  magic "MVHS"
//   4  version
//   8  tool count
//  12  CRC-32 of every other byte: offsets 0 to 11, then 16 to the end
//  16  the version of the host that wrote the file (see PackHostVersion)
//  20  panel layout: left, top, width, height (int32), flags (uint32)
//  40  per tool: block size (uint32, always 1936), then the block's bytes
// Every later version keeps the checksum at 12 over the same bytes and the
// writer at 16, so that a host can tell a newer host's file, which it
// leaves alone and names the writer of, from a damaged one.
// Version 2, written by 1.1, is laid out alike but its checksum covers only
// offsets 16 to the end. Version 1, written by hosts before 1.1, has no
// writer: its layout starts at 16 and its tools at 36, and its checksum is
// as version 2's. Both read into the same settings (version 1 with writer
// 0), and the next save writes the current version.
enum : uint32_t {
    SETTINGS_MAGIC = 0x5348564Du,  // "MVHS"
    SETTINGS_VERSION = 3,
    SETTINGS_MAX_TOOLS = 64,
    SETTINGS_HEADER_SIZE = 16,
    SETTINGS_WRITER_SIZE = 4,
    SETTINGS_LAYOUT_SIZE = 20,
    SETTINGS_TOOL_SIZE = 4 + TOOL_STATE_SIZE,
};

enum : uint32_t {
    LAYOUT_MAXIMIZED = 1,  // the host window was maximized when saved
};

// Where the host window stood. A width or height of 0 means "no saved
// placement": the host picks its own.
struct PanelLayout {
    int32_t left;
    int32_t top;
    int32_t width;
    int32_t height;
    uint32_t flags;
};

// One tool's block exactly as the tool handed it out.
struct SavedTool {
    uint8_t block[TOOL_STATE_SIZE];
};

struct HostSettings {
    PanelLayout layout;
    std::vector<SavedTool> tools;  // in panel order, top first
    uint32_t writer = 0;           // the host version that wrote them; 0: unknown (version 1)
};

enum SettingsStatus {
    SETTINGS_OK,
    SETTINGS_TRUNCATED,       // shorter than its header or its count says
    SETTINGS_BAD_MAGIC,       // not a settings file
    SETTINGS_BAD_VERSION,     // a version no host has written
    SETTINGS_NEWER_VERSION,   // written by a newer host, checksum whole: to be left as it is
    SETTINGS_TOO_MANY_TOOLS,  // count above SETTINGS_MAX_TOOLS
    SETTINGS_BAD_LENGTH,      // bytes after the last tool
    SETTINGS_BAD_BLOCK_SIZE,  // a tool's block is not 1936 bytes
    SETTINGS_BAD_CHECKSUM,    // contents changed after writing
};

// The whole file for these settings, in the current version. More than
// SETTINGS_MAX_TOOLS tools are not written: only the first are kept.
std::vector<uint8_t> EncodeSettings(const HostSettings& settings);

// Reads a whole file of the current or an older version. On anything but
// SETTINGS_OK `out` is left unchanged.
SettingsStatus DecodeSettings(const uint8_t* data, size_t size, HostSettings* out);

// The checksum a file of its version carries at offset 12; 0 for fewer
// than 16 bytes.
uint32_t SettingsChecksum(const uint8_t* data, size_t size);

// Whether the bytes begin as every file the host writes does; an empty
// file, which a host stopped just after making it leaves, counts.
bool BeginsAsOurs(const std::vector<uint8_t>& bytes);

// The file version of a whole file, 0 for one too short to say.
uint32_t SettingsFileVersion(const uint8_t* data, size_t size);

// The host version a file names as its writer: 0 for none (version 1, or
// not a settings file).
uint32_t SettingsFileWriter(const uint8_t* data, size_t size);

// A host version as the file stores it: (major << 16) | (minor << 8) | patch,
// each part cut to 0..255; and as text, "1.1.0".
uint32_t PackHostVersion(unsigned major, unsigned minor, unsigned patch);
std::string HostVersionText(uint32_t packed);

// A short English reason for a status, for the user.
const char* SettingsStatusText(SettingsStatus status);
