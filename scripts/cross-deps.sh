#!/usr/bin/env bash
# Installs what the cross targets need, for the targets named (linux-x86,
# mingw-x64, mingw-x86; default all three):
#   linux-x86   g++-multilib; the i386 build of libsndfile
#   mingw-*     Debian's mingw-w64 compilers (posix threads) and wine; for
#               mingw-x86 also wine32, without which wine runs 32-bit
#               programs as silent no-ops
# The i386 packages need the i386 architecture, which is added (with an
# apt-get update) once.
set -euo pipefail
cd "$(dirname "$0")/.."
targets=${*:-"linux-x86 mingw-x64 mingw-x86"}
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
wants() { [[ " $targets " == *" $1 "* ]]; }

packages=()
i386=()
if wants linux-x86; then
    packages+=(g++-multilib pkg-config libcli11-dev)
    i386+=(libsndfile1-dev:i386)
fi
if wants mingw-x64 || wants mingw-x86; then
    packages+=(mingw-w64 wine wine64)
fi
wants mingw-x64 && packages+=(g++-mingw-w64-x86-64-posix)
if wants mingw-x86; then
    packages+=(g++-mingw-w64-i686-posix)
    i386+=(wine32:i386)
fi

[ ${#packages[@]} -eq 0 ] || bash scripts/apt-install.sh "${packages[@]}"
if [ ${#i386[@]} -gt 0 ]; then
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        $SUDO dpkg --add-architecture i386
        $SUDO apt-get -o DPkg::Lock::Timeout=900 update -qq
    fi
    bash scripts/apt-install.sh "${i386[@]}"
fi

