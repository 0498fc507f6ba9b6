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

TEST(SimOptions, ArgumentsAreRefusedWithTheExpectedFormOrTheReachableBlocks) {
    const struct {
        std::vector<const char *> args;
        const char *error; // "" when accepted
    } cases[] = {
        {{"--bogus"}, "unknown option --bogus"},
        {{"stray"}, "unexpected argument stray"},
        {{"--base"}, "option --base needs a value"},
        {{"--base", "0x310"},
         "bad value for --base: 0x310 (expected 0x300, 0x320, 0x340, 0x360 or 0x380)"},
        {{"--asic", "256"}, "bad value for --asic: 256 (expected a number from 0 to 255)"},
        {{"--module-buffer", "-1"},
         "bad value for --module-buffer: -1 (expected a number from 0 to 65535)"},
        {{"--reply", "1:17:658"},
         "bad value for --reply: 1:17:658 (expected PAGE:BLOCK:SW, SW as 4 hex digits)"},
        {{"--reply", "2:1:9000"},
         "bad value for --reply: 2:1:9000 (expected PAGE:BLOCK:SW, SW as 4 hex digits)"},
        {{"--remove", "0:0"},
         "bad value for --remove: 0:0 (expected PAGE:BLOCK, PAGE 0 or 1, BLOCK from 1)"},
        {{"--reply-len", "0:1:65536"},
         "bad value for --reply-len: 0:1:65536 (expected PAGE:BLOCK:N, N from 0 to 65535)"},
        {{"--fault-rate", "2"}, "bad value for --fault-rate: 2 (expected a rate from 0 to 1)"},
        {{"--erase-ms", "x"},
         "bad value for --erase-ms: x (expected milliseconds from 0 to 600000)"},
        {{"--remove", "0:236"}, ""},
        {{"--remove", "0:237"},
         "no block 0:237 for --remove: page 0 has blocks 1 to 236 with a 256-byte buffer"},
        {{"--hang", "1:485", "--module-buffer", "128"},
         "no block 1:485 for --hang: page 1 has blocks 1 to 484 with a 128-byte buffer"},
        {{"--module-buffer", "1024", "--busy", "0:233"}, ""},
        {{"--module-buffer", "1024", "--busy", "0:234"},
         "no block 0:234 for --busy: page 0 has blocks 1 to 233 with a 270-byte buffer"},
        {{"--busy", "0:491", "--silent-identify", "--module-buffer", "200"},
         "no block 0:491 for --busy: page 0 has blocks 1 to 490 with a 128-byte buffer"},
        {{"--module-buffer", "9", "--reply", "0:1:6400"},
         "no block 0:1 for --reply: no block is written with a 9-byte buffer"},
    };
    for (const auto &c : cases) {
        SimOptions options;
        std::string error;
        EXPECT_EQ(parse(c.args, &options, &error), *c.error == '\0') << c.args[0];
        EXPECT_EQ(error, c.error);
    }
}
