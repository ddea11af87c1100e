// The record a host and a plug-in share, the host callback type, the effect
// flags and the opcodes in both directions. Every declaration here is part of
// the binary interface: offsets are checked at compile time below.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#define QV_CALL __cdecl
#else
#define QV_CALL
#endif

namespace quorvel {

struct AEffect;

// Host callback: (effect, opcode, index, value, ptr, opt) -> pointer-sized integer.
using audioMasterCallback = std::intptr_t(QV_CALL*)(AEffect* effect, std::int32_t opcode, std::int32_t index,
                                                    std::intptr_t value, void* ptr, float opt);

using AEffectDispatcherProc = std::intptr_t(QV_CALL*)(AEffect* effect, std::int32_t opcode, std::int32_t index,
                                                      std::intptr_t value, void* ptr, float opt);
using AEffectProcessProc = void(QV_CALL*)(AEffect* effect, float** inputs, float** outputs, std::int32_t sampleFrames);
using AEffectProcessDoubleProc = void(QV_CALL*)(AEffect* effect, double** inputs, double** outputs,
                                                std::int32_t sampleFrames);
using AEffectSetParameterProc = void(QV_CALL*)(AEffect* effect, std::int32_t index, float value);
using AEffectGetParameterProc = float(QV_CALL*)(AEffect* effect, std::int32_t index);

// 'V','s','t','P' packed most significant first.
constexpr std::int32_t kEffectMagic = 0x56737450;

struct AEffect {
    std::int32_t magic;
    AEffectDispatcherProc dispatcher;
    AEffectProcessProc process;  // accumulating process, deprecated
    AEffectSetParameterProc setParameter;
    AEffectGetParameterProc getParameter;
    std::int32_t numPrograms;
    std::int32_t numParams;
    std::int32_t numInputs;
    std::int32_t numOutputs;
    std::int32_t flags;
    std::intptr_t resvd1;
    std::intptr_t resvd2;
    std::int32_t initialDelay;
    std::int32_t realQualities;  // deprecated
    std::int32_t offQualities;   // deprecated
    float ioRatio;               // deprecated
    void* object;
    void* user;
    std::int32_t uniqueID;
    std::int32_t version;
    AEffectProcessProc processReplacing;
    AEffectProcessDoubleProc processDoubleReplacing;
    char future[56];
};

// Layout checks. With 4-byte pointers the record is the classic 144 bytes;
// with 8-byte pointers every pointer-sized field widens and aligns to 8.
namespace aeffect_layout {
constexpr bool p4 = sizeof(void*) == 4;
constexpr std::size_t P = sizeof(void*);
static_assert(P == 4 || P == 8, "unsupported pointer width");
static_assert(sizeof(std::intptr_t) == P && sizeof(AEffectProcessProc) == P, "pointer-sized fields");
static_assert(offsetof(AEffect, magic) == 0, "magic");
static_assert(offsetof(AEffect, dispatcher) == (p4 ? 4 : 8), "dispatcher");
static_assert(offsetof(AEffect, process) == (p4 ? 8 : 16), "process");
static_assert(offsetof(AEffect, setParameter) == (p4 ? 12 : 24), "setParameter");
static_assert(offsetof(AEffect, getParameter) == (p4 ? 16 : 32), "getParameter");
static_assert(offsetof(AEffect, numPrograms) == (p4 ? 20 : 40), "numPrograms");
static_assert(offsetof(AEffect, numParams) == (p4 ? 24 : 44), "numParams");
static_assert(offsetof(AEffect, numInputs) == (p4 ? 28 : 48), "numInputs");
static_assert(offsetof(AEffect, numOutputs) == (p4 ? 32 : 52), "numOutputs");
static_assert(offsetof(AEffect, flags) == (p4 ? 36 : 56), "flags");
static_assert(offsetof(AEffect, resvd1) == (p4 ? 40 : 64), "resvd1");
static_assert(offsetof(AEffect, resvd2) == (p4 ? 44 : 72), "resvd2");
static_assert(offsetof(AEffect, initialDelay) == (p4 ? 48 : 80), "initialDelay");
static_assert(offsetof(AEffect, realQualities) == (p4 ? 52 : 84), "realQualities");
static_assert(offsetof(AEffect, offQualities) == (p4 ? 56 : 88), "offQualities");
static_assert(offsetof(AEffect, ioRatio) == (p4 ? 60 : 92), "ioRatio");
static_assert(offsetof(AEffect, object) == (p4 ? 64 : 96), "object");
static_assert(offsetof(AEffect, user) == (p4 ? 68 : 104), "user");
static_assert(offsetof(AEffect, uniqueID) == (p4 ? 72 : 112), "uniqueID");
static_assert(offsetof(AEffect, version) == (p4 ? 76 : 116), "version");
static_assert(offsetof(AEffect, processReplacing) == (p4 ? 80 : 120), "processReplacing");
static_assert(offsetof(AEffect, processDoubleReplacing) == (p4 ? 84 : 128), "processDoubleReplacing");
static_assert(offsetof(AEffect, future) == (p4 ? 88 : 136), "future");
static_assert(sizeof(AEffect) == (p4 ? 144 : 192), "record size");
}  // namespace aeffect_layout

// Bits of AEffect::flags.
enum : std::int32_t {
    effFlagsHasEditor = 1 << 0,
    effFlagsHasClip = 1 << 1,
    effFlagsHasVu = 1 << 2,
    effFlagsCanMono = 1 << 3,
    effFlagsCanReplacing = 1 << 4,
    effFlagsProgramChunks = 1 << 5,
    effFlagsIsSynth = 1 << 8,
    effFlagsNoSoundInStop = 1 << 9,
    effFlagsExtIsAsync = 1 << 10,
    effFlagsExtHasBuffer = 1 << 11,
    effFlagsCanDoubleReplacing = 1 << 12,
};

// Plug-in categories answered to effGetPlugCategory.
enum : std::int32_t {
    kPlugCategUnknown = 0,
    kPlugCategEffect = 1,
    kPlugCategSynth = 2,
};

// Requests a host sends through AEffect::dispatcher.
enum : std::int32_t {
    effOpen = 0,
    effClose = 1,
    effSetProgram = 2,
    effGetProgram = 3,
    effSetProgramName = 4,
    effGetProgramName = 5,
    effGetParamLabel = 6,
    effGetParamDisplay = 7,
    effGetParamName = 8,
    effGetVu = 9,
    effSetSampleRate = 10,
    effSetBlockSize = 11,
    effMainsChanged = 12,
    effEditGetRect = 13,
    effEditOpen = 14,
    effEditClose = 15,
    effEditDraw = 16,
    effEditMouse = 17,
    effEditKey = 18,
    effEditIdle = 19,
    effEditTop = 20,
    effEditSleep = 21,
    effIdentify = 22,
    effGetChunk = 23,
    effSetChunk = 24,
    effProcessEvents = 25,
    effCanBeAutomated = 26,
    effString2Parameter = 27,
    effGetNumProgramCategories = 28,
    effGetProgramNameIndexed = 29,
    effCopyProgram = 30,
    effConnectInput = 31,
    effConnectOutput = 32,
    effGetInputProperties = 33,
    effGetOutputProperties = 34,
    effGetPlugCategory = 35,
    effGetCurrentPosition = 36,
    effGetDestinationBuffer = 37,
    effOfflineNotify = 38,
    effOfflinePrepare = 39,
    effOfflineRun = 40,
    effProcessVarIo = 41,
    effSetSpeakerArrangement = 42,
    effSetBlockSizeAndSampleRate = 43,
    effSetBypass = 44,
    effGetEffectName = 45,
    effGetErrorText = 46,
    effGetVendorString = 47,
    effGetProductString = 48,
    effGetVendorVersion = 49,
    effVendorSpecific = 50,
    effCanDo = 51,
    effGetTailSize = 52,
    effIdle = 53,
    effGetIcon = 54,
    effSetViewPosition = 55,
    effGetParameterProperties = 56,
    effKeysRequired = 57,
    effGetVstVersion = 58,
    effEditKeyDown = 59,
    effEditKeyUp = 60,
    effSetEditKnobMode = 61,
    effGetMidiProgramName = 62,
    effGetCurrentMidiProgram = 63,
    effGetMidiProgramCategory = 64,
    effHasMidiProgramsChanged = 65,
    effGetMidiKeyName = 66,
    effBeginSetProgram = 67,
    effEndSetProgram = 68,
    effGetSpeakerArrangement = 69,
    effShellGetNextPlugin = 70,
    effStartProcess = 71,
    effStopProcess = 72,
    effSetTotalSampleToProcess = 73,
    effSetPanLaw = 74,
    effBeginLoadBank = 75,
    effBeginLoadProgram = 76,
    effSetProcessPrecision = 77,
    effGetNumMidiInputChannels = 78,
    effGetNumMidiOutputChannels = 79,
};

// Requests a plug-in sends through the host callback.
enum : std::int32_t {
    audioMasterAutomate = 0,
    audioMasterVersion = 1,
    audioMasterCurrentId = 2,
    audioMasterIdle = 3,
    audioMasterPinConnected = 4,
    audioMasterWantMidi = 6,
    audioMasterGetTime = 7,
    audioMasterProcessEvents = 8,
    audioMasterTempoAt = 10,
    audioMasterGetNumAutomatableParameters = 11,
    audioMasterGetParameterQuantization = 12,
    audioMasterIOChanged = 13,
    audioMasterNeedIdle = 14,
    audioMasterSizeWindow = 15,
    audioMasterGetSampleRate = 16,
    audioMasterGetBlockSize = 17,
    audioMasterGetInputLatency = 18,
    audioMasterGetOutputLatency = 19,
    audioMasterGetPreviousPlug = 20,
    audioMasterGetNextPlug = 21,
    audioMasterWillReplaceOrAccumulate = 22,
    audioMasterGetCurrentProcessLevel = 23,
    audioMasterGetAutomationState = 24,
    audioMasterOfflineStart = 25,
    audioMasterOfflineRead = 26,
    audioMasterOfflineWrite = 27,
    audioMasterOfflineGetCurrentPass = 28,
    audioMasterOfflineGetCurrentMetaPass = 29,
    audioMasterSetOutputSampleRate = 30,
    audioMasterGetOutputSpeakerArrangement = 31,
    audioMasterGetVendorString = 32,
    audioMasterGetProductString = 33,
    audioMasterGetVendorVersion = 34,
    audioMasterVendorSpecific = 35,
    audioMasterCanDo = 37,
    audioMasterGetLanguage = 38,
    audioMasterOpenWindow = 39,
    audioMasterCloseWindow = 40,
    audioMasterGetDirectory = 41,
    audioMasterUpdateDisplay = 42,
    audioMasterBeginEdit = 43,
    audioMasterEndEdit = 44,
    audioMasterOpenFileSelector = 45,
    audioMasterCloseFileSelector = 46,
    audioMasterGetChunkFile = 48,
    audioMasterGetInputSpeakerArrangement = 49,
};

}  // namespace quorvel
