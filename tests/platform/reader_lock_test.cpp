#include "platform/reader_lock.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

TEST(ReaderLock, TakesOnlyRegularFilesAndNamesTheSystemsHolder) {
    const std::string d = testing::TempDir() + "lock" + std::to_string(getpid()), f = d + "/f";
    std::filesystem::create_directories(d);
    std::ofstream(f) << "1\n";
    ASSERT_EQ(chmod(f.c_str(), 0600) + symlink(f.c_str(), (d + "/l").c_str()) +
                  mkfifo((d + "/p").c_str(), 0600),
              0);
    const std::string use = "^ciflash: cannot use the lock file " + d, busy = "another ciflash";
    const std::string says[] = {use + "/l: a symbolic link \\(", use + "/p: not a regular",
                                busy + " is using",
                                busy + " \\(process " + std::to_string(getpid()) + "\\) is using"};
    for (int row = 0; row < 4; ++row) {
        setenv("CIFLASH_LOCK", row > 1 ? f.c_str() : (d + "/" + "lp"[row]).c_str(), 1);
        const int fd = row == 2 ? open(f.c_str(), 0) : -1;
        ASSERT_EQ(row == 2 ? flock(fd, LOCK_EX) : row == 3 ? !reader_lock_take() : 0, 0);
        EXPECT_EXIT(std::exit(reader_lock_take()), testing::ExitedWithCode(0), says[row]);
        close(fd);
    }
    std::ifstream file(f);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(file), {}), "1\n");
    std::filesystem::remove_all(d);
}

} // namespace
