# `cmake --install` puts the renderer and its manual page into a fresh
# prefix; the page formats without a warning, documents every long option
# the program's --help lists, and names the version --version prints.
#
# cmake -DBUILD_DIR=... -DPREFIX=... -DGROFF=... -P install_check.cmake
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND ${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${PREFIX}"
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install failed:\n${out}${err}")
endif()
set(program "${PREFIX}/bin/quorvel-render")
set(page "${PREFIX}/share/man/man1/quorvel-render.1")
foreach(installed "${program}" "${page}")
  if(NOT EXISTS "${installed}")
    message(FATAL_ERROR "nothing at ${installed}; the install said:\n${out}")
  endif()
endforeach()

execute_process(COMMAND "${GROFF}" -man -ww -z -Tutf8 "${page}" RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0 OR NOT "${out}${err}" STREQUAL "")
  message(FATAL_ERROR "groff -ww finds fault with the manual page (${rc}):\n${out}${err}")
endif()

file(READ "${page}" text)
execute_process(COMMAND "${program}" --help RESULT_VARIABLE rc OUTPUT_VARIABLE help)
string(REGEX MATCHALL "--[a-z]+" options "${help}")
list(REMOVE_DUPLICATES options)
foreach(option IN LISTS options)
  string(REPLACE "-" "\\\\-" written "${option}")
  if(NOT text MATCHES "${written}")
    message(FATAL_ERROR "the manual page does not describe ${option}")
  endif()
endforeach()

string(REGEX MATCH "\n\\.TH [^\n]*\"quorvel ([0-9.]+)\"" th "\n${text}")
execute_process(COMMAND "${program}" --version RESULT_VARIABLE rc OUTPUT_VARIABLE version)
if(NOT version STREQUAL "quorvel-render ${CMAKE_MATCH_1}\n")
  message(FATAL_ERROR "--version prints '${version}', the manual page is of version '${CMAKE_MATCH_1}'")
endif()
list(LENGTH options count)
message(STATUS "renderer and manual page installed; ${count} options documented; ${version}")
