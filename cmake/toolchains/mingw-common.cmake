# Shared part of the two Windows toolchains: Debian's mingw-w64 with the posix
# thread model, everything linked statically so the plug-in and the programs
# need only KERNEL32 and msvcrt, and wine to run the tests.
# Expects QUORVEL_MINGW_TRIPLE to be set by the including file.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${QUORVEL_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUORVEL_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${QUORVEL_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QUORVEL_MINGW_TRIPLE} ${QUORVEL_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Libraries for Windows (the renderer's, from scripts/windows-deps.sh) live in
# QUORVEL_MINGW_PREFIX; pkg-config looks there and in mingw-w64's own tree
# only, never at the build machine's libraries.
# Compiler checks read this file again in nested projects that share the
# process environment: they get the prefix too, so all agree on it.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES QUORVEL_MINGW_PREFIX)
set(ENV{PKG_CONFIG_LIBDIR} "/usr/${QUORVEL_MINGW_TRIPLE}/lib/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")
if(QUORVEL_MINGW_PREFIX)
  set(ENV{PKG_CONFIG_LIBDIR} "${QUORVEL_MINGW_PREFIX}/lib/pkgconfig:/usr/${QUORVEL_MINGW_TRIPLE}/lib/pkgconfig")
  if(EXISTS "${QUORVEL_MINGW_PREFIX}/share/cmake/CLI11")
    set(CLI11_DIR "${QUORVEL_MINGW_PREFIX}/share/cmake/CLI11" CACHE PATH "")
  endif()
endif()

foreach(kind EXE SHARED MODULE)
  set(CMAKE_${kind}_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
endforeach()

# Tests and build-time steps run the Windows programs under wine, in a wine
# prefix of this build tree's own.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
# include(GoogleTest) finds the variant in modules/ that registers each test
# binary as one test checked by its closing line.
list(PREPEND CMAKE_MODULE_PATH ${CMAKE_CURRENT_LIST_DIR}/modules)
