# Build step that compiles one page image in: checks the image and writes the C++ source that
# defines page_image_<page> with the image's bytes, and page_image_<page>_sha256 with the
# file's SHA-256, so that a program can tell which firmware it carries.
#   cmake -DIMAGE=<file> -DPAGE=<0|1> [-DKIND=STANDIN] -DOUTPUT=<source> -P embed_page_image.cmake
include(${CMAKE_CURRENT_LIST_DIR}/PageImageCheck.cmake)

ciflash_check_page_image("${IMAGE}" "${PAGE}" ${KIND})

cmake_path(GET CMAKE_CURRENT_LIST_DIR PARENT_PATH source_root)
file(SIZE "${IMAGE}" size)
file(SHA256 "${IMAGE}" sha256)
file(READ "${IMAGE}" bytes HEX)
string(REGEX REPLACE "(..)" "0x\\1," bytes "${bytes}")
string(REPEAT "0x..," 16 line)
string(REGEX REPLACE "(${line})" "\\1\n" bytes "${bytes}")

file(WRITE "${OUTPUT}" "// Generated at build time from ${IMAGE}; do not edit.
#include \"${source_root}/protocol/page_image.h\"

namespace {
const uint8_t image_bytes[${size}] = {
${bytes}
};
} // namespace

const PageImage page_image_${PAGE} = {${PAGE}, image_bytes, ${size}, {'Z', 'O', 'L', '${PAGE}'}};
const char page_image_${PAGE}_sha256[] = \"${sha256}\";
")
