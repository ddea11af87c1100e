#!/usr/bin/env bash
# The cross targets: Linux x86 (-m32), Windows x64 and Windows x86 (mingw-w64,
# tests run under wine). Each is built with its test suite and tested; the
# Linux x86 renderer must render bit-identically to the Linux x86-64 one.
#
#   QUORVEL_CROSS_TARGETS   targets to build (default: "linux-x86 mingw-x64 mingw-x86")
#   QUORVEL_CROSS_ROOT      where the build trees go (default: build; trees are <root>/cross-<target>)
#   QUORVEL_REFERENCE_BUILD Linux x86-64 build tree with the renderer (default: build/release,
#                           built here when it has no renderer yet)
#   QUORVEL_WINDOWS_DEPS    where scripts/windows-deps.sh put the renderer's Windows libraries
#                           (default: build/windows-deps); when they are there, the Windows
#                           renderers are built too and must match the Linux x86-64 renders
set -euo pipefail
cd "$(dirname "$0")/.."
started=$SECONDS
targets=${QUORVEL_CROSS_TARGETS:-"linux-x86 mingw-x64 mingw-x86"}
root=$(mkdir -p "${QUORVEL_CROSS_ROOT:-build}" && cd "${QUORVEL_CROSS_ROOT:-build}" && pwd)
reference=${QUORVEL_REFERENCE_BUILD:-build/release}
windeps=$(cd "${QUORVEL_WINDOWS_DEPS:-build/windows-deps}" 2>/dev/null && pwd || echo "")
jobs=$(nproc)
[ "$jobs" -gt 2 ] && jobs=2

wants() { [[ " $targets " == *" $1 "* ]]; }
# The Windows renderer of a mingw target can be built when its libraries are there.
windows_renderer() { [ -n "$windeps" ] && [ -f "$windeps/${1#mingw-}/lib/pkgconfig/sndfile.pc" ]; }
renders=false
for target in $targets; do
    if [ "$target" = linux-x86 ] || windows_renderer "$target"; then renders=true; fi
done
elapsed() { echo "$((SECONDS - started)) s"; }

# --- packages -------------------------------------------------------------
bash scripts/cross-deps.sh $targets
echo "cross: packages ready after $(elapsed)"

# --- the Linux x86-64 reference renderer ------------------------------------
if $renders; then
    if [ ! -x "$reference/tools/quorvel-render" ] || [ ! -x "$reference/tests/ardour/ardour_phrase" ]; then
        bash scripts/deps.sh
        cmake -S . -B "$reference" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
        cmake --build "$reference" -j"$jobs" --target quorvel quorvel-render ardour_phrase
    fi
    reference=$(cd "$reference" && pwd)
fi

# --- can this kernel run 32-bit x86 programs? ---------------------------------
# Some kernels are built without IA-32 emulation: there a 32-bit program fails
# with "Exec format error", natively and under wine alike. The 32-bit targets
# are then still built and their binaries checked (exports, imports, no x87
# code), but their test programs cannot run.
x86_runs=true
printf 'int main(void) { return 0; }\n' >"$root/x86-probe.c"
if ! gcc -m32 "$root/x86-probe.c" -o "$root/x86-probe" || ! "$root/x86-probe" 2>/dev/null; then
    x86_runs=false
    echo "cross: this kernel cannot run 32-bit x86 programs; the linux-x86 and mingw-x86 test programs are not run"
    [ -z "${QUORVEL_SKIP_LOG:-}" ] ||
        echo "cross: 32-bit programs not runnable (linux-x86 and mingw-x86 built and checked, their tests not run)" \
            >>"$QUORVEL_SKIP_LOG"
fi
runs_here() { $x86_runs || [ "$1" = mingw-x64 ]; }

# --- wine --------------------------------------------------------------------
# One prefix inside the build folder for both Windows targets. The server and
# wine's system processes are started here, detached from every pipe, before
# CTest runs anything: started by a test they would hold its output open.
# Without 32-bit support wine's 64-bit loader is called directly (the wine
# command would choose the 32-bit one, which cannot start).
if wants mingw-x64 || wants mingw-x86; then
    export WINEPREFIX="$root/cross-wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    if ! $x86_runs; then export QUORVEL_WINE=/usr/lib/wine/wine64 WINELOADER=/usr/lib/wine/wine64; fi
    mkdir -p "$WINEPREFIX"
    wineserver -p </dev/null >/dev/null 2>&1 || true
    trap 'wineserver -k </dev/null >/dev/null 2>&1 || true' EXIT
    "${QUORVEL_WINE:-wine}" wineboot -i </dev/null >/dev/null 2>&1
    echo "cross: wine prefix ready after $(elapsed)"
fi

# --- build and test each target ---------------------------------------------
summary=()
for target in $targets; do
    dir="$root/cross-$target"
    options=(-DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/toolchains/$target.cmake" -DCMAKE_BUILD_TYPE=Release
             -DQUORVEL_BUILD_BENCH=OFF)
    case $target in
        linux-x86)
            options+=(-DQUORVEL_BUILD_TOOLS=ON -DQUORVEL_REFERENCE_BUILD="$reference")
            # Test programs that cannot run cannot list their tests at build
            # time either: register each as one test, as for Windows.
            runs_here "$target" ||
                options+=(-DCMAKE_MODULE_PATH="$PWD/cmake/toolchains/modules" -DQUORVEL_WHOLE_BINARY_TESTS=ON) ;;
        *)
            if windows_renderer "$target"; then
                options+=(-DQUORVEL_BUILD_TOOLS=ON -DQUORVEL_MINGW_PREFIX="$windeps/${target#mingw-}"
                          -DQUORVEL_REFERENCE_BUILD="$reference")
            else
                options+=(-DQUORVEL_BUILD_TOOLS=OFF)
                [ -z "${QUORVEL_SKIP_LOG:-}" ] ||
                    echo "cross: $target renderer not built (no libraries from scripts/windows-deps.sh)" \
                        >>"$QUORVEL_SKIP_LOG"
            fi ;;
    esac
    echo "=== cross: $target"
    cmake -S . -B "$dir" "${options[@]}" >/dev/null
    cmake --build "$dir" -j"$jobs"
    if ! runs_here "$target"; then
        ctest --test-dir "$dir" --output-on-failure -R '^plugin_binary$' | tee "$dir/ctest.log"
        summary+=("$target: built; binary checked; its test programs cannot run on this kernel")
        continue
    fi
    ctest --test-dir "$dir" --output-on-failure -j"$jobs" | tee "$dir/ctest.log"
    # GoogleTest's own count of the cases run, summed over the binaries.
    cases=$(grep -hoE '^\[==========\] [0-9]+ tests? from .* ran' "$dir/Testing/Temporary/LastTest.log" |
            awk '{n += $2} END {print n + 0}')
    ctests=$(grep -oE 'tests passed, 0 tests failed out of [0-9]+' "$dir/ctest.log" | awk '{print $NF}')
    summary+=("$target: $ctests CTest tests passed, $cases GoogleTest cases, done after $(elapsed)")
done

echo "=== cross summary"
printf '%s\n' "${summary[@]}"
echo "cross: all targets passed in $(elapsed)"
