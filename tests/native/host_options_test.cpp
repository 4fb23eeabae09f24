// The host's command line.
#include <gtest/gtest.h>

#include "host/options.h"

namespace {

TEST(HostOptions, AllTogetherAndInAnyOrder)
{
    HostOptions o;
    std::string error;
    ASSERT_TRUE(
        ParseHostOptions({"--demo", "C:\\out dir", "Z:\\m\\morva.dll", "--settings", "s.dat",
                          "--voice", "40", "--mouse-messages", "--device", "Midi Through Port-0"},
                         &o, &error));
    EXPECT_EQ(o.demoDir, "C:\\out dir");
    EXPECT_EQ(o.dllPath, "Z:\\m\\morva.dll");
    EXPECT_EQ(o.settingsPath, "s.dat");
    EXPECT_EQ(o.voice, 40);
    EXPECT_TRUE(o.mouseMessages);
    EXPECT_EQ(o.device, "Midi Through Port-0");
    EXPECT_FALSE(o.help);

    ASSERT_TRUE(ParseHostOptions({}, &o, &error));
    EXPECT_TRUE(o.dllPath.empty());
    EXPECT_TRUE(o.demoDir.empty());
    EXPECT_EQ(o.voice, DEMO_DEFAULT_VOICE);
    EXPECT_EQ(o.device, "Morva Capture");
    EXPECT_FALSE(o.mouseMessages);
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
    const std::vector<std::vector<std::string>> bad = {
        {"--settings"},     {"--demo", ""},    {"--voice", "127"},
        {"--voice", "-1"},  {"--voice", "4x"}, {"--frobnicate"},
        {"a.dll", "b.dll"}, {"--device"},      {"--device", ""},
    };
    for (const auto& args : bad) {
        HostOptions o = {};
        o.voice = 99;
        std::string error;
        EXPECT_FALSE(ParseHostOptions(args, &o, &error)) << args[0];
        EXPECT_FALSE(error.empty()) << args[0];
        EXPECT_EQ(o.voice, 99) << "the options are left alone";
    }
}

}  // namespace
