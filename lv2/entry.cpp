// The library's one exported name.
#include "lv2/quorvel_lv2.h"
#include "synth/float_environment.h"

LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(std::uint32_t index) { return quorvel::lv2::descriptor(index); }
