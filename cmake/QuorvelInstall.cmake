# Where `cmake --install` puts the plug-in: a folder that hosts scan.
#
#   system install (default):  <prefix>/lib/vst        e.g. /usr/local/lib/vst
#   user install:              ~/.vst                  -DQUORVEL_USER_INSTALL=ON
#   anywhere else:             -DQUORVEL_VST_DIR=/path (absolute, or relative to the prefix)
#
# The prefix may also be given at install time (cmake --install build --prefix P);
# DESTDIR is honoured as usual. The install says where the plug-in went.
option(QUORVEL_USER_INSTALL "Install the plug-ins into ~/.vst and ~/.lv2 rather than <prefix>/lib/vst and <prefix>/lib/lv2" OFF)
set(QUORVEL_VST_DIR "" CACHE STRING "Folder the plug-in is installed into (overrides QUORVEL_USER_INSTALL)")

if(QUORVEL_VST_DIR)
  set(quorvel_vst_dir "${QUORVEL_VST_DIR}")
elseif(QUORVEL_USER_INSTALL)
  if(NOT DEFINED ENV{HOME} OR "$ENV{HOME}" STREQUAL "")
    message(FATAL_ERROR "QUORVEL_USER_INSTALL needs HOME to be set")
  endif()
  set(quorvel_vst_dir "$ENV{HOME}/.vst")
else()
  set(quorvel_vst_dir "lib/vst")
endif()

install(TARGETS quorvel LIBRARY DESTINATION "${quorvel_vst_dir}" RUNTIME DESTINATION "${quorvel_vst_dir}")

# The folder as installed: relative destinations follow the install-time prefix.
if(IS_ABSOLUTE "${quorvel_vst_dir}")
  set(quorvel_vst_shown "${quorvel_vst_dir}")
else()
  set(quorvel_vst_shown "\${CMAKE_INSTALL_PREFIX}/${quorvel_vst_dir}")
endif()
install(CODE "message(STATUS \"Quorvel plug-in installed into \$ENV{DESTDIR}${quorvel_vst_shown}/$<TARGET_FILE_NAME:quorvel>\")")
if(NOT WIN32)
  install(CODE "message(STATUS \"Hosts that do not scan that folder find it through LXVST_PATH or VST_PATH, e.g. LXVST_PATH=${quorvel_vst_shown}\")")
endif()

# The LV2 bundle goes beside it, as a folder quorvel.lv2 in the folder LV2
# hosts scan:
#
#   system install (default):  <prefix>/lib/lv2        e.g. /usr/local/lib/lv2
#   user install:              ~/.lv2                  -DQUORVEL_USER_INSTALL=ON
#   anywhere else:             -DQUORVEL_LV2_DIR=/path (absolute, or relative to the prefix)
if(TARGET quorvel_lv2)
  set(QUORVEL_LV2_DIR "" CACHE STRING "Folder the LV2 bundle is installed into (overrides QUORVEL_USER_INSTALL)")
  if(QUORVEL_LV2_DIR)
    set(quorvel_lv2_dir "${QUORVEL_LV2_DIR}")
  elseif(QUORVEL_USER_INSTALL)
    set(quorvel_lv2_dir "$ENV{HOME}/.lv2")
  else()
    set(quorvel_lv2_dir "lib/lv2")
  endif()
  install(TARGETS quorvel_lv2 LIBRARY DESTINATION "${quorvel_lv2_dir}/quorvel.lv2")
  install(FILES ${CMAKE_SOURCE_DIR}/lv2/manifest.ttl ${CMAKE_SOURCE_DIR}/lv2/quorvel.ttl
    DESTINATION "${quorvel_lv2_dir}/quorvel.lv2")
  if(IS_ABSOLUTE "${quorvel_lv2_dir}")
    set(quorvel_lv2_shown "${quorvel_lv2_dir}")
  else()
    set(quorvel_lv2_shown "\${CMAKE_INSTALL_PREFIX}/${quorvel_lv2_dir}")
  endif()
  install(CODE "message(STATUS \"Quorvel LV2 bundle installed into \$ENV{DESTDIR}${quorvel_lv2_shown}/quorvel.lv2\")")
  install(CODE "message(STATUS \"Hosts that do not scan that folder find it through LV2_PATH, e.g. LV2_PATH=${quorvel_lv2_shown}:~/.lv2:/usr/local/lib/lv2:/usr/lib/lv2\")")
endif()
