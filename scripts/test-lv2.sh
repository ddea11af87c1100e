#!/usr/bin/env bash
# LV2 stage: the bundle of the release build as LV2's own tools and hosts see
# it. Every .ttl parses without a single message (serdi can report an error
# and still exit 0, so its messages are read), lv2_validate finds no error,
# lv2ls and lv2info (with LV2_PATH) list it as an instrument with its eleven
# ports, the library exports lv2_descriptor alone and ldd -r resolves every
# symbol from the system's C and C++ runtime. Any finding fails the stage.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
bash scripts/apt-install.sh lilv-utils serdi sordi binutils
build=${QUORVEL_LV2_BUILD:-build/release}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)" --target quorvel_lv2 >/dev/null
bundle=$(cd "$build/lib/lv2/quorvel.lv2" && pwd)
library=$bundle/quorvel_lv2.so
uri=urn:quorvel:quorvel
fail() {
  echo "lv2: $*" >&2
  exit 1
}

# Turtle: the triples go to /dev/null, any message is a finding.
for ttl in "$bundle"/*.ttl; do
  messages=$(serdi -i turtle -o ntriples "$ttl" 2>&1 >/dev/null) || fail "serdi failed on $ttl: $messages"
  [ -z "$messages" ] || fail "serdi on $ttl: $messages"
  echo "parsed: $(basename "$ttl")"
done

# The LV2 schemas: lv2_validate prints one line per finding and a count.
report=$(lv2_validate "$bundle"/*.ttl 2>&1) || fail "lv2_validate failed: $report"
summary=$(grep -E '^Found [0-9]+ errors' <<<"$report" || true)
echo "lv2_validate: $summary"
if [ "$summary" = "" ] || ! grep -qE '^Found 0 errors' <<<"$summary" || grep -qiE '(^|[^a-z])error:' <<<"$report"; then
  fail "lv2_validate found problems:"$'\n'"$report"
fi

# What a host scanning LV2_PATH sees (the system's vocabulary bundles stay on
# the path: they say what an instrument is).
export LV2_PATH=$(dirname "$bundle"):/usr/lib/lv2
lv2ls | grep -qx "$uri" || fail "lv2ls does not list $uri"
info=$(lv2info "$uri" 2>&1) || fail "lv2info failed: $info"
grep -qE '^[[:space:]]*Class:[[:space:]]+Instrument Plugin$' <<<"$info" || fail "not listed as an instrument:"$'\n'"$info"
# One line per port: index, symbol, name, kinds in alphabetical order.
ports=$(awk '
  function flush() { if (index_ != "") { if (b < a) { t = a; a = b; b = t }; print index_ " " symbol " \"" name "\" " a " " b } }
  /^\tPort [0-9]+:/ { flush(); index_ = $2; sub(":", "", index_); a = ""; b = ""; symbol = ""; name = "" }
  /^\t\tType:/ || /^\t\t +http/ { kind = $NF; sub(/.*#/, "", kind); if (a == "") a = kind; else b = kind }
  /^\t\tSymbol:/ { symbol = $2 }
  /^\t\tName:/ { name = $0; sub(/^\t\tName: +/, "", name) }
  END { flush() }' <<<"$info")
expected='0 midi_in "MIDI in" AtomPort InputPort
1 out_left "Left" AudioPort OutputPort
2 out_right "Right" AudioPort OutputPort
3 pulse_width "Pulse width" ControlPort InputPort
4 phase_reset "Phase reset" ControlPort InputPort
5 detune "Detune" ControlPort InputPort
6 note_cut "Note cut" ControlPort InputPort
7 velocity_target "Velocity target" ControlPort InputPort
8 modulation_speed "Modulation speed" ControlPort InputPort
9 modulation_depth "Modulation depth" ControlPort InputPort
10 output_gain "Output gain" ControlPort InputPort'
[ "$ports" = "$expected" ] || fail "lv2info ports differ:"$'\n'"$(diff <(echo "$expected") <(echo "$ports") || true)"
echo "lv2info: $uri, Instrument Plugin, 11 ports as expected"

# The library: one exported name, every symbol resolved, system runtime only.
exports=$(nm -D --defined-only "$library" | awk '{ print $NF }' | sort | paste -sd ' ')
[ "$exports" = "lv2_descriptor" ] || fail "$library exports: $exports"
linkage=$(ldd -r "$library" 2>&1) || fail "ldd -r failed: $linkage"
! grep -qiE 'undefined symbol|not found' <<<"$linkage" || fail "ldd -r:"$'\n'"$linkage"
others=$(awk '/=>/ { print $1 }' <<<"$linkage" | grep -vE '^(libstdc\+\+|libm|libgcc_s|libc)\.so\.[0-9]+$' || true)
[ -z "$others" ] || fail "$library needs more than the C and C++ runtime: $others"
echo "exports: $exports; ldd -r: clean ($(awk '/=>/ { print $1 }' <<<"$linkage" | paste -sd ' '))"
