#!/usr/bin/env bash
# The instrument inside a real music host: Ardour 7, headless, with its dummy
# audio backend (no display, sound card or audio server).
#
#  1. Ardour's VST2 scanner indexes the plug-in; what it reports is checked.
#  2. A session gets a MIDI track with the instrument; a small Lua processor
#     before it plays tests/ardour/phrase.txt at exact sample positions while
#     the instrument's output is recorded onto an audio track in real time.
#     quorvel-render renders the same phrase from a MIDI file; the take must
#     be bit-identical to the rendering, starting at the same sample. Nothing
#     on Ardour's path changes a sample: the fader at 0 dB and the stereo
#     panner at its centre apply a gain of exactly 1 and the take is stored
#     as 32-bit float. Ardour runs blocks of 1024 samples, the renderer blocks
#     of 256; the instrument applies every event at its own sample, so the
#     block boundaries must not show.
#  3. Parameters set in a session come back after it is saved and reopened.
#  4. The same for the LV2 bundle, found by Ardour's LV2 scan through
#     LV2_PATH: Ardour lists it as an instrument with its eight ports, its
#     take of the phrase is bit-identical to the renderer's file (and so to
#     the VST 2.4 take), and the eight port values come back exactly after
#     saving and reopening a session.
#
# Usage: scripts/test-ardour.sh [PLUGIN]   (default build/release/quorvel.so)
# QUORVEL_BUILD_DIR names the build with the renderer and the test helpers
# (default build/release). Everything Ardour writes goes to a temporary
# folder, kept when the stage fails or QUORVEL_KEEP_ARDOUR is set.
set -euo pipefail
cd "$(dirname "$0")/.."
started=$SECONDS
build=${QUORVEL_BUILD_DIR:-build/release}
plugin=$(realpath -e "${1:-build/release/quorvel.so}")
bundle=$(realpath -e "${QUORVEL_LV2_BUNDLE:-$build/lib/lv2/quorvel.lv2}")
render=$build/tools/quorvel-render
phrase_tool=$build/tests/ardour/ardour_phrase
compare=$build/tests/ardour/ardour_compare
for program in "$render" "$phrase_tool" "$compare"; do
  [ -x "$program" ] || { echo "ardour stage: $program is missing; build $build first" >&2; exit 1; }
done

if ! bash scripts/apt-install.sh ardour || ! command -v ardour7-lua >/dev/null; then
  echo "SKIP ardour stage: Ardour 7 cannot be installed on this machine (apt-get install ardour failed)"
  [ -z "${QUORVEL_SKIP_LOG:-}" ] || echo "ardour: Ardour 7 not installable" >>"$QUORVEL_SKIP_LOG"
  exit 0
fi

work=$(mktemp -d /tmp/quorvel-ardour.XXXXXX)
tidy_up() {
  local status=$?
  if [ $status -eq 0 ] && [ -z "${QUORVEL_KEEP_ARDOUR:-}" ]; then
    rm -rf "$work"
  else
    echo "ardour stage: files kept in $work" >&2
  fi
}
trap tidy_up EXIT

# Ardour sees only this folder: its configuration, caches and plug-in path.
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_CACHE_HOME=$work/home/.cache \
  XDG_DATA_HOME=$work/home/.local/share LXVST_PATH=$work/vst
unset VST_PATH LV2_PATH VST3_PATH
mkdir -p "$HOME" "$LXVST_PATH" "$XDG_CONFIG_HOME/ardour7/scripts"
ardour_lua() { timeout -k 10 120 ardour7-lua "$@"; }

fail() { echo "FAIL: $*" >&2; exit 1; }

# Compares the "report: " lines of a log with the expected ones.
check_report() {
  local log=$1 expected=$2 what=$3
  if ! diff <(printf '%s\n' "$expected") <(sed -n 's/^report: //p' "$log"); then
    echo "--- Ardour's output:" >&2
    cat "$log" >&2
    fail "$what (differences above: < expected, > Ardour)"
  fi
}

echo "--- scanning the plug-in with Ardour's VST2 scanner"
# Ardour trusts a scan only when the cache file is newer than the plug-in, in
# whole seconds; a copy dated a minute back makes a fresh build usable at once.
cp "$plugin" "$LXVST_PATH/quorvel.so"
touch -d '-1 minute' "$LXVST_PATH/quorvel.so"
LD_LIBRARY_PATH=/usr/lib/ardour7 timeout -k 10 60 /usr/lib/ardour7/ardour-vst-scanner -f -v \
  "$LXVST_PATH/quorvel.so" >"$work/scan.log" 2>&1 ||
  { cat "$work/scan.log" >&2; fail "the scanner rejects the plug-in"; }
shopt -s nullglob
caches=("$XDG_CACHE_HOME"/ardour7/vst/*.v2i)
[ ${#caches[@]} -eq 1 ] || { cat "$work/scan.log" >&2; fail "the scanner wrote ${#caches[@]} cache files, expected 1"; }
for fact in 'id="1803187255"' 'name="brightmoor - quorvel"' 'creator="Talvo"' 'category="Instrument"' \
  'n_inputs="0"' 'n_outputs="2"' 'n_midi_inputs="1"' 'n_midi_outputs="0"' 'is_instrument="1"' \
  'can_process_replace="1"' 'has_editor="0"'; do
  grep -qF "$fact" "${caches[0]}" || { cat "${caches[0]}" >&2; fail "the scanner's index lacks $fact"; }
done
grep -o '<VST2Info [^>]*' "${caches[0]}"

echo "--- recording the phrase in Ardour"
rate=48000
settings=("Detune=0.75" "Pulse width=0.125")
"$phrase_tool" tests/ardour/phrase.txt --rate $rate --midi "$work/phrase.mid" --lua "$work/phrase.lua"
sed -e "/-- @PHRASE@/r $work/phrase.lua" -e '/-- @PHRASE@/d' tests/ardour/phrase_player.lua \
  >"$XDG_CONFIG_HOME/ardour7/scripts/quorvel_test_phrase.lua"
# Stop a quarter of a second after the phrase's last message.
stop=$(($(awk -F'[{,]' 'END { print $2 }' "$work/phrase.lua") + rate / 4))
ardour_lua tests/ardour/record_phrase.lua "$work/take" $rate 1024 $stop "${settings[@]}" >"$work/record.log" 2>&1 ||
  { cat "$work/record.log" >&2; fail "the recording session failed"; }
grep -q '^record_phrase.lua: done' "$work/record.log" ||
  { cat "$work/record.log" >&2; fail "the recording session did not finish"; }
check_report "$work/record.log" "engine rate=$rate block=1024
plugin name=brightmoor - quorvel
plugin maker=Talvo
plugin unique_id=1803187255 (0x6B7A7437)
plugin category=Instrument instrument=true
plugin audio_inputs=0 audio_outputs=2 midi_inputs=1
instance name=brightmoor - quorvel maker=Talvo unique_id=1803187255 parameters=8
param 0 Pulse width range=0..1
param 1 Phase reset range=0..1
param 2 Detune range=0..1
param 3 Note cut range=0..1
param 4 Velocity target range=0..1
param 5 Modulation speed range=0..1
param 6 Modulation depth range=0..1
param 7 Output gain range=0..1
recorded regions=1" "Ardour's view of the plug-in or the recording"
sed -n 's/^report: //p' "$work/record.log"
left=("$work"/take/interchange/*/audiofiles/*%L.wav)
right=("$work"/take/interchange/*/audiofiles/*%R.wav)
if [ ${#left[@]} -ne 1 ] || [ ${#right[@]} -ne 1 ]; then fail "expected one recorded take of two channels"; fi

echo "--- rendering the phrase with quorvel-render and comparing"
render_args=()
for s in "${settings[@]}"; do render_args+=(-s "$s"); done
"$render" "$work/phrase.mid" -o "$work/render.wav" -p "$plugin" -r $rate -b 256 -t 0.1 "${render_args[@]}" >/dev/null
# Both start from silence; the take must begin on the same sample as the
# rendering (the capture starts at the session's sample 0, where the MIDI file
# starts) and match it bit for bit, and stay silent after the phrase.
"$compare" --reference "$work/render.wav" --take "${left[0]}" --take "${right[0]}" --expect-offset 0 ||
  fail "Ardour's take differs from quorvel-render's output"

echo "--- parameters across saving and reopening a session"
recall=("Pulse width=0.3" "Phase reset=0" "Note cut=0.5" "Velocity target=0.75" "Output gain=0.9")
ardour_lua tests/ardour/parameter_recall.lua save "$work/recall" "${recall[@]}" >"$work/save.log" 2>&1 ||
  { cat "$work/save.log" >&2; fail "the parameter session could not be saved"; }
ardour_lua tests/ardour/parameter_recall.lua check "$work/recall" >"$work/check.log" 2>&1 ||
  { cat "$work/check.log" >&2; fail "the saved session could not be reopened"; }
for mode in save check; do
  grep -q "^parameter_recall.lua: $mode done" "$work/$mode.log" ||
    { cat "$work/$mode.log" >&2; fail "the parameter session ($mode) did not finish"; }
done
values="plugin brightmoor - quorvel with 8 parameters
Pulse width = 0.300000012
Phase reset = 0
Detune = 0.5
Note cut = 0.5
Velocity target = 0.75
Modulation speed = 0.5
Modulation depth = 0.25
Output gain = 0.899999976"
check_report "$work/save.log" "save: ${values//$'\n'/$'\n'save: }" "parameters as set in the session"
check_report "$work/check.log" "check: ${values//$'\n'/$'\n'check: }" "parameters after reopening the session"
sed -n 's/^report: check: //p' "$work/check.log"

echo "--- the LV2 bundle: recording the same phrase in Ardour"
mkdir -p "$work/lv2"
cp -r "$bundle" "$work/lv2/quorvel.lv2"
export LV2_PATH=$work/lv2:/usr/lib/lv2 QUORVEL_ARDOUR_LV2=urn:quorvel:quorvel
ardour_lua tests/ardour/record_phrase.lua "$work/take-lv2" $rate 1024 $stop "${settings[@]}" >"$work/record-lv2.log" 2>&1 ||
  { cat "$work/record-lv2.log" >&2; fail "the LV2 recording session failed"; }
grep -q '^record_phrase.lua: done' "$work/record-lv2.log" ||
  { cat "$work/record-lv2.log" >&2; fail "the LV2 recording session did not finish"; }
check_report "$work/record-lv2.log" "engine rate=$rate block=1024
plugin name=Quorvel
plugin maker=Talvo
plugin unique_id=urn:quorvel:quorvel
plugin category=Instrument Plugin instrument=true
plugin audio_inputs=0 audio_outputs=2 midi_inputs=1
instance name=Quorvel maker=Talvo unique_id=urn:quorvel:quorvel parameters=8
param 0 Pulse width range=0..1
param 1 Phase reset range=0..1
param 2 Detune range=0..1
param 3 Note cut range=0..1
param 4 Velocity target range=0..1
param 5 Modulation speed range=0..1
param 6 Modulation depth range=0..1
param 7 Output gain range=0..1
recorded regions=1" "Ardour's view of the LV2 instrument or the recording"
sed -n 's/^report: //p' "$work/record-lv2.log"
left=("$work"/take-lv2/interchange/*/audiofiles/*%L.wav)
right=("$work"/take-lv2/interchange/*/audiofiles/*%R.wav)
if [ ${#left[@]} -ne 1 ] || [ ${#right[@]} -ne 1 ]; then fail "expected one recorded LV2 take of two channels"; fi
"$compare" --reference "$work/render.wav" --take "${left[0]}" --take "${right[0]}" --expect-offset 0 ||
  fail "Ardour's LV2 take differs from quorvel-render's output (and so from the VST 2.4 take)"

echo "--- the LV2 bundle: port values across saving and reopening a session"
ardour_lua tests/ardour/parameter_recall.lua save "$work/recall-lv2" "${recall[@]}" >"$work/save-lv2.log" 2>&1 ||
  { cat "$work/save-lv2.log" >&2; fail "the LV2 parameter session could not be saved"; }
ardour_lua tests/ardour/parameter_recall.lua check "$work/recall-lv2" >"$work/check-lv2.log" 2>&1 ||
  { cat "$work/check-lv2.log" >&2; fail "the saved LV2 session could not be reopened"; }
for mode in save check; do
  grep -q "^parameter_recall.lua: $mode done" "$work/$mode-lv2.log" ||
    { cat "$work/$mode-lv2.log" >&2; fail "the LV2 parameter session ($mode) did not finish"; }
done
values=${values/#plugin brightmoor - quorvel with/plugin Quorvel with}
check_report "$work/save-lv2.log" "save: ${values//$'\n'/$'\n'save: }" "LV2 port values as set in the session"
check_report "$work/check-lv2.log" "check: ${values//$'\n'/$'\n'check: }" "LV2 port values after reopening the session"
sed -n 's/^report: check: //p' "$work/check-lv2.log"

echo "ardour stage passed in $((SECONDS - started)) s"
