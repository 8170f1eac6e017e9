# Cross-compiling tolvex for 64-bit Windows with MinGW-w64 (Debian's
# g++-mingw-w64-x86-64, posix thread variant so that std::thread works):
#
#   cmake -S . -B build-mingw -G Ninja --toolchain cmake/mingw-w64-x86_64.cmake
#
# Executables are linked statically (no DLLs besides the system's KERNEL32 and
# msvcrt). Tests run under Wine through tests/windows/wine-run.sh, which
# CMake uses as the emulator for every test and for GoogleTest's discovery.
# GoogleTest is built for the target from Debian's sources (libgtest-dev,
# /usr/src/googletest) by cmake/mingw-w64-googletest.cmake.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TOLVEX_MINGW_PREFIX x86_64-w64-mingw32)
find_program(CMAKE_C_COMPILER NAMES ${TOLVEX_MINGW_PREFIX}-gcc-posix ${TOLVEX_MINGW_PREFIX}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${TOLVEX_MINGW_PREFIX}-g++-posix ${TOLVEX_MINGW_PREFIX}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${TOLVEX_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TOLVEX_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# One self-contained .exe: libgcc, libstdc++, winpthread and zlib
# (libz-mingw-w64-dev's libz.a, not its DLL import library) linked in.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(ZLIB_USE_STATIC_LIBS ON)

set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tests/windows/wine-run.sh --prefix=${CMAKE_BINARY_DIR}/wineprefix)

# Runs right after the project() call of the top-level CMakeLists.txt.
set(CMAKE_PROJECT_tolvex_INCLUDE ${CMAKE_CURRENT_LIST_DIR}/mingw-w64-googletest.cmake)
