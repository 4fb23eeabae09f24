// Encoding, decoding and checking of the host's settings file.
#include "host/settings_file.h"

#include <cstring>
#include <utility>

#include "host/checksum.h"

namespace {

const uint32_t kWriterSince = 2;         // the first file version that names its writer
const uint32_t kHeaderCheckedSince = 3;  // the first whose checksum covers the header

void PutU32(std::vector<uint8_t>& out, uint32_t v)
{
    for (int i = 0; i < 4; i++) {
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
}

uint32_t GetU32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

}  // namespace

std::vector<uint8_t> EncodeSettings(const HostSettings& settings)
{
    size_t count = settings.tools.size();
    if (count > SETTINGS_MAX_TOOLS) {
        count = SETTINGS_MAX_TOOLS;
    }
    std::vector<uint8_t> out;
    out.reserve(SETTINGS_HEADER_SIZE + SETTINGS_WRITER_SIZE + SETTINGS_LAYOUT_SIZE +
                count * SETTINGS_TOOL_SIZE);
    PutU32(out, SETTINGS_MAGIC);
    PutU32(out, SETTINGS_VERSION);
    PutU32(out, static_cast<uint32_t>(count));
    PutU32(out, 0);  // checksum, filled in below
    PutU32(out, settings.writer);
    const PanelLayout& l = settings.layout;
    PutU32(out, static_cast<uint32_t>(l.left));
    PutU32(out, static_cast<uint32_t>(l.top));
    PutU32(out, static_cast<uint32_t>(l.width));
    PutU32(out, static_cast<uint32_t>(l.height));
    PutU32(out, l.flags);
    for (size_t i = 0; i < count; i++) {
        PutU32(out, TOOL_STATE_SIZE);
        out.insert(out.end(), settings.tools[i].block, settings.tools[i].block + TOOL_STATE_SIZE);
    }
    uint32_t crc = SettingsChecksum(out.data(), out.size());
    for (int i = 0; i < 4; i++) {
        out[12 + i] = static_cast<uint8_t>(crc >> (8 * i));
    }
    return out;
}

SettingsStatus DecodeSettings(const uint8_t* data, size_t size, HostSettings* out)
{
    if (size < 4) {
        return SETTINGS_TRUNCATED;
    }
    if (GetU32(data) != SETTINGS_MAGIC) {
        return SETTINGS_BAD_MAGIC;
    }
    if (size < SETTINGS_HEADER_SIZE) {
        return SETTINGS_TRUNCATED;
    }
    uint32_t version = GetU32(data + 4);
    if (version == 0) {
        return SETTINGS_BAD_VERSION;
    }
    // A newer file is told from a damaged one by its checksum, which every
    // version from 3 on takes over the header too: one changed byte in the
    // version does not make a damaged file look like a newer host's.
    if (version > SETTINGS_VERSION) {
        bool whole = size >= SETTINGS_HEADER_SIZE + SETTINGS_WRITER_SIZE &&
                     SettingsChecksum(data, size) == GetU32(data + 12);
        return whole ? SETTINGS_NEWER_VERSION : SETTINGS_BAD_CHECKSUM;
    }
    uint32_t count = GetU32(data + 8);
    if (count > SETTINGS_MAX_TOOLS) {
        return SETTINGS_TOO_MANY_TOOLS;
    }
    // Version 1 has no writer; the rest is laid out alike.
    size_t writerSize = version >= kWriterSince ? size_t{SETTINGS_WRITER_SIZE} : 0;
    size_t layoutAt = SETTINGS_HEADER_SIZE + writerSize;
    size_t toolsAt = layoutAt + SETTINGS_LAYOUT_SIZE;
    // The count is bounded, so this cannot overflow.
    size_t expected = toolsAt + static_cast<size_t>(count) * SETTINGS_TOOL_SIZE;
    if (size < expected) {
        return SETTINGS_TRUNCATED;
    }
    if (size > expected) {
        return SETTINGS_BAD_LENGTH;
    }
    if (SettingsChecksum(data, size) != GetU32(data + 12)) {
        return SETTINGS_BAD_CHECKSUM;
    }
    const uint8_t* p = data + toolsAt;
    for (size_t i = 0; i < count; i++) {
        if (GetU32(p + i * SETTINGS_TOOL_SIZE) != TOOL_STATE_SIZE) {
            return SETTINGS_BAD_BLOCK_SIZE;
        }
    }

    HostSettings settings;
    settings.writer = writerSize ? GetU32(data + SETTINGS_HEADER_SIZE) : 0;
    const uint8_t* l = data + layoutAt;
    settings.layout.left = static_cast<int32_t>(GetU32(l));
    settings.layout.top = static_cast<int32_t>(GetU32(l + 4));
    settings.layout.width = static_cast<int32_t>(GetU32(l + 8));
    settings.layout.height = static_cast<int32_t>(GetU32(l + 12));
    settings.layout.flags = GetU32(l + 16);
    settings.tools.resize(count);
    for (size_t i = 0; i < count; i++) {
        memcpy(settings.tools[i].block, p + i * SETTINGS_TOOL_SIZE + 4, TOOL_STATE_SIZE);
    }
    *out = std::move(settings);
    return SETTINGS_OK;
}

uint32_t SettingsChecksum(const uint8_t* data, size_t size)
{
    if (size < SETTINGS_HEADER_SIZE) {
        return 0;
    }
    uint32_t crc = GetU32(data + 4) >= kHeaderCheckedSince ? Crc32(data, 12) : 0;
    return Crc32(data + SETTINGS_HEADER_SIZE, size - SETTINGS_HEADER_SIZE, crc);
}

bool BeginsAsOurs(const std::vector<uint8_t>& bytes)
{
    return bytes.empty() || (bytes.size() >= 4 && GetU32(bytes.data()) == SETTINGS_MAGIC);
}

uint32_t SettingsFileVersion(const uint8_t* data, size_t size)
{
    return size < SETTINGS_HEADER_SIZE ? 0 : GetU32(data + 4);
}

uint32_t SettingsFileWriter(const uint8_t* data, size_t size)
{
    if (size < SETTINGS_HEADER_SIZE + SETTINGS_WRITER_SIZE || GetU32(data) != SETTINGS_MAGIC ||
        GetU32(data + 4) < kWriterSince) {
        return 0;
    }
    return GetU32(data + SETTINGS_HEADER_SIZE);
}

uint32_t PackHostVersion(unsigned major, unsigned minor, unsigned patch)
{
    auto clip = [](unsigned v) { return v > 255 ? 255u : v; };
    return clip(major) << 16 | clip(minor) << 8 | clip(patch);
}

std::string HostVersionText(uint32_t packed)
{
    return std::to_string(packed >> 16 & 0xFF) + "." + std::to_string(packed >> 8 & 0xFF) + "." +
           std::to_string(packed & 0xFF);
}

const char* SettingsStatusText(SettingsStatus status)
{
    switch (status) {
    case SETTINGS_OK:
        return "no fault";
    case SETTINGS_TRUNCATED:
        return "the file is cut short";
    case SETTINGS_BAD_MAGIC:
        return "it is not a Morva Host settings file";
    case SETTINGS_BAD_VERSION:
        return "its version is one no Morva Host has written";
    case SETTINGS_NEWER_VERSION:
        return "it was written by a newer version of Morva Host";
    case SETTINGS_TOO_MANY_TOOLS:
        return "it claims more tools than a panel can hold";
    case SETTINGS_BAD_LENGTH:
        return "it has bytes after its last tool";
    case SETTINGS_BAD_BLOCK_SIZE:
        return "a tool's settings have the wrong size";
    case SETTINGS_BAD_CHECKSUM:
        return "its checksum does not match its contents";
    }
    return "it cannot be read";
}
