#include <gtest/gtest.h>

#include <random>

#include "tests/support/run_check.h"

class Sweep : public testing::TestWithParam<int> {};

TEST_P(Sweep, RandomFaultSchedulesKeepTheInvariants) {
    const char *given = std::getenv("CIFLASH_SWEEP_SEED");
    const uint32_t seed = (given ? uint32_t(std::strtoul(given, nullptr, 0)) : 2026) + GetParam();
    std::mt19937 random(seed);
    for (int run = 0; run < 500; ++run) {
        std::vector<uint8_t> bytes(6 + 5 * (random() % 4));
        for (uint8_t &b : bytes) b = uint8_t(random());
        const RunSetup setup = schedule_from_bytes(bytes.data(), bytes.size());
        const int code = run_program(setup);
        char schedule[43] = {};
        for (size_t i = 0; i < bytes.size(); ++i)
            std::snprintf(schedule + 2 * i, 3, "%02x", bytes[i]);
        ASSERT_EQ(check_run(setup, code, true), "")
            << "seed " << seed << " run " << run << ": " << schedule;
    }
}

INSTANTIATE_TEST_SUITE_P(Seeds, Sweep, testing::Range(0, 4));
