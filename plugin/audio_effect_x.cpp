#include "plugin/audio_effect_x.h"

namespace quorvel {

namespace {
std::intptr_t answer(bool b) { return b ? 1 : 0; }
}  // namespace

std::intptr_t AudioEffectX::dispatcher(std::int32_t opcode, std::int32_t index, std::intptr_t value, void* ptr,
                                       float opt) {
    // The extended requests; everything else, including the deprecated ones in
    // this range, falls through to the basic layer.
    if (static_cast<std::uint32_t>(opcode) - effProcessEvents <= effGetNumMidiOutputChannels - effProcessEvents) {
        auto* text = static_cast<char*>(ptr);
        auto v32 = static_cast<std::int32_t>(value);
        switch (opcode) {
            case effProcessEvents:
                return processEvents(static_cast<VstEvents*>(ptr));
            case effCanBeAutomated:
                return answer(canParameterBeAutomated(index));
            case effString2Parameter:
                return answer(string2parameter(index, text));
            case effGetProgramNameIndexed:
                return answer(getProgramNameIndexed(v32, index, text));
            case effGetInputProperties:
                return answer(getInputProperties(index, static_cast<VstPinProperties*>(ptr)));
            case effGetOutputProperties:
                return answer(getOutputProperties(index, static_cast<VstPinProperties*>(ptr)));
            case effGetPlugCategory:
                return getPlugCategory();
            case effOfflineNotify:
                return answer(offlineNotify(static_cast<VstAudioFile*>(ptr), v32, index != 0));
            case effOfflinePrepare:
                return answer(offlinePrepare(static_cast<VstOfflineTask*>(ptr), v32));
            case effOfflineRun:
                return answer(offlineRun(static_cast<VstOfflineTask*>(ptr), v32));
            case effProcessVarIo:
                return answer(processVariableIo(static_cast<VstVariableIo*>(ptr)));
            case effSetSpeakerArrangement:
                return answer(setSpeakerArrangement(reinterpret_cast<VstSpeakerArrangement*>(value),
                                                    static_cast<VstSpeakerArrangement*>(ptr)));
            case effSetBypass:
                return answer(setBypass(value != 0));
            case effGetEffectName:
                return answer(getEffectName(text));
            case effGetVendorString:
                return answer(getVendorString(text));
            case effGetProductString:
                return answer(getProductString(text));
            case effGetVendorVersion:
                return getVendorVersion();
            case effVendorSpecific:
                return vendorSpecific(index, value, ptr, opt);
            case effCanDo:
                return canDo(text);
            case effGetTailSize:
                return getGetTailSize();
            case effGetParameterProperties:
                return answer(getParameterProperties(index, static_cast<VstParameterProperties*>(ptr)));
            case effGetVstVersion:
                return getVstVersion();
            case effEditKeyDown:
            case effEditKeyUp:
            case effSetEditKnobMode:
                // Editor requests go to an attached editor; there never is one.
                return 0;
            case effGetMidiProgramName:
                return getMidiProgramName(index, static_cast<MidiProgramName*>(ptr));
            case effGetCurrentMidiProgram:
                return getCurrentMidiProgram(index, static_cast<MidiProgramName*>(ptr));
            case effGetMidiProgramCategory:
                return getMidiProgramCategory(index, static_cast<MidiProgramCategory*>(ptr));
            case effHasMidiProgramsChanged:
                return answer(hasMidiProgramsChanged(index));
            case effGetMidiKeyName:
                return answer(getMidiKeyName(index, static_cast<MidiKeyName*>(ptr)));
            case effBeginSetProgram:
                return answer(beginSetProgram());
            case effEndSetProgram:
                return answer(endSetProgram());
            case effGetSpeakerArrangement:
                return answer(getSpeakerArrangement(reinterpret_cast<VstSpeakerArrangement**>(value),
                                                    static_cast<VstSpeakerArrangement**>(ptr)));
            case effShellGetNextPlugin:
                return getNextShellPlugin(text);
            case effStartProcess:
                return startProcess();
            case effStopProcess:
                return stopProcess();
            case effSetTotalSampleToProcess:
                return setTotalSampleToProcess(v32);
            case effSetPanLaw:
                return answer(setPanLaw(v32, opt));
            case effBeginLoadBank:
                return beginLoadBank(static_cast<VstPatchChunkInfo*>(ptr));
            case effBeginLoadProgram:
                return beginLoadProgram(static_cast<VstPatchChunkInfo*>(ptr));
            case effSetProcessPrecision:
                return answer(setProcessPrecision(v32));
            case effGetNumMidiInputChannels:
                return getNumMidiInputChannels();
            case effGetNumMidiOutputChannels:
                return getNumMidiOutputChannels();
            default:
                break;
        }
    }
    return AudioEffect::dispatcher(opcode, index, value, ptr, opt);
}

void AudioEffectX::resume() {
    if (cEffect.flags & effFlagsIsSynth) {
        wantEvents(1);
        return;
    }
    char capability[] = "receiveVstMidiEvent";
    if (canDo(capability) == 1) wantEvents(1);
}

std::int32_t AudioEffectX::getPlugCategory() {
    return (cEffect.flags & effFlagsIsSynth) ? kPlugCategSynth : kPlugCategUnknown;
}

}  // namespace quorvel
