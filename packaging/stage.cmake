# Runs in CPack on its staging folder, before each package is made
# (CPACK_PRE_BUILD_SCRIPTS). Every file and folder gets the release's time
# (SOURCE_DATE_EPOCH), so that archives do not depend on when they were
# built; with a signing certificate (sign.sh) every program is signed
# first, so that the zip and the installer carry the signed one.
set(stage "${CPACK_TEMPORARY_DIRECTORY}")
if(NOT IS_DIRECTORY "${stage}")
  message(FATAL_ERROR "stage.cmake: CPack's staging folder '${stage}' does not exist")
endif()
file(GLOB_RECURSE programs "${stage}/*.exe")
foreach(program IN LISTS programs)
  execute_process(COMMAND "${CPACK_TAMBER_SIGN}" "${program}" RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "stage.cmake: signing ${program} failed (its output is above)")
  endif()
endforeach()
if(NOT "$ENV{SOURCE_DATE_EPOCH}" MATCHES "^[0-9]+$")
  message(FATAL_ERROR "stage.cmake: SOURCE_DATE_EPOCH must be set to the release's time in seconds: '$ENV{SOURCE_DATE_EPOCH}'")
endif()
execute_process(COMMAND find "${stage}" -exec touch -h -d "@$ENV{SOURCE_DATE_EPOCH}" {} +
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "stage.cmake: could not set the file times in ${stage}")
endif()
