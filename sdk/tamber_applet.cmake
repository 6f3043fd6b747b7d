# tamber_applet_library(<target> <source>... ENTRIES <operation>...)
#
# Builds a game library against sdk/tamber_applet.h. ENTRIES lists the
# operations the library defines (load get_balance receive_packet ...).
# For 32-bit MinGW it writes a .def file so that the DLL exports exactly the
# decorated names ("_applet_load@12") and nothing else; elsewhere the plain C
# names are exported and every other symbol stays hidden. The library gets no
# "lib" prefix, so "tblobby" builds tblobby.dll (tblobby.so in a native
# build: rename it to the name the host loads, "tblobby.dll").
set(_TAMBER_SDK_DIR "${CMAKE_CURRENT_LIST_DIR}")

set(_tamber_entry_bytes
  load=12 unload=0 receive_packet=8 update=4 render=16 render2=4
  get_cursor=8 mouse_down=16 mouse_drag=12 mouse_click=16 mouse_wheel=12
  mouse_move=8 mouse_up=12 key_down=4 key_repeat=4 key_up=4 get_balance=0
  set_message=4 io_state=4 on_wm_lobby=0 on_wm_async_select=4 send_packet=8
  on_wm_char=4 set_server_path=4 on_wm_close=0 set_application_type=4)

function(tamber_applet_library target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "ENTRIES")
  set(sources ${arg_UNPARSED_ARGUMENTS})
  if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(def "${CMAKE_CURRENT_BINARY_DIR}/${target}.def")
    set(lines "LIBRARY ${target}.dll\nEXPORTS\n")
    foreach(entry IN LISTS arg_ENTRIES)
      set(bytes "")
      foreach(pair IN LISTS _tamber_entry_bytes)
        if(pair MATCHES "^${entry}=([0-9]+)$")
          set(bytes "${CMAKE_MATCH_1}")
        endif()
      endforeach()
      if(bytes STREQUAL "")
        message(FATAL_ERROR "tamber_applet_library(${target}): unknown entry point '${entry}'")
      endif()
      string(APPEND lines "    _applet_${entry}@${bytes} = applet_${entry}@${bytes}\n")
    endforeach()
    file(CONFIGURE OUTPUT "${def}" CONTENT "${lines}")
    list(APPEND sources "${def}")
  endif()
  add_library(${target} SHARED ${sources})
  target_include_directories(${target} PRIVATE "${_TAMBER_SDK_DIR}")
  set_target_properties(${target} PROPERTIES PREFIX "" C_VISIBILITY_PRESET hidden CXX_VISIBILITY_PRESET hidden)
endfunction()
