// The update history of a program: where its records go, with the images it carries.
#include "console/history.h"

#include "console/history_record.h"
#include "platform/history_os.h"
#include "protocol/page_image.h"

void history_use(const char *path, bool syslog_copy) {
    history_copy_text(history_run.path, sizeof history_run.path, path ? path : "");
    history_run.syslog_copy = syslog_copy;
    history_run.image_size[0] = page_image_0.size;
    history_run.image_size[1] = page_image_1.size;
    history_run.image_sha256[0] = page_image_0_sha256;
    history_run.image_sha256[1] = page_image_1_sha256;
    history_name_run();
}

const char *history_file(char *path, size_t size) {
    const char *named = history_os_environment("CIFLASH_HISTORY");
    if (named) return named;
    return history_os_default_path(path, size) ? path : nullptr;
}

void history_use_default() {
    char path[sizeof history_run.path] = "";
    const char *file = history_file(path, sizeof path);
    if (file) history_use(file, file == path);
}
