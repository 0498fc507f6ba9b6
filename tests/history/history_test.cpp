// The history's reader, `--history N`, the default file.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

#include "console/command_line.h"
#include "console/history.h"
#include "platform/history_os.h"

namespace {

const auto DIR = std::filesystem::temp_directory_path() / std::to_string(std::random_device{}());
void set_env(std::string setting) {
    putenv(strdup(setting.c_str()));
}

std::string rec(std::string kind, std::string run, std::string rest) {
    return R"({"record":")" + kind + R"(","run":")" + run + R"(","time":"T)" + run + rest + "\n";
}
const std::string WHO = R"(","user":"u","host":"h","images":[{"sha256":"0123456789ab0"},)"
                        R"({"sha256":"fedcba9876540"}],"module":{"processor":"51"})";
const std::string S1 = rec("started", "1", WHO + "}");
std::string line(std::string run, std::string end = "INTERRUPTED") {
    return "T" + run + "  u@h  processor 51  images 0123456789ab fedcba987654  " + end + "\n";
}

// Runs paired by id, foreign and cut records skipped, the last N listed, bad N refused.
TEST(History, OptionListsRuns) {
    std::FILE *out = std::tmpfile();
    for (size_t cut = 1; cut + 1 < S1.size(); ++cut)
        EXPECT_EQ(history_list(S1.substr(0, cut) + "\n" + S1, 9, out), 1) << cut;
    std::filesystem::create_directories(DIR);
    std::ofstream(DIR / "h") << S1 << R"({"run":"1"}
{"record":"x","run":"1"}
{"record":"ended","run":"9"} x
{"record":"ended","run":"9","a":"\q"}
{"record":"ended","run":"9","a":[[[[[[[[1]]]]]]]]}
)" << rec("started", "2", WHO + "}")
                             << rec("ended", "1", R"(","exit_code":4,"outcome":"F"})")
                             << rec("ended", "3", WHO + R"(,"exit_code":4,"outcome":"W"})");
    set_env("CIFLASH_HISTORY=" + (DIR / "h").string());
    const std::string last = line("3", "exit 4: W") + "5 lines skipped: not history records\n";
    const std::string all = line("1", "exit 4: F") + line("2") + last;
    for (auto [n, code, out] :
         {std::tuple{"20", 0, all}, {"1", 0, last}, {"0", 2, ""}, {"1x", 2, ""}}) {
        const char *argv[] = {"ciflash", "--history", n};
        testing::internal::CaptureStdout();
        EXPECT_EQ(answer_arguments(3, argv), code) << n;
        EXPECT_EQ(testing::internal::GetCapturedStdout(), out) << n;
    }
}

TEST(History, AppendsToTheDefaultFile) {
    set_env("XDG_STATE_HOME=" + DIR.string());
    set_env("PROGRAMDATA=" + DIR.string());
    char path[999];
    ASSERT_TRUE(history_os_default_path(path, sizeof path));
    if (std::filesystem::exists("/var/lib/ciflash")) GTEST_SKIP();
    EXPECT_EQ(path, DIR / "ciflash" / "history.jsonl");
    std::ofstream(path) << "x";
    ASSERT_EQ(history_os_open(path), 0);
    EXPECT_FALSE(history_os_at_line_start());
    EXPECT_EQ(history_os_append("\nb\n", 3), 0);
    EXPECT_TRUE(history_os_at_line_start());
    EXPECT_EQ(std::filesystem::file_size(path), 4u);
    std::filesystem::remove_all(DIR);
}

} // namespace
