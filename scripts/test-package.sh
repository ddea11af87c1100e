#!/usr/bin/env bash
# The Debian package as a user meets it. Made with CPack from the release
# build (built first if missing): its file list and metadata checked,
# lintian (no error; no warning beyond those the README explains), installed
# with apt, the demo rendered by the installed renderer through the installed
# VST 2.4 plug-in and LV2 bundle (each byte-identical to the build tree's
# render), then removed, leaving nothing of it behind. The plug-in libraries
# must also load on the distributions the README promises: no glibc symbol
# version above kGlibc, nothing beyond the C and C++ runtime.
set -euo pipefail
cd "$(dirname "$0")/.."
kGlibc=2.29
allowedWarnings="maintscript-calls-ldconfig"
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
bash scripts/apt-install.sh lintian dpkg-dev binutils
build=${QUORVEL_BUILD:-build/release}
if [ ! -x "$build/tools/quorvel-render" ]; then
  bash scripts/deps.sh
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$build" -j"$(nproc)"
fi
build=$(cd "$build" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "package: $*" >&2; exit 1; }

# --- the plug-in libraries' needs -------------------------------------------
lv2lib=$(find "$build/lib/lv2/quorvel.lv2" -maxdepth 1 -name '*.so' 2>/dev/null | head -n1 || true)
for lib in "$build/quorvel.so" $lv2lib; do
  newest=$(objdump -T "$lib" | grep -oE 'GLIBC_[0-9.]+' | sed 's/GLIBC_//' | sort -V | tail -n1)
  [ "$(printf '%s\n%s\n' "$newest" "$kGlibc" | sort -V | tail -n1)" = "$kGlibc" ] ||
    fail "$(basename "$lib") needs glibc $newest, newer than the $kGlibc the README promises"
  needed=$(objdump -p "$lib" | awk '/NEEDED/ {print $2}' | sort | tr '\n' ' ')
  for n in $needed; do
    case $n in libc.so.6 | libm.so.6 | libstdc++.so.6 | libgcc_s.so.1 | ld-linux*) ;;
      *) fail "$(basename "$lib") needs $n, beyond the C and C++ runtime" ;;
    esac
  done
  echo "package: $(basename "$lib") needs glibc $newest at most, libraries: $needed"
done

# --- the package ----------------------------------------------------------
version=$(sed -n 's/^project(quorvel VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
deb="$build/quorvel_${version}_$(dpkg --print-architecture).deb"
rm -f "$deb"
(cd "$build" && cpack -G DEB >/dev/null)
[ -f "$deb" ] || fail "cpack made no $deb"

dpkg-deb -c "$deb" | awk '{print $6}' | grep -v '/$' | sed 's|^\./||' | sort >"$work/files"
expected="usr/bin/quorvel-render usr/lib/vst/quorvel.so usr/share/doc/quorvel/README.md.gz
usr/share/doc/quorvel/changelog.gz usr/share/doc/quorvel/copyright usr/share/man/man1/quorvel-render.1.gz"
for f in $expected; do grep -qx "$f" "$work/files" || fail "$f missing from the package"; done
if [ -n "$lv2lib" ]; then
  for f in manifest.ttl "$(basename "$lv2lib")"; do
    grep -qx "usr/lib/lv2/quorvel.lv2/$f" "$work/files" || fail "usr/lib/lv2/quorvel.lv2/$f missing from the package"
  done
fi
extra=$(grep -v -x -F "$(printf '%s\n' $expected)" "$work/files" | grep -v '^usr/lib/lv2/quorvel.lv2/' || true)
[ -z "$extra" ] || fail "unexpected files in the package: $extra"
for field in "Package: quorvel" "Version: $version" "Section: sound" "Maintainer: "; do
  dpkg-deb -f "$deb" | grep -q "^$field" || fail "control field '$field' missing"
done
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libc6 libstdc++6 libsndfile1; do
  [[ "$depends" == *"$lib"* ]] || fail "Depends ($depends) lacks $lib"
done
echo "package: $(basename "$deb"), $(wc -l <"$work/files") files; Depends: $depends"

lintian --allow-root "$deb" >"$work/lintian" 2>&1 || true
cat "$work/lintian"
! grep -q '^E:' "$work/lintian" || fail "lintian reports errors"
while read -r kind _ tag _; do
  [ "$kind" = "W:" ] || continue
  [[ " $allowedWarnings " == *" $tag "* ]] || fail "lintian warning $tag is not explained in the README"
done <"$work/lintian"

# --- installed, used, removed --------------------------------------------
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get -o DPkg::Lock::Timeout=900 remove --purge -y -qq quorvel >/dev/null 2>&1 || true
$SUDO apt-get -o DPkg::Lock::Timeout=900 install -y -qq "$deb" >/dev/null
dpkg -L quorvel | sort >"$work/installed"
"$build/tools/quorvel-render" -o "$work/tree.wav" >/dev/null 2>&1
/usr/bin/quorvel-render -p /usr/lib/vst/quorvel.so -o "$work/vst.wav" >/dev/null 2>&1
cmp "$work/tree.wav" "$work/vst.wav" || fail "the installed renderer and VST 2.4 plug-in render the demo differently"
if [ -n "$lv2lib" ]; then
  /usr/bin/quorvel-render -p /usr/lib/lv2/quorvel.lv2 -o "$work/lv2.wav" >/dev/null 2>&1
  cmp "$work/tree.wav" "$work/lv2.wav" || fail "the installed LV2 bundle renders the demo differently"
fi
echo "package: installed; the demo through the installed plug-ins matches the build tree's, byte for byte"

$SUDO apt-get -o DPkg::Lock::Timeout=900 remove --purge -y -qq quorvel >/dev/null
! dpkg -s quorvel >/dev/null 2>&1 || fail "quorvel still installed after removal"
while read -r path; do
  case $path in /. | /usr | /usr/bin | /usr/lib | /usr/lib/vst | /usr/lib/lv2 | /usr/share | /usr/share/doc | /usr/share/man | /usr/share/man/man1) continue ;; esac
  [ ! -e "$path" ] || fail "$path left behind after removal"
done <"$work/installed"
echo "package: removed, nothing left"
