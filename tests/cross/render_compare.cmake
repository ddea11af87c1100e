# Renders the same performances with a reference build (Linux x86-64) and with
# this build's renderer and plug-in (natively, as a 32-bit program or under
# wine), and requires the audio files to be identical byte for byte: the
# engine's single-precision arithmetic must give the same bits everywhere.
#
# cmake -DREF_RENDER=... -DREF_PLUGIN=... -DPHRASE_TOOL=... -DPHRASE=...
#       -DRENDER=... -DPLUGIN=... [-DEMULATOR=... -DWINDOWS_PATHS=ON] -DWORK_DIR=... -P render_compare.cmake
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    string(REPLACE ";" " " shown "${ARGN}")
    message(FATAL_ERROR "${shown}\nfailed (${rc}):\n${out}${err}")
  endif()
endfunction()

# The phrase as a MIDI file, written by the reference build's phrase writer.
set(midi "${WORK_DIR}/phrase.mid")
run("${PHRASE_TOOL}" "${PHRASE}" --midi "${midi}" -r 44100)

# Each case: the renderer's arguments besides plug-in and output. The demo
# phrase (no MIDI file) covers the renderer's own parameter changes.
set(cases phrase phrase-settings demo)
set(args_phrase "${midi}")
set(args_phrase-settings "${midi}" --block 97
  --set "Pulse width=0.31" --set "Detune=0.83" --set "Velocity target=0.6" --set "Modulation speed=0.9"
  --set "Modulation depth=1" --set "Note cut=0.02" --set "Output gain=0.7")
set(args_demo --rate 48000)

set(failures "")
foreach(name IN LISTS cases)
  set(parts ${args_${name}})
  set(expected "${WORK_DIR}/${name}-reference.wav")
  set(actual "${WORK_DIR}/${name}.wav")
  run("${REF_RENDER}" ${parts} --plugin "${REF_PLUGIN}" -o "${expected}")
  # Under wine the program gets drive-letter paths (Z: is the Unix root):
  # Windows programs may read a leading / as an option's mark.
  set(target_parts "")
  foreach(part IN LISTS parts)
    if(WINDOWS_PATHS AND part MATCHES "^/")
      set(part "Z:${part}")
    endif()
    list(APPEND target_parts "${part}")
  endforeach()
  set(target_plugin "${PLUGIN}")
  set(target_actual "${actual}")
  if(WINDOWS_PATHS)
    set(target_plugin "Z:${PLUGIN}")
    set(target_actual "Z:${actual}")
  endif()
  run(${EMULATOR} "${RENDER}" ${target_parts} --plugin "${target_plugin}" -o "${target_actual}")
  if(NOT EXISTS "${actual}")
    message(FATAL_ERROR "${RENDER} wrote no ${actual}")
  endif()
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files "${expected}" "${actual}" RESULT_VARIABLE differ)
  file(SIZE "${expected}" size)
  if(differ)
    file(SIZE "${actual}" actual_size)
    string(APPEND failures "${name}: ${actual} (${actual_size} bytes) differs from ${expected} (${size} bytes)\n")
  else()
    message(STATUS "${name}: ${size} bytes, identical")
  endif()
endforeach()
if(failures)
  message(FATAL_ERROR "${failures}")
endif()
