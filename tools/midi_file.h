// Standard MIDI files (formats 0 and 1) read into a Performance: all tracks
// and channels merged, every channel message placed at its sample through
// the file's tempo map.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "tools/performance.h"

namespace quorvel::tools {

// Throws InputError with a message naming the file when it cannot be read or
// is not a usable MIDI file.
Performance loadMidiFile(const std::string& path, int sampleRate);
Performance parseMidi(const void* data, std::size_t size, int sampleRate, const std::string& name);

// The sample nearest to a time given as `numerator / denominator` seconds.
std::int64_t framesAt(std::int64_t numerator, std::int64_t denominator, int sampleRate);

}  // namespace quorvel::tools
