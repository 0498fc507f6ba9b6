// The reader's lock on Windows: a named mutex, which Windows closes with the last handle to
// it when the process ends. Its name is global to the machine, so that a second session (a
// remote desktop) sees it too. Windows does not say which process holds it.
#include "platform/reader_lock.h"

#include <cstdio>
#include <windows.h>

bool reader_lock_take() {
    const HANDLE mutex = CreateMutexA(nullptr, TRUE, "Global\\ciflash-reader");
    if (mutex != nullptr && GetLastError() != ERROR_ALREADY_EXISTS) return true;
    if (mutex == nullptr)
        std::fprintf(stderr, "ciflash: cannot take the reader's lock (Windows error %lu).\n",
                     GetLastError());
    else
        std::fputs("ciflash: another ciflash is using the reader.\n"
                   "Let it end, then start ciflash again.\n",
                   stderr);
    return false;
}
