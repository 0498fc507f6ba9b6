#include "platform/history_os.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <syslog.h>
#include <unistd.h>

namespace {

// The package creates this folder, group-writable for the members of the group ciflash.
constexpr char WORKSHOP_FOLDER[] = "/var/lib/ciflash";
int history_fd = -1;

bool is_folder(const char *path) {
    struct stat info {};
    return stat(path, &info) == 0 && S_ISDIR(info.st_mode);
}

// Creates each missing folder of `path` up to its last '/'.
void make_folders(char *path) {
    for (char *slash = std::strchr(path + 1, '/'); slash; slash = std::strchr(slash + 1, '/')) {
        *slash = '\0';
        mkdir(path, 0755);
        *slash = '/';
    }
}

} // namespace

bool history_os_default_path(char *path, size_t size) {
    if (is_folder(WORKSHOP_FOLDER)) {
        std::snprintf(path, size, "%s/history.jsonl", WORKSHOP_FOLDER);
        return true;
    }
    const char *state = secure_getenv("XDG_STATE_HOME");
    const char *home = secure_getenv("HOME");
    const passwd *user = home ? nullptr : getpwuid(getuid());
    if (user) home = user->pw_dir;
    if (state && *state == '/')
        std::snprintf(path, size, "%s/ciflash/history.jsonl", state);
    else if (home && *home == '/')
        std::snprintf(path, size, "%s/.local/state/ciflash/history.jsonl", home);
    else
        return false;
    make_folders(path);
    return true;
}

const char *history_os_environment(const char *name) {
    return secure_getenv(name);
}

int history_os_open(const char *path) {
    constexpr int FLAGS = O_RDWR | O_APPEND | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    int fd = open(path, FLAGS | O_CREAT | O_EXCL, 0664);
    const bool created = fd >= 0;
    if (!created && errno == EEXIST) fd = open(path, FLAGS);
    if (fd < 0) return errno;
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        return HISTORY_NOT_A_FILE;
    }
    history_fd = fd;
    if (!created) return 0;
    // Group members append to a shared history whatever the creator's umask; the new file's
    // name must reach the disk too: its folder is flushed.
    fchmod(fd, 0664);
    char folder[1024] = ".";
    const char *slash = std::strrchr(path, '/');
    const size_t n = slash ? static_cast<size_t>(slash - path) : 0;
    if (slash && n < sizeof folder) {
        std::memcpy(folder, path, n);
        folder[n ? n : 1] = '\0';
    }
    const int folder_fd = open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder_fd >= 0) {
        fsync(folder_fd);
        close(folder_fd);
    }
    return 0;
}

bool history_os_at_line_start() {
    struct stat info {};
    char last = '\n';
    return fstat(history_fd, &info) != 0 || info.st_size == 0 ||
           pread(history_fd, &last, 1, info.st_size - 1) != 1 || last == '\n';
}

// A short write is followed by another, which names the reason (a full disk) when it fails.
int history_os_append(const char *line, size_t length) {
    while (length) {
        const ssize_t written = write(history_fd, line, length);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return written < 0 ? errno : EIO;
        line += written;
        length -= static_cast<size_t>(written);
    }
    return fsync(history_fd) != 0 ? errno : 0;
}

const char *history_os_error_text(int error) {
    if (error == ENOSPC) return "the disk is full";
    if (error == EDQUOT) return "the disk quota is used up";
    if (error == ELOOP) return "it is a symbolic link";
    if (error == HISTORY_NOT_A_FILE) return "it is not a regular file";
    return std::strerror(error);
}

void history_os_syslog(const char *line) {
    openlog("ciflash", LOG_PID, LOG_USER);
    syslog(LOG_NOTICE, "%.*s", static_cast<int>(std::strcspn(line, "\n")), line);
    closelog();
}

int64_t history_os_now_ms() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

unsigned history_os_process_id() {
    return static_cast<unsigned>(getpid());
}

void history_os_host_user(char *host, size_t host_size, char *user, size_t user_size) {
    if (gethostname(host, host_size) != 0) std::snprintf(host, host_size, "?");
    host[host_size - 1] = '\0';
    const passwd *entry = getpwuid(getuid());
    std::snprintf(user, user_size, "%s", entry ? entry->pw_name : "?");
}

long history_os_user_id() {
    return static_cast<long>(getuid());
}
