# SPDX-License-Identifier: MIT
# Cross-compiling for 64-bit Windows with Debian's MinGW-w64 (posix thread model, so that
# std::thread, std::mutex and std::condition_variable exist). Programs run through Wine
# when ctest starts them. Dependencies built for Windows (GoogleTest) live in a sysroot
# inside the build folder, which the find_* commands search.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CORVEXLINK_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${CORVEXLINK_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${CORVEXLINK_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${CORVEXLINK_MINGW_TRIPLE}-windres)

find_program(CORVEXLINK_WINE wine)
if(CORVEXLINK_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CORVEXLINK_WINE})
endif()

# The sysroot of cross-built dependencies; scripts/ci/build-gtest-mingw.sh fills it.
if(NOT CORVEXLINK_WINDOWS_SYSROOT)
  set(CORVEXLINK_WINDOWS_SYSROOT ${CMAKE_BINARY_DIR}/sysroot)
endif()
set(CMAKE_FIND_ROOT_PATH /usr/${CORVEXLINK_MINGW_TRIPLE} ${CORVEXLINK_WINDOWS_SYSROOT})
set(CMAKE_PREFIX_PATH ${CORVEXLINK_WINDOWS_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES CORVEXLINK_WINDOWS_SYSROOT)

# The MinGW runtime (libgcc, libstdc++, winpthread) linked in statically: the programs and
# the DLL then need system DLLs only (a missing runtime DLL makes a program exit silently).
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
