#!/usr/bin/env bash
# Builds the release and packs one archive per platform into dist/:
#   quorvel-<version>-linux-x86_64.tar.gz   quorvel.so, quorvel.lv2/, quorvel-render, README.md, LICENSE
#   quorvel-<version>-linux-x86.tar.gz      the same, 32-bit
#   quorvel-<version>-windows-x64.zip       quorvel.dll, quorvel-render.exe, README.md, LICENSE
#   quorvel-<version>-windows-x86.zip       the same, 32-bit
#   quorvel_<version>_<arch>.deb            the Debian package (with linux-x86_64)
#   SHA256SUMS                              the checksums of everything above
# The Windows renderer needs its libraries built by scripts/windows-deps.sh
# (Debian has no Windows build of libsndfile); without it the
# Windows archives carry the plug-in and the README only, and say so.
#
#   bash scripts/release.sh [PLATFORM...]   (default: all four)
# Build trees: <root>/release-<platform>, root QUORVEL_RELEASE_ROOT (default build);
# binaries are stripped in the archive.
set -euo pipefail
cd "$(dirname "$0")/.."
platforms=${*:-"linux-x86_64 linux-x86 windows-x64 windows-x86"}
jobs=$(nproc)
[ "$jobs" -gt 2 ] && jobs=2
version=$(sed -n 's/^project(quorvel VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
dist="$PWD/dist"
windeps=$(mkdir -p "${QUORVEL_WINDOWS_DEPS:-build/windows-deps}" && cd "${QUORVEL_WINDOWS_DEPS:-build/windows-deps}" && pwd)
mkdir -p "$dist"

cross=()
for platform in $platforms; do
    case $platform in
        linux-x86_64) ;;
        linux-x86) cross+=(linux-x86) ;;
        windows-x64) cross+=(mingw-x64) ;;
        windows-x86) cross+=(mingw-x86) ;;
        *) echo "release: unknown platform $platform (linux-x86_64, linux-x86, windows-x64, windows-x86)" >&2; exit 2 ;;
    esac
done
[[ " $platforms " == *" linux-x86_64 "* ]] && bash scripts/deps.sh
[ ${#cross[@]} -eq 0 ] || bash scripts/cross-deps.sh "${cross[@]}"

for platform in $platforms; do
    dir="${QUORVEL_RELEASE_ROOT:-build}/release-$platform"
    # No run path into this machine's build folders in what is shipped.
    options=(-DCMAKE_BUILD_TYPE=Release -DQUORVEL_BUILD_TESTS=OFF -DQUORVEL_BUILD_BENCH=OFF -DCMAKE_SKIP_RPATH=ON)
    targets=(quorvel)
    case $platform in
        linux-x86_64) options+=(-DQUORVEL_BUILD_TOOLS=ON); targets=(all) ;;
        linux-x86)
            options+=(-DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/toolchains/linux-x86.cmake" -DQUORVEL_BUILD_TOOLS=ON)
            targets+=(quorvel-render quorvel_lv2) ;;
        windows-*)
            arch=${platform#windows-}
            options+=(-DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/toolchains/mingw-$arch.cmake")
            deps="$windeps/$arch"
            if [ -f "$deps/lib/pkgconfig/sndfile.pc" ]; then
                options+=(-DQUORVEL_BUILD_TOOLS=ON -DQUORVEL_MINGW_PREFIX="$deps")
                targets+=(quorvel-render)
            else
                options+=(-DQUORVEL_BUILD_TOOLS=OFF)
                echo "release: no Windows libraries in $deps (scripts/windows-deps.sh $arch): $platform without renderer"
            fi ;;
    esac
    echo "=== release: $platform"
    cmake -S . -B "$dir" "${options[@]}" >/dev/null
    cmake --build "$dir" -j"$jobs" --target "${targets[@]}"

    name="quorvel-$version-$platform"
    stage="$dir/package/$name"
    rm -rf "$dir/package"
    mkdir -p "$stage"
    strip=$(sed -n 's/^CMAKE_STRIP:FILEPATH=//p' "$dir/CMakeCache.txt")
    case $platform in
        windows-*) cp "$dir/quorvel.dll" "$stage/"
                   [ ! -f "$dir/tools/quorvel-render.exe" ] || cp "$dir/tools/quorvel-render.exe" "$stage/" ;;
        *) cp "$dir/quorvel.so" "$dir/tools/quorvel-render" "$stage/"
           cp -r "$dir/lib/lv2/quorvel.lv2" "$stage/" ;;
    esac
    for binary in "$stage"/quorvel* "$stage"/quorvel.lv2/*.so; do
        [ ! -f "$binary" ] || "$strip" --strip-unneeded "$binary"
    done
    cp README.md LICENSE "$stage/"
    case $platform in
        windows-*) archive="$dist/$name.zip"; pack=(cf "$archive" --format=zip) ;;
        *) archive="$dist/$name.tar.gz"; pack=(cfz "$archive" --format=gnutar) ;;
    esac
    rm -f "$archive"
    (cd "$dir/package" && cmake -E tar "${pack[@]}" "$name")
    echo "release: $archive"
    if [ "$platform" = linux-x86_64 ]; then
        (cd "$dir" && cpack -G DEB -B "$dist" >/dev/null)
        rm -rf "$dist/_CPack_Packages"
        echo "release: $(ls "$dist"/quorvel_"$version"_*.deb)"
    fi
done

# Checksums of everything this version made (sha256sum -c SHA256SUMS checks them).
(cd "$dist" && sha256sum quorvel-"$version"-* quorvel_"$version"_*.deb 2>/dev/null >SHA256SUMS || true)
echo "release: $dist/SHA256SUMS"
