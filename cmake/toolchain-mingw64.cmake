# Cross build for 64-bit Windows with Debian's mingw-w64. The -posix compilers are needed:
# GoogleTest uses std::mutex, which the win32 thread model lacks. The C and C++ runtimes of
# GCC and the thread library are linked in statically, so the .exe files run on a bare
# Windows; only system DLLs are loaded (and, at run time, the port driver's DLL).
#   cmake -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw64.cmake ...
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Test programs run under Wine on the build machine (ctest, and GoogleTest's test listing).
find_program(CIFLASH_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CACHE)
if(CIFLASH_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CIFLASH_WINE})
endif()
