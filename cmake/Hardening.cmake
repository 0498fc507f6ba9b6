# Release builds for Linux get the hardening that Debian builds its packages with: fortified
# library calls, stack protector, position-independent executables, read-only relocations bound
# at start-up. Sanitizer and fuzz builds bring their own instrumentation and stay as they are.
if(CMAKE_SYSTEM_NAME STREQUAL "Linux" AND CMAKE_BUILD_TYPE MATCHES "^(Release|RelWithDebInfo|MinSizeRel)$"
   AND NOT CIFLASH_SANITIZE AND NOT CIFLASH_FUZZ)
  include(CheckPIESupported)
  check_pie_supported(LANGUAGES CXX)
  set(CMAKE_POSITION_INDEPENDENT_CODE ON)
  add_compile_definitions(_FORTIFY_SOURCE=2)
  add_compile_options(-fstack-protector-strong)
  add_link_options(LINKER:-z,relro LINKER:-z,now)
endif()
