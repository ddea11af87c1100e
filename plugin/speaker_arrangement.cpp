// Creating, releasing and copying speaker arrangements.
//
// An arrangement is one plain block from calloc: the 8-byte header followed by
// exactly numChannels speaker records of 112 bytes, released with free. A
// negative count, or one whose block size does not fit size_t, makes no block:
// allocateArrangement then answers false with the slot null, as when memory
// runs out.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "plugin/audio_effect_x.h"

namespace quorvel {

namespace {

// Block size for count speakers, or 0 when there is no such block.
std::size_t arrangementBytes(std::int32_t count) {
    if (count < 0) return 0;
    const auto n = static_cast<std::size_t>(count);
    if (n > (SIZE_MAX - kSpeakerArrangementHeaderSize) / sizeof(VstSpeakerProperties)) return 0;
    return kSpeakerArrangementHeaderSize + n * sizeof(VstSpeakerProperties);
}

// Speaker i of an arrangement. The record declares room for eight speakers
// only; allocated blocks hold numChannels of them, so the address is formed
// from the start of the speaker area rather than by indexing the declared array.
VstSpeakerProperties* speakerAt(VstSpeakerArrangement* arrangement, std::int32_t i) {
    return reinterpret_cast<VstSpeakerProperties*>(reinterpret_cast<unsigned char*>(arrangement) +
                                                   kSpeakerArrangementHeaderSize) +
           i;
}

}  // namespace

bool AudioEffectX::allocateArrangement(VstSpeakerArrangement** arrangement, std::int32_t nbChannels) {
    if (!arrangement) return false;
    if (*arrangement) {
        std::free(*arrangement);
        *arrangement = nullptr;
    }
    const std::size_t bytes = arrangementBytes(nbChannels);
    if (bytes == 0) return false;
    // calloc zero-fills: type 0 and every speaker record all zero.
    auto* block = static_cast<VstSpeakerArrangement*>(std::calloc(1, bytes));
    if (!block) return false;
    block->numChannels = nbChannels;
    *arrangement = block;
    return true;
}

bool AudioEffectX::deallocateArrangement(VstSpeakerArrangement** arrangement) {
    if (arrangement && *arrangement) {
        std::free(*arrangement);
        *arrangement = nullptr;
    }
    return true;
}

bool AudioEffectX::copySpeaker(VstSpeakerProperties* to, VstSpeakerProperties* from) {
    if (!to || !from) return false;
    // The name: at most 63 characters, zeros after them; byte 63 always zero.
    std::int32_t n = 0;
    for (; n < kVstMaxNameLen - 1 && from->name[n] != 0; ++n) to->name[n] = from->name[n];
    for (; n < kVstMaxNameLen; ++n) to->name[n] = 0;
    to->type = from->type;
    to->azimuth = from->azimuth;
    to->elevation = from->elevation;
    to->radius = from->radius;
    to->reserved = from->reserved;
    std::memcpy(to->future, from->future, sizeof(to->future));
    return true;
}

bool AudioEffectX::matchArrangement(VstSpeakerArrangement** to, VstSpeakerArrangement* from) {
    if (!from) return false;
    if (!deallocateArrangement(to)) return false;
    if (!allocateArrangement(to, from->numChannels)) return false;
    VstSpeakerArrangement* copy = *to;
    if (!copy) return false;  // only a replaced allocateArrangement could leave the slot empty
    copy->type = from->type;
    for (std::int32_t i = 0; i < copy->numChannels; ++i)
        if (!copySpeaker(speakerAt(copy, i), speakerAt(from, i))) return false;
    return true;
}

}  // namespace quorvel
