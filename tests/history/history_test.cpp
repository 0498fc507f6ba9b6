// The history's reader, `--history N`, the default file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

#include "platform/history_os.h"
#include "run/command_line.h"
#include "run/history.h"

namespace {

const auto DIR = std::filesystem::temp_directory_path() / std::to_string(std::random_device{}());
void set_env(std::string setting) {
    putenv(strdup(setting.c_str()));
}

std::string listed(int n) {
    const std::string runs = std::to_string(n);
    const char *argv[] = {"ciflash", "--history", runs.c_str()};
    testing::internal::CaptureStdout();
    EXPECT_EQ(answer_arguments(3, argv), n > 0 ? 0 : 2);
    return testing::internal::GetCapturedStdout();
}

// An ended record closes its id's open started record unless it names its host.
TEST(History, ListsTheLastRunsOfAForwardRead) {
    const char *const hosts[][2] = {
        {"a\x7f", "a?"},
        {"\xc2\x9b[1m", "?[1m"},
        {"\\u009b\\u007f\xc3\xa9", "??\xc3\xa9"},
        {"\xff\xe2\x82|\xc0\xaf\xed\xa0\x80\xf4\x90\x80\x80", "??|????"}};
    std::filesystem::create_directories(DIR);
    set_env("CIFLASH_HISTORY=" + (DIR / "h").string());
    for (unsigned seed = 1; seed <= 12; ++seed) {
        std::mt19937 rng(seed);
        std::string text;
        std::vector<std::pair<size_t, std::string>> runs; // first line, listing
        std::vector<size_t> bad, open(5);                 // 1 + the run open for the id
        for (size_t i = 0; i < 300; ++i) {
            const auto id = rng() % 5, kind = rng() % 5, k = rng() % 40 ? 9 : rng() % 2000;
            const bool edge = k > 1700 && k % 4 < 2;
            const std::string t = std::to_string(i),
                              end = "blocks " + t + (k % 2 ? "/3 0/1" : "/? 0/?") + "  exit ?: ?";
            std::string line = R"({"record":")" + std::string(kind ? "ended" : "started") +
                               R"(","run":")" + std::to_string(id) + R"(","time":")" + t +
                               (kind == 1 ? R"(","host":")" + std::string(hosts[i % 4][0]) : "") +
                               R"(","p":")" + std::string(edge ? 0 : k * k / 3, 'p') +
                               R"(","blocks":[)" + t + ",0]" + (k % 2 ? R"(,"sent":[3,1])" : "") +
                               "}";
            if (edge) // the longest record read, or one byte longer
                line.insert(line.find(R"(","blocks)"), (1 << 20) + k % 2 - line.size(), 'p');
            if (kind == 4 && i % 3 == 0)
                line += " x"; // a record followed by other text
            else if (kind == 4)
                line.resize(1 + rng() % (line.size() - 1));
            if (kind == 4 || line.size() > 1 << 20)
                bad.push_back(i);
            else if (kind > 1 && open[id])
                runs[open[id] - 1].second += end, open[id] = 0;
            else
                runs.push_back({i, t + "  ?@" + (kind == 1 ? hosts[i % 4][1] : "?") +
                                       "  no module  images ? ?  " + (kind ? end : "")}),
                    open[id] = kind ? 0 : runs.size();
            text += line + (i < 299 || seed % 2 ? "\n" : "");
        }
        std::ofstream(DIR / "h", std::ios::binary) << text;
        for (size_t n : {1, 4, 60, 1000}) {
            const size_t from = runs.size() > n ? runs.size() - n : 0;
            std::string want;
            for (size_t r = from; r < runs.size(); ++r)
                want += runs[r].second + (runs[r].second.back() == ' ' ? "INTERRUPTED\n" : "\n");
            const auto skipped = std::ranges::count_if(
                bad, [&](size_t line) { return runs.empty() || line > runs[from].first; });
            if (skipped) want += std::to_string(skipped) + " lines skipped: not history records\n";
            EXPECT_EQ(listed(int(n)), want) << seed << " " << n;
        }
    }
    EXPECT_EQ(listed(0), "");
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
    std::error_code kept; // Windows keeps the folder of the history still open
    std::filesystem::remove_all(DIR, kept);
}

} // namespace
