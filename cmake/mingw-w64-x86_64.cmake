# Cross-compiles for 64-bit Windows with Debian's MinGW-w64 (the posix thread
# model, so std::thread and std::mutex work). Programs are linked statically:
# they import only Windows' own DLLs and run from a bare folder or under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ORVEX_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ORVEX_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ORVEX_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${ORVEX_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ORVEX_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
# Test programs run under Wine on this machine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
