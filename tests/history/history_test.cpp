// The history's reader, `--history N`, the default file.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
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
std::string listed(int n) {
    const char *argv[] = {"ciflash", "--history", strdup(std::to_string(n).c_str())};
    testing::internal::CaptureStdout();
    EXPECT_EQ(answer_arguments(3, argv), n > 0 ? 0 : 2);
    return testing::internal::GetCapturedStdout();
}

// Seeded histories read back from the end (lines longer than a read block, cut and foreign
// lines, ids that repeat, no last line end) list the runs a forward read pairs: an ended
// record closes its id's started record just before it, unless it names its host.
TEST(History, ListsTheLastRunsOfAForwardRead) {
    std::filesystem::create_directories(DIR);
    set_env("CIFLASH_HISTORY=" + (DIR / "h").string());
    for (unsigned seed = 1; seed <= 12; ++seed) {
        std::mt19937 rng(seed);
        std::string text, who = R"(","user":"u","host":"h)";
        std::vector<std::string> runs;
        std::vector<size_t> first, bad; // lines of the runs' first records, skipped lines
        std::map<size_t, size_t> open;
        for (size_t i = 0; i < 300; ++i) {
            const auto id = rng() % 5, kind = rng() % 5, k = rng() % 40 ? 9 : rng() % 2000;
            const std::string t = std::to_string(i), pad(k * k / 3, 'p');
            std::string line = R"({"record":")" + std::string(kind ? "ended" : "started") +
                               R"(","run":")" + std::to_string(id) + R"(","time":")" + t +
                               (kind == 1 ? who : "") + R"(","pad":")" + pad + R"(","blocks":[)" +
                               t + ",0]" + (k % 2 ? R"(,"sent":[3,1])" : "") + "}";
            const std::string end = "blocks " + t + (k % 2 ? "/3 0/1" : "/? 0/?") + "  exit ?: ?";
            if (kind == 4) line.resize(1 + rng() % (line.size() - 1));
            const bool record = kind < 4 && line.size() <= 1 << 20;
            if (!record)
                bad.push_back(i);
            else if (kind > 1 && open.count(id))
                runs[open[id]] += end;
            else {
                runs.push_back(t + (kind == 1 ? "  u@h" : "  ?@?") + "  no module  images ? ?  " +
                               (kind ? end : ""));
                first.push_back(i);
            }
            if (record) open.erase(id);
            if (record && !kind) open[id] = runs.size() - 1;
            text += line + (i < 299 || seed % 2 ? "\n" : "");
        }
        for (auto &run : runs) run += run.back() == ' ' ? "INTERRUPTED\n" : "\n";
        std::ofstream(DIR / "h", std::ios::binary) << text;
        for (size_t n : {1, 4, 60, 1000}) {
            const size_t from = runs.size() > n ? runs.size() - n : 0;
            std::string want;
            for (size_t r = from; r < runs.size(); ++r) want += runs[r];
            const auto skipped = std::count_if(bad.begin(), bad.end(), [&](size_t line) {
                return runs.empty() || line > first[from];
            });
            if (skipped) want += std::to_string(skipped) + " lines skipped: not history records\n";
            EXPECT_EQ(listed(int(n)), want) << seed << " " << n;
        }
    }
    EXPECT_EQ(listed(0), "");
}

// What reaches the terminal: C0, DEL, C1 and bytes that are not UTF-8 are shown as '?'.
TEST(History, ShowsControlsAndForeignBytesAsQuestionMarks) {
    for (auto [in, out] : {std::pair{"a\x7f", "a?"},
                           {"\xc2\x9b[1m", "?[1m"},
                           {"\\u009b\\u007f\\u0000\\u00e9\xc3\xa9", "???\xc3\xa9\xc3\xa9"},
                           {"\xff\xe2\x82|\xc0\xaf\xed\xa0\x80\xf4\x90\x80\x80", "??|????"}}) {
        std::FILE *file = std::tmpfile();
        history_list(rec("ended", "1", std::string(R"(","host":")") + in + "\"}"), 1, file);
        char got[99] = "";
        std::rewind(file);
        EXPECT_EQ(std::fgets(got, sizeof got, file),
                  "T1  ?@" + std::string(out) +
                      "  no module  images ? ?  blocks ?/? ?/?  exit ?: ?\n");
    }
}

TEST(History, AppendsToTheDefaultFile) {
    set_env("XDG_STATE_HOME=" + DIR.string());
    set_env("PROGRAMDATA=" + DIR.string());
    char path[999];
    ASSERT_TRUE(history_os_default_path(path, sizeof path));
    if (std::filesystem::exists("/var/lib/ciflash")) GTEST_SKIP();
    EXPECT_EQ(path, DIR / "ciflash" / "history.jsonl");
    for (int i = 0; i < 2; ++i) EXPECT_EQ(history_os_append(path, "ab\n", 3), 0);
    EXPECT_EQ(std::filesystem::file_size(path), 6u);
    std::filesystem::remove_all(DIR);
}

} // namespace
