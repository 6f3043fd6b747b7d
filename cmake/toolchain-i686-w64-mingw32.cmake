# Cross-compiles the 32-bit Windows build (quillon.exe as specified, its
# tests and tools) with MinGW-w64 for x86. The posix threading flavour gives
# the C++ library std::mutex and friends (GoogleTest needs them); everything
# is linked statically. Test executables run under 32-bit Wine through
# scripts/wine-run.sh.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TAMBER_MINGW_PREFIX i686-w64-mingw32)
set(TAMBER_WINE_ARCH win32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
