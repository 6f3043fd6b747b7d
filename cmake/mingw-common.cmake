# What both MinGW-w64 toolchain files share; they set
# TAMBER_MINGW_PREFIX (the tool prefix) and TAMBER_WINE_ARCH (win32 or
# win64: which Wine runs the programs) before including this.
set(CMAKE_C_COMPILER ${TAMBER_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TAMBER_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TAMBER_MINGW_PREFIX}-windres)
set(CMAKE_OBJDUMP ${TAMBER_MINGW_PREFIX}-objdump)
set(CMAKE_NM ${TAMBER_MINGW_PREFIX}-nm)

set(CMAKE_FIND_ROOT_PATH /usr/${TAMBER_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

get_filename_component(_tamber_root "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR "${_tamber_root}/scripts/wine-run.sh;--arch;${TAMBER_WINE_ARCH}")
