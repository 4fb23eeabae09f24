// Checks what the main job (tools/run.sh, headless: the scripted demo) left
// in its folder, as .ci/run does after running it: screenshots that show
// something, the phrase's notes in the captured MIDI file, and a settings
// file the host reads back. Not part of the test suite: it reads the
// results of a run.
//   MORVA_DEMO_OUT=build/win64/demo/out demo_check
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "host/settings_file.h"
#include "tests/native/png_reader.h"
#include "tests/smf_reader.h"

namespace {

// The notes the demo plays on a three-octave tool, whose lowest key is C3 (48).
const int kPhraseNotes[] = {
#define PHRASE_NOTE(key, ms, slide, shot) 48 + (key),
#include "demo/phrase.inc"
#undef PHRASE_NOTE
};

std::string OutPath(const char* name)
{
    const char* dir = getenv("MORVA_DEMO_OUT");
    return std::string(dir ? dir : "build/win64/demo/out") + "/" + name;
}

std::vector<uint8_t> ReadFileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in),
                                std::istreambuf_iterator<char>());
}

// The tool the demo played, as the host saved it.
bool PlayedTool(ToolStateBlock* block)
{
    std::vector<uint8_t> bytes = ReadFileBytes(OutPath("morvahost.settings"));
    HostSettings settings;
    SettingsStatus status = DecodeSettings(bytes.data(), bytes.size(), &settings);
    EXPECT_EQ(status, SETTINGS_OK) << SettingsStatusText(status);
    if (status != SETTINGS_OK || settings.tools.empty()) {
        return false;
    }
    memcpy(block, settings.tools[0].block, sizeof *block);
    return true;
}

TEST(DemoResults, TheScreenshotsShowMoreThanOneColour)
{
    for (const char* name : {"host.png", "properties.png"}) {
        SCOPED_TRACE(name);
        std::vector<uint8_t> png = ReadFileBytes(OutPath(name));
        ASSERT_FALSE(png.empty()) << OutPath(name) << " is missing";
        uint32_t width = 0, height = 0;
        std::vector<uint8_t> rgb = DecodeToRgb(png, &width, &height);
        ASSERT_FALSE(HasFailure());
        EXPECT_GT(width, 200u);
        EXPECT_GT(height, 100u);
        std::set<uint32_t> colours;
        for (size_t i = 0; i + 2 < rgb.size(); i += 3) {
            colours.insert(static_cast<uint32_t>(rgb[i]) << 16 | rgb[i + 1] << 8 | rgb[i + 2]);
        }
        EXPECT_GT(colours.size(), 1u) << "the screenshot is blank";
    }
}

TEST(DemoResults, TheSettingsReadBackWithThePlayedToolsDeviceAndVoice)
{
    std::vector<uint8_t> bytes = ReadFileBytes(OutPath("morvahost.settings"));
    HostSettings settings;
    ASSERT_EQ(DecodeSettings(bytes.data(), bytes.size(), &settings), SETTINGS_OK);
    EXPECT_EQ(settings.tools.size(), 2u);
    ToolStateBlock played;
    ASSERT_TRUE(PlayedTool(&played));
    EXPECT_EQ(played.octaves, 3);
    EXPECT_EQ(played.deviceNumber, 0);  // the capture device, the demo folder's only output
}

TEST(DemoResults, TheCaptureHoldsThePhrasesNotesInTheChosenVoice)
{
    std::vector<TrackEvent> events = ReadTrack(ReadFileBytes(OutPath("demo.mid")));
    ASSERT_FALSE(HasFailure()) << OutPath("demo.mid") << " is missing or damaged";
    std::vector<int> started, programs;
    int ended = 0;
    for (const TrackEvent& e : events) {
        uint8_t status = e.bytes[0];
        if ((status & 0xF0) == 0x90 && e.bytes[2] > 0) {
            started.push_back(e.bytes[1]);
        } else if ((status & 0xF0) == 0x80 || (status & 0xF0) == 0x90) {
            ended++;
        } else if ((status & 0xF0) == 0xC0) {
            programs.push_back(e.bytes[1]);
        }
    }
    EXPECT_EQ(started, std::vector<int>(std::begin(kPhraseNotes), std::end(kPhraseNotes)));
    EXPECT_EQ(ended, static_cast<int>(started.size())) << "every note ends";
    ToolStateBlock played;
    ASSERT_TRUE(PlayedTool(&played));
    ASSERT_FALSE(programs.empty());
    EXPECT_EQ(programs.back(), played.voice);
}

}  // namespace
