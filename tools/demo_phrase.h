// The phrase the renderer plays when it is given no MIDI file.
#pragma once

#include "tools/performance.h"

namespace quorvel::tools {

// Six bars at 120 beats per minute that show the instrument off: chords on
// several voices, detune, vibrato from the modulation wheel, a pitch bend
// after a bend-range change, velocity driving the pulse width, and note cut.
Performance demoPerformance(int sampleRate);

}  // namespace quorvel::tools
