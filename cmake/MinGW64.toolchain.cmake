# Cross-compiles for 64-bit Windows with Debian's MinGW-w64 (the posix thread
# model, which std::thread and std::mutex need) and runs what it builds under
# Wine's 64-bit loader, so that tests and discovery work from Linux.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QUILLARC_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${QUILLARC_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUILLARC_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${QUILLARC_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QUILLARC_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The C++ runtime and winpthreads linked in: the programs run without DLLs
# beside them, on Windows and under Wine alike.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

find_program(QUILLARC_WINE64 NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
if(NOT QUILLARC_WINE64)
  find_program(QUILLARC_WINE64 NAMES wine64 wine)
endif()
if(QUILLARC_WINE64)
  # Through a runner that tries a program again when Wine did not start it.
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/run-under-wine.sh ${QUILLARC_WINE64})
endif()

# pkg-config sees the target's libraries only, never the build machine's.
set(ENV{PKG_CONFIG_LIBDIR} ${CMAKE_FIND_ROOT_PATH}/lib/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")
