#!/usr/bin/env bash
# Installs what the cross targets need, for the targets named (linux-x86,
# mingw-x64, mingw-x86; default all three):
#   linux-x86   g++-multilib; the i386 builds of libsndfile and GLib; libsmf's
#               i386 packages unpacked into <deps>/i386 (they are not
#               multi-arch, so installing them would remove the amd64 ones)
#   mingw-*     Debian's mingw-w64 compilers (posix threads) and wine; for
#               mingw-x86 also wine32, without which wine runs 32-bit
#               programs as silent no-ops
# <deps> is QUORVEL_CROSS_DEPS (default build/cross-deps). The i386 packages
# need the i386 architecture, which is added (with an apt-get update) once.
set -euo pipefail
cd "$(dirname "$0")/.."
targets=${*:-"linux-x86 mingw-x64 mingw-x86"}
deps=${QUORVEL_CROSS_DEPS:-build/cross-deps}
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
wants() { [[ " $targets " == *" $1 "* ]]; }

packages=()
i386=()
if wants linux-x86; then
    packages+=(g++-multilib pkg-config libcli11-dev)
    i386+=(libsndfile1-dev:i386 libglib2.0-dev:i386)
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

if wants linux-x86; then
    root="$deps/i386"
    pc="$root/usr/lib/i386-linux-gnu/pkgconfig/smf.pc"
    if [ ! -f "$pc" ]; then
        mkdir -p "$deps/debs"
        chmod 777 "$deps/debs"  # apt downloads as its own unprivileged user
        (cd "$deps/debs" && apt-get download -qq libsmf0:i386 libsmf-dev:i386)
        for deb in "$deps"/debs/libsmf*_i386.deb; do dpkg-deb -x "$deb" "$root"; done
        sed -i "s|^prefix=.*|prefix=$(cd "$root" && pwd)/usr|" "$pc"
    fi
fi
