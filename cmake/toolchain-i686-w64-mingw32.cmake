# Cross-compiles the 32-bit Windows build (quillon.exe, its tests and
# tools) with MinGW-w64 for x86: the target system and processor, the tool
# prefix, and 32-bit Wine for the test executables (through
# scripts/wine-run.sh). mingw-common.cmake picks the compilers of the posix
# threading flavour, whose C++ library has std::mutex and friends (GoogleTest
# needs them); cmake/tamber.cmake links everything statically.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TAMBER_MINGW_PREFIX i686-w64-mingw32)
set(TAMBER_WINE_ARCH win32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
