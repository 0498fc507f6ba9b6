// The reader's lock on Linux: the file it uses, and the holder it names.
#include "platform/reader_lock.h"

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using testing::internal::CaptureStderr, testing::internal::GetCapturedStderr;

// Neither a link nor a fifo is used; a holder is named only as the system gives it (not by a
// stale id in the file); the file, the holder's own (root's as root), is left as it was.
TEST(ReaderLock, UsesOnlyARegularFileAndNamesTheHolderTheSystemGives) {
    const std::string dir = testing::TempDir() + "lock" + std::to_string(getpid()), f = dir + "/f";
    std::filesystem::create_directories(dir);
    std::ofstream(f) << "1\n";
    chmod(f.c_str(), 0600);
    ASSERT_EQ(symlink(f.c_str(), (dir + "/link").c_str()), 0);
    mkfifo((dir + "/fifo").c_str(), 0600);
    for (auto [name, why] :
         {std::pair{"/link", "a symbolic link"}, {"/fifo", "not a regular file"}}) {
        setenv("CIFLASH_LOCK", (dir + name).c_str(), 1);
        CaptureStderr();
        EXPECT_FALSE(reader_lock_take());
        EXPECT_EQ(GetCapturedStderr(), "ciflash: cannot use the lock file " + dir + name + ": " +
                                           why + " (CIFLASH_LOCK may name another).\n");
    }
    setenv("CIFLASH_LOCK", f.c_str(), 1);
    for (bool own : {false, true}) {
        int ready[2];
        ASSERT_EQ(pipe(ready), 0);
        const pid_t holder = fork();
        if (holder == 0 &&
            (own ? reader_lock_take() : !flock(open(f.c_str(), 0), LOCK_EX | LOCK_NB)))
            static_cast<void>(write(ready[1], "y", 1) + pause());
        if (holder == 0) _exit(1);
        close(ready[1]);
        char c = 'n';
        EXPECT_EQ(read(ready[0], &c, 1), 1);
        CaptureStderr();
        EXPECT_FALSE(reader_lock_take());
        EXPECT_EQ(GetCapturedStderr(),
                  "ciflash: another ciflash" +
                      (own ? " (process " + std::to_string(holder) + ")" : std::string()) +
                      " is using the reader.\nLet it end, then start ciflash again.\n");
        kill(holder, SIGKILL);
        waitpid(holder, nullptr, 0);
    }
    EXPECT_TRUE(reader_lock_take());
    std::ifstream file(f);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(file), {}), "1\n");
    std::filesystem::remove_all(dir);
}

} // namespace
