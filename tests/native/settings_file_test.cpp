// The host's settings file: what it writes, and how it refuses damaged files.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "host/checksum.h"
#include "host/settings_file.h"

namespace {

HostSettings TwoTools()
{
    HostSettings settings;
    settings.layout = {-20, 40, 640, 480, LAYOUT_MAXIMIZED};
    settings.writer = PackHostVersion(1, 1, 0);
    settings.tools.resize(2);
    for (size_t t = 0; t < 2; t++) {
        for (int i = 0; i < TOOL_STATE_SIZE; i++) {
            settings.tools[t].block[i] = static_cast<uint8_t>(i * 13 + t * 101 + 1);
        }
    }
    return settings;
}

uint32_t U32At(const std::vector<uint8_t>& bytes, size_t at)
{
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 |
           static_cast<uint32_t>(bytes[at + 3]) << 24;
}

void PutU32At(std::vector<uint8_t>& bytes, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; i++) {
        bytes[at + i] = static_cast<uint8_t>(v >> (8 * i));
    }
}

// Rewrites the checksum so that only the fault a test makes is left.
void Reseal(std::vector<uint8_t>& bytes)
{
    PutU32At(bytes, 12, SettingsChecksum(bytes.data(), bytes.size()));
}

// The same settings as a host before 1.1 wrote them: version 1, no writer.
std::vector<uint8_t> VersionOne(const HostSettings& settings)
{
    std::vector<uint8_t> bytes = EncodeSettings(settings);
    bytes.erase(bytes.begin() + 16, bytes.begin() + 20);
    PutU32At(bytes, 4, 1);
    Reseal(bytes);
    return bytes;
}

TEST(Checksums, KnownAnswers)
{
    const char* text = "123456789";
    EXPECT_EQ(Crc32(reinterpret_cast<const uint8_t*>(text), 9), 0xCBF43926u);
    EXPECT_EQ(Crc32(nullptr, 0), 0u);
    // A checksum continued over a second part equals the one over the whole.
    uint32_t first = Crc32(reinterpret_cast<const uint8_t*>(text), 4);
    EXPECT_EQ(Crc32(reinterpret_cast<const uint8_t*>(text) + 4, 5, first), 0xCBF43926u);
    const char* wiki = "Wikipedia";
    EXPECT_EQ(Adler32(reinterpret_cast<const uint8_t*>(wiki), 9), 0x11E60398u);
    std::vector<uint8_t> ones(100000, 0xFF);
    uint32_t a = 1, b = 0;
    for (uint8_t v : ones) {
        a = (a + v) % 65521;
        b = (b + a) % 65521;
    }
    EXPECT_EQ(Adler32(ones.data(), ones.size()), (b << 16) | a);
}

TEST(SettingsFile, RoundTripKeepsLayoutAndEveryBlockByte)
{
    HostSettings settings = TwoTools();
    std::vector<uint8_t> bytes = EncodeSettings(settings);
    ASSERT_EQ(bytes.size(), 16u + 4u + 20u + 2u * (4u + 1936u));
    EXPECT_EQ(memcmp(bytes.data(), "MVHS", 4), 0);
    EXPECT_EQ(U32At(bytes, 4), 3u);
    EXPECT_EQ(U32At(bytes, 8), 2u);
    EXPECT_EQ(U32At(bytes, 12),
              Crc32(bytes.data() + 16, bytes.size() - 16, Crc32(bytes.data(), 12)));
    EXPECT_EQ(U32At(bytes, 16), 0x010100u);
    EXPECT_EQ(U32At(bytes, 40), 1936u);

    HostSettings back;
    ASSERT_EQ(DecodeSettings(bytes.data(), bytes.size(), &back), SETTINGS_OK);
    EXPECT_EQ(back.layout.left, -20);
    EXPECT_EQ(back.layout.top, 40);
    EXPECT_EQ(back.layout.width, 640);
    EXPECT_EQ(back.layout.height, 480);
    EXPECT_EQ(back.layout.flags, LAYOUT_MAXIMIZED);
    EXPECT_EQ(back.writer, settings.writer);
    ASSERT_EQ(back.tools.size(), 2u);
    for (size_t t = 0; t < 2; t++) {
        EXPECT_EQ(memcmp(back.tools[t].block, settings.tools[t].block, TOOL_STATE_SIZE), 0);
    }
}

TEST(SettingsFile, AnEmptyPanelRoundTrips)
{
    HostSettings empty = {};
    std::vector<uint8_t> bytes = EncodeSettings(empty);
    EXPECT_EQ(bytes.size(), 40u);
    HostSettings back = TwoTools();
    ASSERT_EQ(DecodeSettings(bytes.data(), bytes.size(), &back), SETTINGS_OK);
    EXPECT_TRUE(back.tools.empty());
    EXPECT_EQ(back.layout.width, 0);
}

TEST(SettingsFile, EveryShorterFileIsTruncatedAndLeavesTheOutputAlone)
{
    std::vector<uint8_t> bytes = EncodeSettings(TwoTools());
    HostSettings untouched = {};
    untouched.layout.left = 77;
    for (size_t size = 0; size < bytes.size(); size++) {
        HostSettings out = untouched;
        SettingsStatus status = DecodeSettings(bytes.data(), size, &out);
        ASSERT_EQ(status, SETTINGS_TRUNCATED) << "size " << size;
        ASSERT_EQ(out.layout.left, 77);
        ASSERT_TRUE(out.tools.empty());
    }
}

struct Damage {
    const char* what;
    void (*apply)(std::vector<uint8_t>&);
    SettingsStatus expected;
};

const Damage kDamages[] = {
    {"bad magic", [](std::vector<uint8_t>& b) { b[0] = 'X'; }, SETTINGS_BAD_MAGIC},
    {"another file entirely", [](std::vector<uint8_t>& b) { memcpy(b.data(), "\x89PNG", 4); },
     SETTINGS_BAD_MAGIC},
    {"a newer host's file",
     [](std::vector<uint8_t>& b) {
         PutU32At(b, 4, 4);
         Reseal(b);
     },
     SETTINGS_NEWER_VERSION},
    {"a version raised by damage", [](std::vector<uint8_t>& b) { PutU32At(b, 4, 4); },
     SETTINGS_BAD_CHECKSUM},
    {"the newest version, damaged", [](std::vector<uint8_t>& b) { PutU32At(b, 4, 0xFFFFFFFF); },
     SETTINGS_BAD_CHECKSUM},
    {"a version lowered by damage", [](std::vector<uint8_t>& b) { b[4] = 2; },
     SETTINGS_BAD_CHECKSUM},
    {"version zero", [](std::vector<uint8_t>& b) { PutU32At(b, 4, 0); }, SETTINGS_BAD_VERSION},
    {"count too large", [](std::vector<uint8_t>& b) { PutU32At(b, 8, 65); },
     SETTINGS_TOO_MANY_TOOLS},
    {"count wraps when multiplied", [](std::vector<uint8_t>& b) { PutU32At(b, 8, 0xFFFFFFFF); },
     SETTINGS_TOO_MANY_TOOLS},
    {"count above the tools present", [](std::vector<uint8_t>& b) { PutU32At(b, 8, 3); },
     SETTINGS_TRUNCATED},
    {"count below the tools present", [](std::vector<uint8_t>& b) { PutU32At(b, 8, 1); },
     SETTINGS_BAD_LENGTH},
    {"bytes after the last tool",
     [](std::vector<uint8_t>& b) {
         b.push_back(0);
         Reseal(b);
     },
     SETTINGS_BAD_LENGTH},
    {"block size of the second tool",
     [](std::vector<uint8_t>& b) {
         PutU32At(b, 40 + 1940, 1935);
         Reseal(b);
     },
     SETTINGS_BAD_BLOCK_SIZE},
    {"a flipped bit in a block", [](std::vector<uint8_t>& b) { b[2000] ^= 0x10; },
     SETTINGS_BAD_CHECKSUM},
    {"a changed writer", [](std::vector<uint8_t>& b) { b[16] ^= 1; }, SETTINGS_BAD_CHECKSUM},
    {"a changed layout", [](std::vector<uint8_t>& b) { b[20] ^= 1; }, SETTINGS_BAD_CHECKSUM},
    {"a changed checksum", [](std::vector<uint8_t>& b) { b[13] ^= 0x80; }, SETTINGS_BAD_CHECKSUM},
};

TEST(SettingsFile, DamagedFilesAreRefusedWithTheirReason)
{
    const std::vector<uint8_t> good = EncodeSettings(TwoTools());
    for (const Damage& d : kDamages) {
        std::vector<uint8_t> bytes = good;
        d.apply(bytes);
        HostSettings out = {};
        EXPECT_EQ(DecodeSettings(bytes.data(), bytes.size(), &out), d.expected) << d.what;
        EXPECT_TRUE(out.tools.empty()) << d.what;
        EXPECT_STRNE(SettingsStatusText(d.expected), SettingsStatusText(SETTINGS_OK));
    }
}

TEST(SettingsFile, AVersionOneFileReadsAsItWasAndIsWrittenInTheCurrentVersion)
{
    HostSettings settings = TwoTools();
    std::vector<uint8_t> old = VersionOne(settings);
    ASSERT_EQ(old.size(), 16u + 20u + 2u * (4u + 1936u));
    HostSettings back;
    ASSERT_EQ(DecodeSettings(old.data(), old.size(), &back), SETTINGS_OK);
    EXPECT_EQ(back.writer, 0u) << "a version 1 file names no writer";
    EXPECT_EQ(SettingsFileWriter(old.data(), old.size()), 0u);
    back.writer = settings.writer;
    EXPECT_EQ(EncodeSettings(back), EncodeSettings(settings));
    // Damage is found in the old layout as in the new.
    old[36] ^= 1;
    EXPECT_EQ(DecodeSettings(old.data(), old.size(), &back), SETTINGS_BAD_CHECKSUM);
    old.pop_back();
    EXPECT_EQ(DecodeSettings(old.data(), old.size(), &back), SETTINGS_TRUNCATED);
    // Version 2 is laid out as 3, its checksum over the tools and layout only.
    std::vector<uint8_t> two = EncodeSettings(settings);
    PutU32At(two, 4, 2);
    PutU32At(two, 12, Crc32(two.data() + 16, two.size() - 16));
    ASSERT_EQ(DecodeSettings(two.data(), two.size(), &back), SETTINGS_OK);
    EXPECT_EQ(EncodeSettings(back), EncodeSettings(settings));
}

TEST(SettingsFile, ANewerFileNamesTheHostThatWroteIt)
{
    std::vector<uint8_t> bytes = EncodeSettings(TwoTools());
    PutU32At(bytes, 4, 4);
    bytes.resize(100);  // whatever a newer layout holds after its writer
    Reseal(bytes);
    HostSettings out = {};
    EXPECT_EQ(DecodeSettings(bytes.data(), bytes.size(), &out), SETTINGS_NEWER_VERSION);
    EXPECT_EQ(HostVersionText(SettingsFileWriter(bytes.data(), bytes.size())), "1.1.0");
    EXPECT_EQ(SettingsFileWriter(bytes.data(), 19), 0u);
    EXPECT_EQ(HostVersionText(PackHostVersion(300, 2, 17)), "255.2.17");
}

TEST(SettingsFile, TheLargestPanelFitsAndOneMoreToolIsNotWritten)
{
    HostSettings settings = {};
    settings.tools.resize(SETTINGS_MAX_TOOLS + 1);
    settings.tools[SETTINGS_MAX_TOOLS - 1].block[0] = 9;
    std::vector<uint8_t> bytes = EncodeSettings(settings);
    HostSettings back;
    ASSERT_EQ(DecodeSettings(bytes.data(), bytes.size(), &back), SETTINGS_OK);
    ASSERT_EQ(back.tools.size(), static_cast<size_t>(SETTINGS_MAX_TOOLS));
    EXPECT_EQ(back.tools.back().block[0], 9);
}

}  // namespace
