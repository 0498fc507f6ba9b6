// The update history of a program: where its records go, with the images it carries.
#include "run/history.h"

#include <cstdio>
#include <cstdlib>

#include "run/history_record.h"
#include "platform/history_os.h"
#include "protocol/page_image.h"

bool history_use(const char *program, const char *path, bool syslog_copy, const char *way_out) {
    history_run.program = program;
    if (!path || !*path) return true;
    const int error = history_os_open(path);
    if (error) {
        std::fprintf(stderr, "%s: the update history %s cannot be opened: %s; %s\n", program, path,
                     history_os_error_text(error), way_out);
        return false;
    }
    history_copy_text(history_run.path, sizeof history_run.path, path);
    history_run.syslog_copy = syslog_copy;
    history_run.image_size[0] = page_image_0.size;
    history_run.image_size[1] = page_image_1.size;
    history_run.image_sha256[0] = page_image_0_sha256;
    history_run.image_sha256[1] = page_image_1_sha256;
    history_name_run();
    return true;
}

const char *history_file(char *path, size_t size) {
    const char *named = history_os_environment("CIFLASH_HISTORY");
    if (named) return named;
    return history_os_default_path(path, size) ? path : nullptr;
}

bool history_use_default(bool none) {
    const char way_out[] =
        "make it a plain writable file, or run 'ciflash --no-history' to update without a record";
    if (none) {
        std::fputs("ciflash: --no-history: this run leaves no record in the update history\n",
                   stderr);
        return history_use("ciflash", nullptr, false, way_out);
    }
    char path[sizeof history_run.path] = "";
    const char *file = history_file(path, sizeof path);
    if (file) return history_use("ciflash", file, file == path, way_out);
    std::fprintf(stderr, "ciflash: no folder can be named for the update history (HOME is not "
                         "set): set CIFLASH_HISTORY=FILE, or run 'ciflash --no-history'\n");
    return false;
}
