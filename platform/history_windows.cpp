// The update history on Windows, which has no system log of this kind.
#include "platform/history_os.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <windows.h>

static HANDLE history_file = INVALID_HANDLE_VALUE;

bool history_os_default_path(char *path, size_t size) {
    const char *data = std::getenv("PROGRAMDATA");
    if (!data || !*data) return false;
    std::snprintf(path, size, "%s\\ciflash", data);
    CreateDirectoryA(path, nullptr);
    std::snprintf(path, size, "%s\\ciflash\\history.jsonl", data);
    return true;
}

const char *history_os_environment(const char *name) {
    return std::getenv(name);
}

int history_os_open(const char *path) {
    // Appending only: every write goes to the end of the file, as one piece. A reparse point
    // (a link) is opened as itself, and refused.
    const HANDLE file = CreateFileA(path, FILE_APPEND_DATA | FILE_READ_DATA,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) return static_cast<int>(GetLastError());
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileType(file) != FILE_TYPE_DISK || !GetFileInformationByHandle(file, &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY))) {
        CloseHandle(file);
        return HISTORY_NOT_A_FILE;
    }
    history_file = file;
    return 0;
}

bool history_os_at_line_start() {
    LARGE_INTEGER size{};
    char last = '\n';
    DWORD read = 0;
    OVERLAPPED at{};
    if (GetFileSizeEx(history_file, &size) && size.QuadPart > 0) {
        at.Offset = static_cast<DWORD>(size.QuadPart - 1);
        at.OffsetHigh = static_cast<DWORD>((size.QuadPart - 1) >> 32);
        ReadFile(history_file, &last, 1, &read, &at);
    }
    return last == '\n';
}

int history_os_append(const char *line, size_t length) {
    DWORD written = 0;
    if (!WriteFile(history_file, line, static_cast<DWORD>(length), &written, nullptr) ||
        written != length || !FlushFileBuffers(history_file)) {
        const DWORD error = GetLastError();
        return static_cast<int>(error ? error : ERROR_HANDLE_DISK_FULL);
    }
    return 0;
}

const char *history_os_error_text(int error) {
    static char text[256];
    if (error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL) return "the disk is full";
    if (error == HISTORY_NOT_A_FILE) return "it is not a regular file";
    if (!FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                        static_cast<DWORD>(error), 0, text, sizeof text, nullptr))
        std::snprintf(text, sizeof text, "error %d", error);
    text[std::strcspn(text, "\r\n")] = '\0';
    return text;
}

void history_os_syslog(const char *) {}

int64_t history_os_now_ms() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    const uint64_t ticks = (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    // 100-ns ticks since 1601-01-01; 11644473600 s lie between 1601 and 1970.
    return static_cast<int64_t>(ticks / 10000) - 11644473600000LL;
}

unsigned history_os_process_id() {
    return static_cast<unsigned>(GetCurrentProcessId());
}

void history_os_host_user(char *host, size_t host_size, char *user, size_t user_size) {
    auto host_length = static_cast<DWORD>(host_size);
    if (!GetComputerNameA(host, &host_length)) std::snprintf(host, host_size, "?");
    const char *name = std::getenv("USERNAME");
    std::snprintf(user, user_size, "%s", name && *name ? name : "?");
}

long history_os_user_id() {
    return -1;
}
