// PLACEHOLDER: speaker-arrangement utilities are being written; these only keep the build linking.
#include "plugin/audio_effect_x.h"

bool AudioEffectX::allocateArrangement(VstSpeakerArrangement**, std::int32_t) { return false; }
bool AudioEffectX::deallocateArrangement(VstSpeakerArrangement**) { return true; }
bool AudioEffectX::copySpeaker(VstSpeakerProperties*, VstSpeakerProperties*) { return false; }
bool AudioEffectX::matchArrangement(VstSpeakerArrangement**, VstSpeakerArrangement*) { return false; }
