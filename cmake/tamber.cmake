# Project-wide build settings shared by every target.

if(TAMBER_SANITIZE AND NOT WIN32)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 4)
  # SSE2 for the packed pixel loops. Windows only guarantees a 4-byte aligned
  # stack on entry (window procedures, game-library callbacks), so let the
  # compiler realign where vector spills need it.
  add_compile_options(-msse2 -mfpmath=sse -mincoming-stack-boundary=2)
endif()

if(EMSCRIPTEN)
  # WebAssembly SIMD for the packed pixel loops, and bulk memory so that
  # filling and copying the frame's planes are single instructions, in every
  # browser the host supports. The host is a main module that game
  # libraries (side modules) link against at run time: all code is
  # position-independent.
  add_compile_options(-msimd128 -mbulk-memory)
  add_link_options(-mbulk-memory)
  set(CMAKE_POSITION_INDEPENDENT_CODE ON)
  # Debian's Emscripten runs its JavaScript tools with the system's Node.js,
  # which finds Debian's packaged modules (acorn) only through NODE_PATH.
  set(tamber_node_path "/usr/share/nodejs")
  if(DEFINED ENV{NODE_PATH} AND NOT "$ENV{NODE_PATH}" STREQUAL "")
    set(tamber_node_path "$ENV{NODE_PATH}:/usr/share/nodejs")
  endif()
  set_property(GLOBAL PROPERTY RULE_LAUNCH_LINK "${CMAKE_COMMAND} -E env NODE_PATH=${tamber_node_path}")
endif()

if(WIN32)
  # One self-contained executable: no MinGW runtime DLLs beside it.
  add_link_options(-static -static-libgcc -static-libstdc++)
  add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
endif()

# Warnings for the project's own targets (not for third-party code).
function(tamber_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    # GCC 12 warns about overlapping copies inside libstdc++'s own inlined
    # std::string concatenation ("text" + std::string) when optimising
    # (GCC bug 105329): a false alarm that says nothing about our code.
    target_compile_options(${target} PRIVATE -Wno-restrict)
  endif()
  if(TAMBER_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# The release build is reproducible: the same sources and settings give the
# same bytes in any folder, at any time. No build folder in the binaries
# (debug info, assertion texts), no link time in the PE header, archives
# without time stamps or owners, no symbols.
if(TAMBER_RELEASE)
  add_compile_options(-ffile-prefix-map=${PROJECT_SOURCE_DIR}=. -ffile-prefix-map=${PROJECT_BINARY_DIR}=build)
  foreach(lang C CXX)
    set(CMAKE_${lang}_ARCHIVE_CREATE "<CMAKE_AR> qcD <TARGET> <LINK_FLAGS> <OBJECTS>")
    set(CMAKE_${lang}_ARCHIVE_APPEND "<CMAKE_AR> qD <TARGET> <LINK_FLAGS> <OBJECTS>")
    set(CMAKE_${lang}_ARCHIVE_FINISH "<CMAKE_RANLIB> -D <TARGET>")
  endforeach()
  add_link_options(-s)
  if(WIN32)
    add_link_options(-Wl,--no-insert-timestamp)
  else()
    # What Debian builds its own packages with (lintian's hardening checks).
    add_compile_options(-fstack-protector-strong $<$<NOT:$<CONFIG:Debug>>:-D_FORTIFY_SOURCE=2>)
    add_link_options(-Wl,-z,relro -Wl,-z,now)
  endif()
endif()
