# Cross-compiles the Windows build (quillon.exe, tests) with MinGW-w64 for
# The posix threading flavour of MinGW gives the C++ library std::mutex and
# friends (GoogleTest needs them); linked statically like everything else.
# 32-bit x86. Test executables run under Wine through scripts/wine-run.sh.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(TAMBER_MINGW_PREFIX i686-w64-mingw32)
set(CMAKE_C_COMPILER ${TAMBER_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TAMBER_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TAMBER_MINGW_PREFIX}-windres)
set(CMAKE_OBJDUMP ${TAMBER_MINGW_PREFIX}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${TAMBER_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

get_filename_component(_tamber_root "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR "${_tamber_root}/scripts/wine-run.sh")
