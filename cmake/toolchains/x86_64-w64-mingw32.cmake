# Cross build for Windows x86-64 with Debian's MinGW-w64 (g++-mingw-w64-x86-64-posix).
#
# The executables link the C and C++ runtimes statically, so they need nothing
# on a clean Windows but the system's own DLLs (KERNEL32.dll and msvcrt.dll).
# They run here under wine: CMake's cross-compiling emulator is a small wrapper
# that keeps wine's state (its "prefix") inside the build directory.
#
# printf and friends: libstdc++ for this target turns on MinGW's own C99
# printf (__USE_MINGW_ANSI_STDIO) in every C++ translation unit, so "%lu",
# "%ld", "%02x" and "%04lx" format as the C standard says, with the 32-bit
# long of Windows.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(MTHC_MINGW_TRIPLE x86_64-w64-mingw32)
# The -posix variant brings std::thread and friends; plain names may point at
# the win32 variant through update-alternatives.
find_program(CMAKE_CXX_COMPILER NAMES ${MTHC_MINGW_TRIPLE}-g++-posix ${MTHC_MINGW_TRIPLE}-g++ REQUIRED)
find_program(CMAKE_C_COMPILER NAMES ${MTHC_MINGW_TRIPLE}-gcc-posix ${MTHC_MINGW_TRIPLE}-gcc)
# The resource compiler, for the executables' manifest and version information
# (binutils-mingw-w64).
find_program(CMAKE_RC_COMPILER NAMES ${MTHC_MINGW_TRIPLE}-windres REQUIRED)

# Libraries, headers and packages of the target only; programs of the host.
set(CMAKE_FIND_ROOT_PATH /usr/${MTHC_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Standalone executables: libgcc, libstdc++ and winpthread linked in.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

find_program(MTHC_WINE NAMES wine)
if(MTHC_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR
      "${CMAKE_CURRENT_LIST_DIR}/wine-run.sh;${CMAKE_BINARY_DIR}/wineprefix")
else()
  message(STATUS "wine not found: the Windows executables build, but their tests cannot run here")
endif()
