#include "rehearse/program_images.h"

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

#include "protocol/page_image.h"
#include "rehearse/port_grant.h"
#include "rehearse/supervise.h"

namespace {

std::string image_line(int page, const PageImage &image, const char *sha256) {
    return "page " + std::to_string(page) + " image: " + std::to_string(image.size) +
           " bytes, SHA-256 " + sha256 + "\n";
}

} // namespace

bool program_images_known(const char *program, std::string *why) {
    const PortGrant kept = port_grant; // the rehearsal's, reported after this
    // The output is read once the program has ended: it cannot wait on a full pipe.
    int out[2];
    if (pipe2(out, O_NONBLOCK) != 0) return false;
    char *argv[] = {const_cast<char *>(program), const_cast<char *>("--version"), nullptr};
    const pid_t pid = supervise_start(argv, out[1]);
    close(out[1]);
    const ProgramEnd end = pid > 0 ? supervise_run(pid) : ProgramEnd{false, true, false, 0, 0};
    std::string version;
    char chunk[512];
    for (ssize_t got; (got = read(out[0], chunk, sizeof chunk)) > 0;)
        version.append(chunk, static_cast<size_t>(got));
    close(out[0]);
    port_grant = kept;
    const std::string images = image_line(0, page_image_0, page_image_0_sha256) +
                               image_line(1, page_image_1, page_image_1_sha256);
    if (!end.refused && end.exit_code == 0 && version.find(images) != std::string::npos)
        return true;
    *why = program + std::string(" --version does not name the simulated module's images (") +
           page_image_0_sha256 + ", " + page_image_1_sha256 + ")";
    return false;
}
