// The host's settings file: the panel's layout and every tool's stored block.
// Encoding and decoding only; reading and writing the file is the host's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "include/morva.h"

// Layout of the file, all values little-endian:
//   0  magic "MVHS"
//   4  version
//   8  tool count
//  12  CRC-32 of every byte from offset 16 to the end
//  16  panel layout: left, top, width, height (int32), flags (uint32)
//  36  per tool: block size (uint32, always 1936), then the block's bytes
enum : uint32_t {
    SETTINGS_MAGIC = 0x5348564Du,  // "MVHS"
    SETTINGS_VERSION = 1,
    SETTINGS_MAX_TOOLS = 64,
    SETTINGS_HEADER_SIZE = 16,
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
};

enum SettingsStatus {
    SETTINGS_OK,
    SETTINGS_TRUNCATED,       // shorter than its header or its count says
    SETTINGS_BAD_MAGIC,       // not a settings file
    SETTINGS_BAD_VERSION,     // written by another version of the host
    SETTINGS_TOO_MANY_TOOLS,  // count above SETTINGS_MAX_TOOLS
    SETTINGS_BAD_LENGTH,      // bytes after the last tool
    SETTINGS_BAD_BLOCK_SIZE,  // a tool's block is not 1936 bytes
    SETTINGS_BAD_CHECKSUM,    // contents changed after writing
};

// The whole file for these settings. More than SETTINGS_MAX_TOOLS tools are
// not written: only the first SETTINGS_MAX_TOOLS are kept.
std::vector<uint8_t> EncodeSettings(const HostSettings& settings);

// Reads a whole file. On anything but SETTINGS_OK `out` is left unchanged.
SettingsStatus DecodeSettings(const uint8_t* data, size_t size, HostSettings* out);

// A short English reason for a status, for the user.
const char* SettingsStatusText(SettingsStatus status);
