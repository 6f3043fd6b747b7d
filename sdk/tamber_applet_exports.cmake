# Run by tamber_applet_library before a game library is linked (cmake -P):
# reads the entry points that the library's object files define and checks
# them against the SDK header's table; on 32-bit Windows it also writes the
# .def file that exports them under their decorated names.
#   NM          the nm of the toolchain
#   LIBRARY     the library's name, for messages
#   TABLE       operation:bytes:required for every entry point
#   DEF         the .def file to write, or empty
#   INCOMPLETE  true when a missing required entry point is allowed
#   OBJECTS     the object files (a list)
set(defined "")
foreach(object IN LISTS OBJECTS)
  execute_process(COMMAND "${NM}" --defined-only "${object}"
    OUTPUT_VARIABLE symbols RESULT_VARIABLE failed ERROR_VARIABLE error)
  if(failed)
    message(FATAL_ERROR "${LIBRARY}: ${NM} ${object} failed: ${error}")
  endif()
  # "<address> T <name>": a function. 32-bit Windows names read
  # "_applet_load@12", the others "applet_load".
  string(REGEX MATCHALL "[0-9a-fA-F]+ T _?applet_[a-z_0-9]+(@[0-9]+)?" found "${symbols}")
  foreach(line IN LISTS found)
    string(REGEX REPLACE "^[0-9a-fA-F]+ T _?" "" name "${line}")
    list(APPEND defined "${name}")
  endforeach()
endforeach()

set(exports "")
set(problems "")
foreach(entry IN LISTS TABLE)
  string(REPLACE ":" ";" fields "${entry}")
  list(GET fields 0 operation)
  list(GET fields 1 bytes)
  list(GET fields 2 required)
  set(match "")
  foreach(name IN LISTS defined)
    if(name MATCHES "^applet_${operation}(@([0-9]+))?$")
      set(match "${name}")
      if(CMAKE_MATCH_1 AND NOT CMAKE_MATCH_2 EQUAL bytes)
        list(APPEND problems "applet_${operation} takes ${CMAKE_MATCH_2} bytes of arguments; the interface has ${bytes}")
      endif()
    endif()
  endforeach()
  if(match)
    list(APPEND exports "    _applet_${operation}@${bytes} = applet_${operation}@${bytes}\n")
  elseif(required AND NOT INCOMPLETE)
    list(APPEND problems "it does not define applet_${operation}, which the host requires")
  endif()
endforeach()

if(problems)
  list(JOIN problems "\n  " text)
  message(FATAL_ERROR "game library ${LIBRARY}:\n  ${text}")
endif()
if(DEF)
  list(JOIN exports "" lines)
  file(WRITE "${DEF}" "LIBRARY ${LIBRARY}.dll\nEXPORTS\n${lines}")
endif()
