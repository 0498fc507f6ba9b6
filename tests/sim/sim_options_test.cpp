// The simulator's options as they land in the simulated module's configuration; refusals and
// their messages are checked on the command line.
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
    ASSERT_TRUE(parse({"--base", "0x380", "--module-buffer", "128", "--fast", "--bios", "1.05",
                       "--asic", "255", "--reply", "1:17:6581", "--reply-len", "0:3:65535",
                       "--hang", "1:484", "--seed", "7", "--trace", "t.txt"},
                      &options, &error))
        << error;
    const SimConfig &c = sim_config;
    EXPECT_EQ(std::tuple(c.base, c.module_buffer, c.bios, c.asic, c.seed, options.fast,
                         options.trace_file),
              std::tuple(0x380, 128, "1.05", 255, 7u, true, "t.txt"));
    ASSERT_EQ(c.events.size(), 3u);
    EXPECT_EQ(std::tuple(c.events[0].kind, c.events[0].page, c.events[0].block, c.events[0].value),
              std::tuple(SIM_REPLY_SW, 1, 17, 0x6581u));
    EXPECT_EQ(std::tuple(c.events[1].value, c.events[2].kind), std::tuple(65535u, SIM_HANG));
}
