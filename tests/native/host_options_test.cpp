// The command lines of the host and of the demo program.
#include <gtest/gtest.h>

#include "demo/options.h"
#include "host/options.h"

namespace {

TEST(HostOptions, AllTogetherAndInAnyOrder)
{
    HostOptions o;
    std::string error;
    ASSERT_TRUE(ParseHostOptions({"Z:\\m\\morva.dll", "--settings", "s.dat"}, &o, &error));
    EXPECT_EQ(o.dllPath, "Z:\\m\\morva.dll");
    EXPECT_EQ(o.settingsPath, "s.dat");
    EXPECT_FALSE(o.help);
    DemoOptions d;
    ASSERT_TRUE(
        ParseDemoOptions({"C:\\out dir", "Z:\\m\\morva.dll", "--settings", "s.dat", "--voice", "40",
                          "--mouse-messages", "--device", "Midi Through Port-0"},
                         &d, &error));
    EXPECT_EQ(d.outDir, "C:\\out dir");
    EXPECT_EQ(d.dllPath, "Z:\\m\\morva.dll");
    EXPECT_EQ(d.settingsPath, "s.dat");
    EXPECT_EQ(d.voice, 40);
    EXPECT_TRUE(d.mouseMessages);
    EXPECT_EQ(d.device, "Midi Through Port-0");

    ASSERT_TRUE(ParseHostOptions({}, &o, &error));
    EXPECT_TRUE(o.dllPath.empty());
    ASSERT_TRUE(ParseDemoOptions({"out"}, &d, &error));
    EXPECT_TRUE(d.dllPath.empty());
    EXPECT_EQ(d.voice, DEMO_DEFAULT_VOICE);
    EXPECT_EQ(d.device, "Morva Capture");
    EXPECT_FALSE(d.mouseMessages);
    ASSERT_TRUE(ParseHostOptions({"/?"}, &o, &error));
    EXPECT_TRUE(o.help);
    EXPECT_FALSE(o.version);
    ASSERT_TRUE(ParseHostOptions({"--version"}, &o, &error));
    EXPECT_TRUE(o.version);
    EXPECT_FALSE(o.help);
    EXPECT_EQ(std::string(kHostVersionText), std::string("Morva Host ") + MORVA_VERSION);
}

TEST(HostOptions, FaultsAreRefusedWithAReason)
{
    // The host's, then the demo's (after its folder, "d"); none of the demo's is the host's.
    const std::vector<std::vector<std::string>> bad = {
        {"--settings"},          {"--frobnicate"},       {"a.dll", "b.dll"},
        {"--voice", "40"},       {"--mouse-messages"},   {""},
        {"d", "--voice", "127"}, {"d", "--voice", "-1"}, {"d", "--voice", "4x"},
        {"d", "--device"},       {"d", "--device", ""},  {"d", "a.dll", "b.dll"},
        {"d", "--frobnicate"},   {"d", "--settings"},
    };
    for (const auto& args : bad) {
        HostOptions o = {};
        o.dllPath = "kept";
        DemoOptions d = {};
        d.voice = 99;
        std::string error;
        bool demo = args[0] == "d" || args[0] == "";
        EXPECT_FALSE(demo ? ParseDemoOptions(args, &d, &error) : ParseHostOptions(args, &o, &error))
            << args[0];
        EXPECT_FALSE(error.empty()) << args[0];
        EXPECT_EQ(d.voice, 99) << "the options are left alone";
        EXPECT_EQ(o.dllPath, "kept") << "the options are left alone";
    }
}

}  // namespace
