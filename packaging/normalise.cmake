# Runs in CPack after the packages are made (CPACK_POST_BUILD_SCRIPTS): the
# tarball's and the zip's entries sorted by name, with fixed times and
# owners (normalise_archive.py). Installers and .deb files are left as they
# are (the .deb's entries are sorted by CPack already).
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  if(package MATCHES "\\.(tar\\.gz|zip)$")
    execute_process(COMMAND "${CPACK_TAMBER_PYTHON}" "${CPACK_TAMBER_NORMALISE}" "${package}"
      RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
      message(FATAL_ERROR "normalise.cmake: ${package} could not be rewritten (the reason is above)")
    endif()
  endif()
endforeach()
