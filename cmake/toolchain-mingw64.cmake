# Cross-builds for 64-bit Windows with MinGW-w64:
#   cmake -S . -B build-mingw -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw64.cmake
# The programs it builds run under Wine without any DLL besides kelmo.dll and
# the system's own.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KELMO_MINGW_PREFIX x86_64-w64-mingw32)

# The posix thread model gives std::thread and std::mutex (GoogleTest uses
# them); the win32 model of older toolchains has neither.
find_program(KELMO_MINGW_CXX NAMES ${KELMO_MINGW_PREFIX}-g++-posix ${KELMO_MINGW_PREFIX}-g++ REQUIRED)
find_program(KELMO_MINGW_CC NAMES ${KELMO_MINGW_PREFIX}-gcc-posix ${KELMO_MINGW_PREFIX}-gcc REQUIRED)
set(CMAKE_CXX_COMPILER ${KELMO_MINGW_CXX})
set(CMAKE_C_COMPILER ${KELMO_MINGW_CC})
find_program(CMAKE_RC_COMPILER NAMES ${KELMO_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${KELMO_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# pkg-config would otherwise offer the build machine's own libraries.
set(ENV{PKG_CONFIG_LIBDIR} /usr/${KELMO_MINGW_PREFIX}/lib/pkgconfig:/usr/${KELMO_MINGW_PREFIX}/share/pkgconfig)

# The runtime libraries go into each program and DLL, winpthread included,
# so nothing of the toolchain has to be shipped or found beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${CMAKE_SHARED_LINKER_FLAGS_INIT}")

# Runs the programs it builds (e.g. test discovery) under Wine where it is.
find_program(KELMO_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_DEFAULT_PATH)
if(NOT KELMO_WINE)
  find_program(KELMO_WINE NAMES wine64 wine)
endif()
if(KELMO_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${KELMO_WINE})
endif()
