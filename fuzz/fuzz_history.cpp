// The history's reader on any bytes.
#include <sstream>

#include "run/history.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static std::FILE *out = std::fopen("/dev/null", "w");
    std::istringstream history(std::string(reinterpret_cast<const char *>(data), size));
    history_list(history, 5, out);
    return 0;
}
