// Which images the program under rehearsal carries: the simulated module judges the flash
// against its own images, which are the program's only when their sizes and checksums agree.
#pragma once
#include <string>

// Runs `PROGRAM --version`, sealed and traced like the rehearsal, and tells whether it names
// the simulated module's two images. False, with `why` set, when it does not or cannot say.
bool program_images_known(const char *program, std::string *why);
