# `cmake --install` into a fresh prefix puts the plug-in into <prefix>/lib/vst,
# says so, and the installed copy loads and plays: the loader tests of the
# suite run against it. With LV2=ON the LV2 bundle must be whole in
# <prefix>/lib/lv2/quorvel.lv2, and the install must say so too.
#
# cmake -DBUILD_DIR=... -DPREFIX=... -DFILE_NAME=... -DTEST_BINARY=... [-DEMULATOR=...] [-DLV2=ON] -P install_check.cmake
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND ${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${PREFIX}"
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install failed:\n${out}${err}")
endif()

set(installed "${PREFIX}/lib/vst/${FILE_NAME}")
if(NOT EXISTS "${installed}")
  message(FATAL_ERROR "nothing at ${installed}; the install said:\n${out}")
endif()
string(FIND "${out}" "installed into ${installed}" said)
if(said EQUAL -1)
  message(FATAL_ERROR "the install did not say where the plug-in went:\n${out}")
endif()

if(LV2)
  set(bundle "${PREFIX}/lib/lv2/quorvel.lv2")
  foreach(file manifest.ttl quorvel.ttl quorvel_lv2.so)
    if(NOT EXISTS "${bundle}/${file}")
      message(FATAL_ERROR "no ${file} in ${bundle}; the install said:\n${out}")
    endif()
  endforeach()
  string(FIND "${out}" "installed into ${bundle}" said)
  if(said EQUAL -1)
    message(FATAL_ERROR "the install did not say where the LV2 bundle went:\n${out}")
  endif()
endif()

execute_process(COMMAND ${CMAKE_COMMAND} -E env "QUORVEL_PLUGIN_UNDER_TEST=${installed}"
    ${EMULATOR} "${TEST_BINARY}" --gtest_filter=LoadedPlugin.*
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0 OR NOT out MATCHES "\\[  PASSED  \\] [1-9][0-9]* tests?\\." OR out MATCHES "\\[  FAILED  \\]")
  message(FATAL_ERROR "the installed plug-in did not pass the loader tests:\n${out}${err}")
endif()
string(FIND "${out}" "loaded from ${installed}" loaded)
if(loaded EQUAL -1)
  message(FATAL_ERROR "the loader tests did not load ${installed}:\n${out}")
endif()
message(STATUS "${installed} installed and loaded")
