// PLACEHOLDER: number-to-text helpers are being written; these only keep the build linking.
#include "plugin/audio_effect.h"

void AudioEffect::dB2string(float, char* text, std::int32_t) { text[0] = 0; }
void AudioEffect::Hz2string(float, char* text, std::int32_t) { text[0] = 0; }
void AudioEffect::ms2string(float, char* text, std::int32_t) { text[0] = 0; }
void AudioEffect::float2string(float, char* text, std::int32_t) { text[0] = 0; }
void AudioEffect::int2string(std::int32_t, char* text, std::int32_t) { text[0] = 0; }
