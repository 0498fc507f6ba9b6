#include <gtest/gtest.h>

#include <vector>

#include "sim/sim_module.h"
#include "sim/sim_options.h"

static bool parse(std::vector<const char *> args, SimOptions *options, std::string *error) {
    sim_config = SimConfig{};
    args.insert(args.begin(), "ciflash-sim");
    return sim_parse_options(static_cast<int>(args.size()), args.data(), options, error);
}

TEST(SimOptions, ValuesLandInTheModuleConfiguration) {
    SimOptions options;
    std::string error;
    ASSERT_TRUE(parse({"--base",    "0x380",       "--module-buffer", "128",    "--fast",
                       "--bios",    "1.05",        "--asic",          "255",    "--reply",
                       "1:17:6581", "--reply-len", "0:3:65535",       "--hang", "1:484",
                       "--seed",    "7",           "--fault-rate",    "0.001",  "--trace",
                       "t.txt"},
                      &options, &error))
        << error;
    EXPECT_EQ(sim_config.base, 0x380);
    EXPECT_EQ(sim_config.module_buffer, 128);
    EXPECT_TRUE(options.fast);
    EXPECT_EQ(sim_config.bios, "1.05");
    EXPECT_EQ(sim_config.asic, 255);
    ASSERT_EQ(sim_config.events.size(), 3u);
    EXPECT_EQ(sim_config.events[0].kind, SIM_REPLY_SW);
    EXPECT_EQ(sim_config.events[0].page, 1);
    EXPECT_EQ(sim_config.events[0].block, 17);
    EXPECT_EQ(sim_config.events[0].value, 0x6581u);
    EXPECT_EQ(sim_config.events[1].value, 65535u);
    EXPECT_EQ(sim_config.events[2].kind, SIM_HANG);
    EXPECT_EQ(sim_config.seed, 7u);
    EXPECT_EQ(options.trace_file, "t.txt");
}

TEST(SimOptions, BadArgumentsAreRefusedWithOneLine) {
    const std::vector<std::vector<const char *>> bad = {
        {"--bogus"},
        {"--base", "0x310"},
        {"--base"},
        {"--asic", "256"},
        {"--module-buffer", "-1"},
        {"--reply", "1:17:658"},
        {"--reply", "2:1:9000"},
        {"--remove", "0:0"},
        {"--reply-len", "0:1:65536"},
        {"--fault-rate", "2"},
        {"--erase-ms", "x"},
        {"stray"},
    };
    for (const auto &args : bad) {
        SimOptions options;
        std::string error;
        EXPECT_FALSE(parse(args, &options, &error)) << args[0];
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(error.find('\n'), std::string::npos);
    }
}
