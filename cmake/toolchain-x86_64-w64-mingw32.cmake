# Cross-compiles the 64-bit Windows build (quillon.exe for 64-bit game
# libraries, its tests and tools) with MinGW-w64 for x86-64. Test
# executables run under 64-bit Wine through scripts/wine-run.sh.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TAMBER_MINGW_PREFIX x86_64-w64-mingw32)
set(TAMBER_WINE_ARCH win64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
