# tamber_applet_library(<target> <source>... [INCOMPLETE])
#
# Builds a game library against sdk/tamber_applet.h. The library exports
# exactly the entry points its sources define, under the names the host looks
# up, and nothing else; the entry points are those of the table in
# tamber_applet.h (TAMBER_APPLET_ENTRY_POINTS), read from the header itself.
#
# Before the library is linked, the defined entry points are read from its
# object files with nm:
#   - a library that lacks a required entry point (applet_load,
#     applet_get_balance, applet_receive_packet) fails to build, since the
#     host would refuse it; INCOMPLETE allows it (for libraries that test
#     that refusal);
#   - on 32-bit Windows an entry point whose argument bytes differ from the
#     table's fails to build, and a .def file is written so that the DLL
#     exports the decorated names ("_applet_load@12"), which MinGW would
#     otherwise strip of their leading underscore;
#   - on 64-bit Windows and ELF the SDK header's declarations export the
#     plain names ("applet_load"); every other symbol stays hidden;
#   - on ELF the library finds the shared objects it links against in its
#     own folder (a run path of $ORIGIN), as a DLL finds its own beside it.
#
# The library gets no "lib" prefix: "tblobby" builds tblobby.dll (tblobby.so
# natively, tblobby.wasm for the browser, where it is a WebAssembly side
# module linked against the host at run time).
set(_TAMBER_SDK_DIR "${CMAKE_CURRENT_LIST_DIR}")

# The table, as a list of operation:bytes:required.
file(READ "${_TAMBER_SDK_DIR}/tamber_applet.h" _tamber_header)
string(REGEX MATCHALL "\n *X\\([a-z_0-9]+, [0-9]+, [01]\\)" _tamber_table_lines "${_tamber_header}")
set(TAMBER_APPLET_ENTRY_TABLE "")
foreach(line IN LISTS _tamber_table_lines)
  string(REGEX REPLACE "^\n *X\\(([a-z_0-9]+), ([0-9]+), ([01])\\)$" "\\1:\\2:\\3" entry "${line}")
  list(APPEND TAMBER_APPLET_ENTRY_TABLE "${entry}")
endforeach()
list(LENGTH TAMBER_APPLET_ENTRY_TABLE _tamber_entry_count)
if(NOT _tamber_entry_count EQUAL 26)
  message(FATAL_ERROR "tamber_applet.cmake: read ${_tamber_entry_count} entry points from tamber_applet.h, expected 26")
endif()
set_property(DIRECTORY "${CMAKE_CURRENT_SOURCE_DIR}" APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
  "${_TAMBER_SDK_DIR}/tamber_applet.h")

function(tamber_applet_library target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "INCOMPLETE" "" "")
  set(sources ${arg_UNPARSED_ARGUMENTS})
  if(EMSCRIPTEN)
    # In the browser a game library is a WebAssembly side module,
    # "tblobby.wasm", which the host links at run time: the C runtime it
    # calls is the host's.
    add_executable(${target} ${sources})
    set_target_properties(${target} PROPERTIES SUFFIX ".wasm")
    target_link_options(${target} PRIVATE -sSIDE_MODULE=1)
  else()
    add_library(${target} SHARED ${sources})
  endif()
  target_include_directories(${target} PRIVATE "${_TAMBER_SDK_DIR}")
  set_target_properties(${target} PROPERTIES PREFIX "" C_VISIBILITY_PRESET hidden CXX_VISIBILITY_PRESET hidden)
  if(NOT WIN32 AND NOT EMSCRIPTEN)
    # Shared objects the library links against are looked for in its own
    # folder (the host's store), as Windows looks for a DLL's dependencies
    # in the host's library directory; the library as built is the one
    # published, so no folder of the build machine goes into it.
    set_target_properties(${target} PROPERTIES BUILD_WITH_INSTALL_RPATH ON INSTALL_RPATH "$ORIGIN")
  endif()

  # Every object that goes into the library: its own, and those of object
  # libraries named among its sources.
  set(objects "$<TARGET_OBJECTS:${target}>")
  foreach(source IN LISTS sources)
    if(source MATCHES "^\\$<TARGET_OBJECTS:")
      list(APPEND objects "${source}")
    endif()
  endforeach()

  set(def "")
  if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(def "${CMAKE_CURRENT_BINARY_DIR}/${target}.def")
    target_link_options(${target} PRIVATE "${def}")
  endif()
  if(NOT CMAKE_NM)
    message(FATAL_ERROR "tamber_applet_library(${target}): no nm found to read the entry points with")
  endif()
  add_custom_command(TARGET ${target} PRE_LINK
    COMMAND "${CMAKE_COMMAND}"
      "-DNM=${CMAKE_NM}"
      "-DLIBRARY=${target}"
      "-DTABLE=${TAMBER_APPLET_ENTRY_TABLE}"
      "-DDEF=${def}"
      "-DINCOMPLETE=${arg_INCOMPLETE}"
      "-DOBJECTS=${objects}"
      -P "${_TAMBER_SDK_DIR}/tamber_applet_exports.cmake"
    VERBATIM)
endfunction()
