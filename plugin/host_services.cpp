// Requests the extended layer makes of the host. Each checks for a callback,
// calls it at most once and reads the answer as its row says; without a
// callback it answers a fixed fallback.
#include "plugin/audio_effect_x.h"

namespace quorvel {

namespace {
std::int32_t as32(std::intptr_t v) { return static_cast<std::int32_t>(v); }
}  // namespace

bool AudioEffectX::beginEdit(std::int32_t index) { return audioMaster && callHost(audioMasterBeginEdit, index) != 0; }

bool AudioEffectX::endEdit(std::int32_t index) { return audioMaster && callHost(audioMasterEndEdit, index) != 0; }

bool AudioEffectX::ioChanged() { return audioMaster && callHost(audioMasterIOChanged) != 0; }

double AudioEffectX::updateSampleRate() {
    if (audioMaster) {
        std::intptr_t rate = callHost(audioMasterGetSampleRate);
        if (rate > 0) sampleRate = static_cast<float>(rate);
    }
    return sampleRate;
}

std::int32_t AudioEffectX::updateBlockSize() {
    if (audioMaster) {
        std::intptr_t size = callHost(audioMasterGetBlockSize);
        if (size > 0) blockSize = as32(size);
    }
    return blockSize;
}

std::int32_t AudioEffectX::getInputLatency() { return audioMaster ? as32(callHost(audioMasterGetInputLatency)) : 0; }

std::int32_t AudioEffectX::getOutputLatency() { return audioMaster ? as32(callHost(audioMasterGetOutputLatency)) : 0; }

VstTimeInfo* AudioEffectX::getTimeInfo(std::int32_t filter) {
    if (!audioMaster) return nullptr;
    return reinterpret_cast<VstTimeInfo*>(callHost(audioMasterGetTime, 0, filter));
}

std::int32_t AudioEffectX::getCurrentProcessLevel() {
    return audioMaster ? as32(callHost(audioMasterGetCurrentProcessLevel)) : 0;
}

std::int32_t AudioEffectX::getAutomationState() {
    return audioMaster ? as32(callHost(audioMasterGetAutomationState)) : 0;
}

bool AudioEffectX::getHostVendorString(char* text) {
    return audioMaster && callHost(audioMasterGetVendorString, 0, 0, text) != 0;
}

bool AudioEffectX::getHostProductString(char* text) {
    return audioMaster && callHost(audioMasterGetProductString, 0, 0, text) != 0;
}

std::int32_t AudioEffectX::getHostVendorVersion() {
    return audioMaster ? as32(callHost(audioMasterGetVendorVersion)) : 0;
}

std::intptr_t AudioEffectX::hostVendorSpecific(std::int32_t arg1, std::intptr_t arg2, void* ptrArg, float floatArg) {
    return audioMaster ? callHost(audioMasterVendorSpecific, arg1, arg2, ptrArg, floatArg) : 0;
}

std::int32_t AudioEffectX::canHostDo(char* text) {
    return (audioMaster && callHost(audioMasterCanDo, 0, 0, text) != 0) ? 1 : 0;
}

std::int32_t AudioEffectX::getHostLanguage() { return audioMaster ? as32(callHost(audioMasterGetLanguage)) : 0; }

void* AudioEffectX::getDirectory() {
    return audioMaster ? reinterpret_cast<void*>(callHost(audioMasterGetDirectory)) : nullptr;
}

bool AudioEffectX::updateDisplay() { return audioMaster && callHost(audioMasterUpdateDisplay) != 0; }

bool AudioEffectX::sizeWindow(std::int32_t width, std::int32_t height) {
    return audioMaster && callHost(audioMasterSizeWindow, width, height) != 0;
}

bool AudioEffectX::openFileSelector(VstFileSelect* ptr) {
    return audioMaster && ptr && callHost(audioMasterOpenFileSelector, 0, 0, ptr) != 0;
}

bool AudioEffectX::closeFileSelector(VstFileSelect* ptr) {
    return audioMaster && ptr && callHost(audioMasterCloseFileSelector, 0, 0, ptr) != 0;
}

bool AudioEffectX::offlineRead(VstOfflineTask* offline, std::int32_t option, bool readSource) {
    return audioMaster && callHost(audioMasterOfflineRead, readSource ? 1 : 0, option, offline) != 0;
}

bool AudioEffectX::offlineWrite(VstOfflineTask* offline, std::int32_t option) {
    return audioMaster && callHost(audioMasterOfflineWrite, 0, option, offline) != 0;
}

bool AudioEffectX::offlineStart(VstAudioFile* ptr, std::int32_t numAudioFiles, std::int32_t numNewAudioFiles) {
    return audioMaster && callHost(audioMasterOfflineStart, numNewAudioFiles, numAudioFiles, ptr) != 0;
}

std::int32_t AudioEffectX::offlineGetCurrentPass() {
    return (audioMaster && callHost(audioMasterOfflineGetCurrentPass) != 0) ? 1 : 0;
}

std::int32_t AudioEffectX::offlineGetCurrentMetaPass() {
    return (audioMaster && callHost(audioMasterOfflineGetCurrentMetaPass) != 0) ? 1 : 0;
}

void AudioEffectX::wantEvents(std::int32_t filter) {
    if (audioMaster) callHost(audioMasterWantMidi, 0, filter);
}

std::int32_t AudioEffectX::tempoAt(std::int32_t pos) {
    return audioMaster ? as32(callHost(audioMasterTempoAt, 0, pos)) : 0;
}

std::int32_t AudioEffectX::getNumAutomatableParameters() {
    return audioMaster ? as32(callHost(audioMasterGetNumAutomatableParameters)) : 0;
}

std::int32_t AudioEffectX::getParameterQuantization() {
    return audioMaster ? as32(callHost(audioMasterGetParameterQuantization)) : 0;
}

bool AudioEffectX::needIdle() { return audioMaster && callHost(audioMasterNeedIdle) != 0; }

AEffect* AudioEffectX::getPreviousPlug(std::int32_t /*input*/) {
    return audioMaster ? reinterpret_cast<AEffect*>(callHost(audioMasterGetPreviousPlug)) : nullptr;
}

AEffect* AudioEffectX::getNextPlug(std::int32_t /*output*/) {
    return audioMaster ? reinterpret_cast<AEffect*>(callHost(audioMasterGetNextPlug)) : nullptr;
}

std::int32_t AudioEffectX::willProcessReplacing() {
    return audioMaster ? as32(callHost(audioMasterWillReplaceOrAccumulate)) : 0;
}

void AudioEffectX::setOutputSamplerate(float samplerate) {
    if (audioMaster) callHost(audioMasterSetOutputSampleRate, 0, 0, nullptr, samplerate);
}

VstSpeakerArrangement* AudioEffectX::getInputSpeakerArrangement() {
    if (!audioMaster) return nullptr;
    return reinterpret_cast<VstSpeakerArrangement*>(callHost(audioMasterGetInputSpeakerArrangement));
}

VstSpeakerArrangement* AudioEffectX::getOutputSpeakerArrangement() {
    if (!audioMaster) return nullptr;
    return reinterpret_cast<VstSpeakerArrangement*>(callHost(audioMasterGetOutputSpeakerArrangement));
}

void* AudioEffectX::openWindow(VstWindow* window) {
    return audioMaster ? reinterpret_cast<void*>(callHost(audioMasterOpenWindow, 0, 0, window)) : nullptr;
}

bool AudioEffectX::closeWindow(VstWindow* window) {
    return audioMaster && callHost(audioMasterCloseWindow, 0, 0, window) != 0;
}

bool AudioEffectX::getChunkFile(void* nativePath) {
    return audioMaster && nativePath && callHost(audioMasterGetChunkFile, 0, 0, nativePath) != 0;
}

}  // namespace quorvel
