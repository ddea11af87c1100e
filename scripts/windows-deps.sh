#!/usr/bin/env bash
# Builds the renderer's one library for Windows, libsndfile (without external
# codecs, so no FLAC output), from Debian's source package with Debian's
# mingw-w64, as a static library. Takes a few minutes per architecture,
# which is why the test stage does not run it; scripts/test-cross.sh and
# scripts/release.sh build the Windows renderer when its result is there.
#
#   bash scripts/windows-deps.sh [x64] [x86]     (default: both)
# Result: build/windows-deps/<arch> (QUORVEL_WINDOWS_DEPS overrides build/windows-deps).
# Needs the deb-src lines of Debian's archive, which it adds when missing.
set -euo pipefail
cd "$(dirname "$0")/.."
here=$PWD
arches=${*:-"x64 x86"}
out=$(mkdir -p "${QUORVEL_WINDOWS_DEPS:-build/windows-deps}" && cd "${QUORVEL_WINDOWS_DEPS:-build/windows-deps}" && pwd)
jobs=$(nproc)
[ "$jobs" -gt 2 ] && jobs=2
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"

packages=(mingw-w64 pkg-config libcli11-dev dpkg-dev xz-utils)
[[ " $arches " == *" x64 "* ]] && packages+=(g++-mingw-w64-x86-64-posix)
[[ " $arches " == *" x86 "* ]] && packages+=(g++-mingw-w64-i686-posix)
bash scripts/apt-install.sh "${packages[@]}"

if ! grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ && ! grep -qs '^deb-src' /etc/apt/sources.list; then
    printf 'Types: deb-src\nURIs: http://deb.debian.org/debian\nSuites: bookworm bookworm-updates\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' |
        $SUDO tee /etc/apt/sources.list.d/quorvel-deb-src.sources >/dev/null
    $SUDO apt-get -o DPkg::Lock::Timeout=900 update -qq
fi

# Debian's source, with Debian's patches applied.
src="$out/src"
mkdir -p "$src"
chmod 777 "$src"  # apt downloads as its own unprivileged user
for package in libsndfile; do
    ls -d "$src/$package"-[0-9]*/ >/dev/null 2>&1 && continue
    (cd "$src" && apt-get source -qq --download-only "$package" >/dev/null 2>&1 || true)
    (cd "$src" && dpkg-source -x "$package"_*.dsc >/dev/null)
done
dir_of() { ls -d "$src/$1"-[0-9]*/ | head -1; }

for arch in $arches; do
    case $arch in
        x64) toolchain=mingw-x64 ;;
        x86) toolchain=mingw-x86 ;;
        *) echo "windows-deps: unknown architecture $arch (x64, x86)" >&2; exit 2 ;;
    esac
    prefix="$out/$arch"
    work="$out/work-$arch"
    [ -f "$prefix/lib/pkgconfig/sndfile.pc" ] && { echo "windows-deps: $prefix is there"; continue; }
    rm -rf "$prefix" "$work"
    mkdir -p "$prefix/lib/pkgconfig" "$prefix/include" "$work"
    cmake_common=(-DCMAKE_TOOLCHAIN_FILE="$here/cmake/toolchains/$toolchain.cmake" -DCMAKE_BUILD_TYPE=Release
                  -DBUILD_SHARED_LIBS=OFF -DCMAKE_INSTALL_PREFIX="$prefix")
    echo "=== windows-deps: $arch"

    cmake -S "$(dir_of libsndfile)" -B "$work/sndfile" "${cmake_common[@]}" -DBUILD_PROGRAMS=OFF -DBUILD_EXAMPLES=OFF \
        -DBUILD_TESTING=OFF -DENABLE_EXTERNAL_LIBS=OFF -DENABLE_MPEG=OFF -DINSTALL_MANPAGES=OFF -DENABLE_CPACK=OFF >/dev/null
    cmake --build "$work/sndfile" -j"$jobs" >/dev/null
    cmake --install "$work/sndfile" >/dev/null

    # CLI11 is header-only; a copy inside the prefix keeps /usr/include out of the Windows build.
    mkdir -p "$prefix/share/cmake"
    cp -r /usr/include/CLI "$prefix/include/"
    cp -r /usr/share/cmake/CLI11 "$prefix/share/cmake/"
    rm -rf "$work"
    echo "windows-deps: $prefix"
done
