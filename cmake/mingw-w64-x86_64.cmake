# Cross build of corvane.exe for 64-bit Windows with Debian's MinGW-w64
# (g++-mingw-w64-x86-64-posix). The tests run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Statically linked: the user's machine needs no MinGW DLL (libstdc++, libgcc, winpthread).
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)

# Every Windows program of the build (tests, test discovery) runs under Wine, in a prefix of
# its own inside the build folder, so that runs are quiet and do not depend on ~/.wine (see
# run-under-wine.sh). The prefix is created once at configure time (see cross_testing).
find_program(CORVANE_WINE NAMES wine)
if(CORVANE_WINE)
  set(CORVANE_WINE_PREFIX ${CMAKE_BINARY_DIR}/wine-prefix)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/run-under-wine.sh
                                    ${CORVANE_WINE_PREFIX})
endif()
