// The engine's construction, its parameter values and its choice of kernel.
#include "synth/engine.h"

namespace quorvel {

Engine::Engine() : kernelPath(preferredKernel()), kernel(&voiceKernel(kernelPath)) {
    for (std::int32_t i = 0; i < kParamCount; ++i) params[i].store(kParamDefaults[i]);
}

bool Engine::setParameter(std::int32_t index, float value) {
    if (!isParamIndex(index)) return false;
    params[index].store(value);
    return true;
}

float Engine::parameter(std::int32_t index) const { return isParamIndex(index) ? params[index].load() : 0.0f; }

bool Engine::useKernel(KernelPath path) {
    if (!kernelAvailable(path)) return false;
    kernelPath = path;
    kernel = &voiceKernel(path);
    return true;
}

}  // namespace quorvel
