#include "synth/quorvel.h"

#include <cstring>
#include <new>

Quorvel::Quorvel(audioMasterCallback audioMaster)
    : AudioEffectX(audioMaster, kNumPrograms, kParamCount),
      kernelPath(preferredKernel()),
      kernel(&voiceKernel(kernelPath)) {
    cEffect.flags |= effFlagsCanReplacing | effFlagsIsSynth;
    cEffect.numInputs = kNumInputs;
    cEffect.numOutputs = kNumOutputs;
    cEffect.uniqueID = kUniqueId;
    std::memset(programName, 0, sizeof(programName));
    std::strcpy(programName, kDefaultProgramName);
}

Quorvel::~Quorvel() = default;

bool Quorvel::useKernel(KernelPath path) {
    if (!kernelAvailable(path)) return false;
    kernelPath = path;
    kernel = &voiceKernel(path);
    return true;
}

AEffect* createQuorvelEffect(audioMasterCallback audioMaster) {
    if (!audioMaster) return nullptr;  // no host to ask: nothing to create
    if (audioMaster(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) return nullptr;
    Quorvel* effect = new (std::nothrow) Quorvel(audioMaster);
    return effect ? effect->getAeffect() : nullptr;
}
