// A safety check in front of libsmf. The library trusts the structure of the
// files it reads: a chunk that runs past the end of the file makes it read
// beyond its buffer, a missing or foreign chunk where a track is expected
// makes it write to memory it has already freed, and a track without its
// end-of-track event, running status after a system-exclusive message or an
// empty escape stops the program on one of its assertions. Such files are
// common enough (cut downloads, sloppy writers) that the renderer must say
// what is wrong with them instead.
//
// screenMidiFile walks the file's chunks and every event of its tracks and
// rebuilds the file in the plain form the library reads safely: the header,
// then exactly the tracks the header announces, unknown chunks left out;
// every event with its own status byte; channel messages and tempo changes
// as they were, every other event replaced by an empty meta event at the
// same time, so that no time is lost; an end-of-track event closing each
// track at the time of the original one (or of the last event, where the
// writer left it out). What libsmf makes of the rebuilt file is what it
// would have made of the original, had it read it correctly.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace quorvel::tools {

// The rebuilt file. Throws InputError with the reason (without the file's
// name) when the file cannot be used.
std::vector<unsigned char> screenMidiFile(const unsigned char* data, std::size_t size);

}  // namespace quorvel::tools
