// Room in the event queue for a host's list of MIDI events; the messages
// themselves are taken by synth/midi_intake.h.
#include <algorithm>
#include <cstddef>

#include "synth/engine.h"

namespace quorvel {

// Room for every event of a list at once, so that the queue grows in one
// step; the order the render loop fires them in grows alongside.
void Engine::prepareForEvents(std::int32_t count) {
    if (count > 0) {
        const std::size_t wanted = eventQueue.size() + static_cast<std::size_t>(count);
        if (wanted > eventQueue.capacity()) eventQueue.reserve(std::max(wanted, 2 * eventQueue.capacity()));
    }
    reserveEventOrder();
}

}  // namespace quorvel
