#!/usr/bin/env bash
# Builds the renderer's libraries for Windows from Debian's source packages
# with Debian's mingw-w64, as static libraries: libsndfile (without external
# codecs, so no FLAC output), and libsmf with the part of GLib it needs
# (GLib in turn needs PCRE2, libffi, libintl from gettext, and zlib, which
# Debian ships for mingw). Takes several minutes per architecture, which is
# why the test stage does not run it; scripts/test-cross.sh and
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

packages=(mingw-w64 meson ninja-build pkg-config libz-mingw-w64-dev libcli11-dev dpkg-dev xz-utils)
[[ " $arches " == *" x64 "* ]] && packages+=(g++-mingw-w64-x86-64-posix)
[[ " $arches " == *" x86 "* ]] && packages+=(g++-mingw-w64-i686-posix)
bash scripts/apt-install.sh "${packages[@]}"

if ! grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ && ! grep -qs '^deb-src' /etc/apt/sources.list; then
    printf 'Types: deb-src\nURIs: http://deb.debian.org/debian\nSuites: bookworm bookworm-updates\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' |
        $SUDO tee /etc/apt/sources.list.d/quorvel-deb-src.sources >/dev/null
    $SUDO apt-get -o DPkg::Lock::Timeout=900 update -qq
fi

# Debian's sources. The CMake- and Meson-built ones with Debian's patches
# applied; the autotools-built ones as Debian's original tarballs, since
# patched build files would ask for autotools to regenerate them.
src="$out/src"
mkdir -p "$src"
chmod 777 "$src"  # apt downloads as its own unprivileged user
for package in libsndfile pcre2 glib2.0 libffi gettext libsmf; do
    ls -d "$src/$package"-[0-9]*/ >/dev/null 2>&1 && continue
    (cd "$src" && apt-get source -qq --download-only "$package" >/dev/null 2>&1 || true)
    case $package in
        libsndfile | pcre2 | glib2.0) (cd "$src" && dpkg-source -x "$package"_*.dsc >/dev/null) ;;
        *) (cd "$src" && tar xf "$package"_*.orig.tar.*[!c]) ;;
    esac
done
dir_of() { ls -d "$src/$1"-[0-9]*/ | head -1; }

for arch in $arches; do
    case $arch in
        x64) triple=x86_64-w64-mingw32; cpu=x86_64; toolchain=mingw-x64 ;;
        x86) triple=i686-w64-mingw32; cpu=x86; toolchain=mingw-x86 ;;
        *) echo "windows-deps: unknown architecture $arch (x64, x86)" >&2; exit 2 ;;
    esac
    prefix="$out/$arch"
    work="$out/work-$arch"
    [ -f "$prefix/lib/pkgconfig/smf.pc" ] && { echo "windows-deps: $prefix is there"; continue; }
    rm -rf "$prefix" "$work"
    mkdir -p "$prefix/lib/pkgconfig" "$prefix/include" "$work"
    cc="$triple-gcc-posix"
    export PKG_CONFIG_LIBDIR="$prefix/lib/pkgconfig:/usr/$triple/lib/pkgconfig"
    cmake_common=(-DCMAKE_TOOLCHAIN_FILE="$here/cmake/toolchains/$toolchain.cmake" -DCMAKE_BUILD_TYPE=Release
                  -DBUILD_SHARED_LIBS=OFF -DCMAKE_INSTALL_PREFIX="$prefix")
    echo "=== windows-deps: $arch"

    cmake -S "$(dir_of libsndfile)" -B "$work/sndfile" "${cmake_common[@]}" -DBUILD_PROGRAMS=OFF -DBUILD_EXAMPLES=OFF \
        -DBUILD_TESTING=OFF -DENABLE_EXTERNAL_LIBS=OFF -DENABLE_MPEG=OFF -DINSTALL_MANPAGES=OFF -DENABLE_CPACK=OFF >/dev/null
    cmake --build "$work/sndfile" -j"$jobs" >/dev/null
    cmake --install "$work/sndfile" >/dev/null

    cmake -S "$(dir_of pcre2)" -B "$work/pcre2" "${cmake_common[@]}" -DPCRE2_BUILD_TESTS=OFF -DPCRE2_BUILD_PCRE2GREP=OFF \
        -DPCRE2_SUPPORT_JIT=OFF >/dev/null
    cmake --build "$work/pcre2" -j"$jobs" >/dev/null
    cmake --install "$work/pcre2" >/dev/null

    mkdir -p "$work/ffi" "$work/intl" "$work/smf"
    (cd "$work/ffi" && "$(dir_of libffi)configure" --host="$triple" --prefix="$prefix" --disable-shared --enable-static \
        --disable-docs CC="$cc" >/dev/null 2>&1 && make -j"$jobs" >/dev/null 2>&1 && make install >/dev/null 2>&1)
    (cd "$work/intl" && "$(dir_of gettext)gettext-runtime/configure" --host="$triple" --prefix="$prefix" \
        --disable-shared --enable-static --disable-java --disable-csharp --disable-libasprintf --disable-openmp \
        CC="$cc" >/dev/null 2>&1 && make -C intl -j"$jobs" >/dev/null 2>&1 && make -C intl install >/dev/null 2>&1)

    # GLib: only libglib itself is built and installed.
    cat >"$work/cross.txt" <<EOF
[binaries]
c = '$cc'
cpp = '$triple-g++-posix'
ar = '$triple-ar'
strip = '$triple-strip'
windres = '$triple-windres'
pkgconfig = 'pkg-config'

[properties]
pkg_config_libdir = ['$prefix/lib/pkgconfig', '/usr/$triple/lib/pkgconfig']

[built-in options]
c_args = ['-I$prefix/include']
c_link_args = ['-L$prefix/lib']
cpp_args = ['-I$prefix/include']
cpp_link_args = ['-L$prefix/lib']

[host_machine]
system = 'windows'
cpu_family = '$cpu'
cpu = '$cpu'
endian = 'little'
EOF
    glib=$(dir_of glib2.0)
    meson setup "$work/glib" "$glib" --cross-file "$work/cross.txt" --prefix="$prefix" --wrap-mode=nodownload \
        -Ddefault_library=static -Dtests=false -Dinstalled_tests=false -Dnls=disabled -Dman=false -Dgtk_doc=false \
        -Dlibelf=disabled -Dxattr=false -Dselinux=disabled -Dlibmount=disabled -Dsysprof=disabled >/dev/null
    ninja -C "$work/glib" -j"$jobs" glib/libglib-2.0.a >/dev/null
    mkdir -p "$prefix/include/glib-2.0/glib/deprecated" "$prefix/lib/glib-2.0/include"
    cp "$glib/glib/glib.h" "$prefix/include/glib-2.0/"
    cp "$glib"/glib/*.h "$work"/glib/glib/*.h "$prefix/include/glib-2.0/glib/"
    cp "$glib"/glib/deprecated/*.h "$prefix/include/glib-2.0/glib/deprecated/"
    cp "$work/glib/glib/glibconfig.h" "$prefix/lib/glib-2.0/include/"
    cp "$work/glib/glib/libglib-2.0.a" "$prefix/lib/"
    # A static GLib: its users must say so, and link its system libraries too.
    sed -e 's/^Cflags: .*/& -DGLIB_STATIC_COMPILATION/' \
        -e 's/^Libs: .*/& -lole32 -lshlwapi -luuid/' "$work/glib/meson-private/glib-2.0.pc" >"$prefix/lib/pkgconfig/glib-2.0.pc"

    # libsmf: its configure cannot test malloc(0) when cross-compiling.
    (cd "$work/smf" && "$(dir_of libsmf)configure" --host="$triple" --prefix="$prefix" --disable-shared --enable-static \
        CC="$cc" ac_cv_func_malloc_0_nonnull=yes ac_cv_func_realloc_0_nonnull=yes >/dev/null 2>&1 &&
        make -C src -j"$jobs" libsmf.la >/dev/null 2>&1)
    cp "$work/smf/src/.libs/libsmf.a" "$prefix/lib/"
    cp "$(dir_of libsmf)src/smf.h" "$prefix/include/"
    cp "$work/smf/smf.pc" "$prefix/lib/pkgconfig/"

    # CLI11 is header-only; a copy inside the prefix keeps /usr/include out of the Windows build.
    mkdir -p "$prefix/share/cmake"
    cp -r /usr/include/CLI "$prefix/include/"
    cp -r /usr/share/cmake/CLI11 "$prefix/share/cmake/"
    rm -rf "$work"
    echo "windows-deps: $prefix"
done
