// Loading, the host callback and the host side of every request.
#include "host/plugin.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <new>
#include <thread>
#include <utility>

#include "host/shared_library.h"

namespace quorvel::host {

namespace {

// Answers of the host's own capability queries (audioMasterCanDo). Anything
// else is answered 0, which a plug-in reads as "no".
constexpr const char* kHostCapabilities[] = {
    "sendVstEvents",
    "sendVstMidiEvent",
    "startStopProcess",
};

// Process levels and the automation state, as VST 2.4 numbers them.
constexpr std::intptr_t kProcessLevelUser = 1;
constexpr std::intptr_t kProcessLevelOffline = 4;
constexpr std::intptr_t kAutomationOff = 1;
constexpr std::intptr_t kLanguageEnglish = 1;

// Host texts go into plug-in buffers of this size (vendor and product).
constexpr std::size_t kHostTextCapacity = 64;
// Buffers the kit hands to the plug-in for names and texts. Far larger than
// any plug-in should write; the last byte is forced to zero afterwards.
constexpr std::size_t kTextBufferSize = 256;

// Limits a sane record stays within.
constexpr int kMaxChannels = 256;
constexpr int kMaxParams = 100000;

// Which Plugin answers for which effect record. The callback is a plain
// function, so it finds its host here. During the entry point the record is
// not known yet (the version request even comes with a null effect), so the
// Plugin being opened on this thread answers those calls.
// Guarded by a small spin lock: held only for a look-up in a short list,
// and available on every toolchain (some MinGW builds lack std::mutex).
struct Registry {
    std::atomic_flag busy = ATOMIC_FLAG_INIT;
    std::vector<std::pair<AEffect*, Plugin*>> entries;
};

class RegistryLock {
public:
    explicit RegistryLock(Registry& r) : lockedRegistry(r) {
        while (lockedRegistry.busy.test_and_set(std::memory_order_acquire)) std::this_thread::yield();
    }
    ~RegistryLock() { lockedRegistry.busy.clear(std::memory_order_release); }
    RegistryLock(const RegistryLock&) = delete;
    RegistryLock& operator=(const RegistryLock&) = delete;

private:
    Registry& lockedRegistry;
};

Registry& registry() {
    static Registry instance;
    return instance;
}

thread_local Plugin* openingPlugin = nullptr;

void registerPlugin(AEffect* effect, Plugin* plugin) {
    Registry& r = registry();
    RegistryLock lock(r);
    r.entries.emplace_back(effect, plugin);
}

void unregisterPlugin(AEffect* effect) {
    Registry& r = registry();
    RegistryLock lock(r);
    r.entries.erase(std::remove_if(r.entries.begin(), r.entries.end(),
                                   [effect](const auto& entry) { return entry.first == effect; }),
                    r.entries.end());
}

Plugin* findPlugin(AEffect* effect) {
    if (!effect) return nullptr;
    Registry& r = registry();
    RegistryLock lock(r);
    for (const auto& entry : r.entries)
        if (entry.first == effect) return entry.second;
    return nullptr;
}

std::intptr_t QV_CALL hostCallback(AEffect* effect, std::int32_t opcode, std::int32_t index, std::intptr_t value,
                                   void* ptr, float opt) {
    try {
        Plugin* plugin = findPlugin(effect);
        if (!plugin) plugin = openingPlugin;
        if (plugin) return plugin->answer(effect, opcode, index, value, ptr, opt);
    } catch (...) {
        // Nothing may unwind into the plug-in.
        return 0;
    }
    // A record the kit does not know: say who we are and nothing else.
    return opcode == audioMasterVersion ? 2400 : 0;
}

// Sets the thread's opening plug-in for the duration of the entry call.
class OpeningScope {
public:
    explicit OpeningScope(Plugin* plugin) : previousPlugin(openingPlugin) { openingPlugin = plugin; }
    ~OpeningScope() { openingPlugin = previousPlugin; }
    OpeningScope(const OpeningScope&) = delete;
    OpeningScope& operator=(const OpeningScope&) = delete;

private:
    Plugin* previousPlugin;
};

void copyText(void* destination, const std::string& text, std::size_t capacity) {
    if (!destination || capacity == 0) return;
    const std::size_t length = std::min(text.size(), capacity - 1);
    std::memcpy(destination, text.data(), length);
    static_cast<char*>(destination)[length] = '\0';
}

std::string hex32(std::int32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
    return text;
}

}  // namespace

Plugin::Plugin(const std::string& path, const HostSettings& settings) : libraryPath(path), hostSettings(settings) {
    if (hostSettings.sampleRate <= 0) throw HostError("the sample rate must be positive");
    if (hostSettings.blockSize <= 0) throw HostError("the block size must be positive");

    std::error_code error;
    const std::filesystem::path file(path);
    if (!std::filesystem::exists(file, error)) throw HostError("plug-in not found: " + path);
    if (std::filesystem::is_directory(file, error)) throw HostError("plug-in path is a directory: " + path);
    const std::filesystem::path absolute = std::filesystem::absolute(file, error);
    libraryDirectory = absolute.parent_path().string();

    sharedLibrary = std::make_unique<SharedLibrary>(absolute.string());

    using EntryPoint = AEffect*(QV_CALL*)(audioMasterCallback);
    void* symbol = sharedLibrary->symbol("VSTPluginMain");
    if (!symbol) symbol = sharedLibrary->symbol("main");
    if (!symbol) throw HostError(path + " is not a VST 2.4 plug-in: it exports neither VSTPluginMain nor main");
    const auto entry = reinterpret_cast<EntryPoint>(symbol);

    AEffect* effect = nullptr;
    {
        OpeningScope scope(this);
        effect = entry(&hostCallback);
    }
    if (!effect) throw HostError(path + ": the plug-in's entry point returned no effect record");
    if (effect->magic != kEffectMagic)
        throw HostError(path + ": the plug-in's effect record has the wrong magic number " + hex32(effect->magic) +
                        " (expected " + hex32(kEffectMagic) + ")");
    record = effect;
    try {
        checkRecord();
    } catch (...) {
        if (record->dispatcher) {
            OpeningScope scope(this);
            record->dispatcher(record, effClose, 0, 0, nullptr, 0.0f);
        }
        record = nullptr;
        throw;
    }
    registerPlugin(record, this);

    dispatch(effOpen);
    dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(hostSettings.sampleRate));
    dispatch(effSetBlockSize, 0, hostSettings.blockSize);
}

Plugin::~Plugin() {
    if (record) {
        if (switchedOn) switchOff();
        dispatch(effClose);
        unregisterPlugin(record);
        record = nullptr;
    }
    sharedLibrary.reset();
}

void Plugin::checkRecord() const {
    const AEffect& e = *record;
    std::string problem;
    if (!e.dispatcher)
        problem = "it has no dispatcher";
    else if (!e.processReplacing && !e.process)
        problem = "it has no process function";
    else if (e.numInputs < 0 || e.numInputs > kMaxChannels || e.numOutputs < 0 || e.numOutputs > kMaxChannels)
        problem =
            "it declares " + std::to_string(e.numInputs) + " inputs and " + std::to_string(e.numOutputs) + " outputs";
    else if (e.numParams < 0 || e.numParams > kMaxParams)
        problem = "it declares " + std::to_string(e.numParams) + " parameters";
    else if (e.numParams > 0 && (!e.setParameter || !e.getParameter))
        problem = "it has parameters but no parameter functions";
    else if (e.numPrograms < 0)
        problem = "it declares " + std::to_string(e.numPrograms) + " programs";
    if (!problem.empty()) throw HostError(libraryPath + ": the plug-in's effect record is unusable: " + problem);
}

std::intptr_t Plugin::dispatch(std::int32_t opcode, std::int32_t index, std::intptr_t value, void* ptr,
                               float opt) const {
    return record->dispatcher(record, opcode, index, value, ptr, opt);
}

std::string Plugin::textQuery(std::int32_t opcode, std::int32_t index) const {
    char buffer[kTextBufferSize] = {};
    dispatch(opcode, index, 0, buffer, 0.0f);
    buffer[kTextBufferSize - 1] = '\0';
    return buffer;
}

std::string Plugin::effectName() const { return textQuery(effGetEffectName); }
std::string Plugin::vendorString() const { return textQuery(effGetVendorString); }
std::string Plugin::productString() const { return textQuery(effGetProductString); }
std::string Plugin::programName() const { return textQuery(effGetProgramName); }

std::int32_t Plugin::vendorVersion() const { return static_cast<std::int32_t>(dispatch(effGetVendorVersion)); }
std::int32_t Plugin::vstVersion() const { return static_cast<std::int32_t>(dispatch(effGetVstVersion)); }
std::int32_t Plugin::category() const { return static_cast<std::int32_t>(dispatch(effGetPlugCategory)); }

std::intptr_t Plugin::canDo(const char* capability) const {
    return dispatch(effCanDo, 0, 0, const_cast<char*>(capability), 0.0f);
}

void Plugin::checkParameterIndex(int index) const {
    if (index < 0 || index >= record->numParams)
        throw HostError("parameter index " + std::to_string(index) + " out of range (the plug-in has " +
                        std::to_string(record->numParams) + " parameters)");
}

float Plugin::parameter(int index) const {
    checkParameterIndex(index);
    return record->getParameter(record, index);
}

void Plugin::setParameter(int index, float value) {
    checkParameterIndex(index);
    record->setParameter(record, index, value);
}

std::string Plugin::parameterName(int index) const {
    checkParameterIndex(index);
    return textQuery(effGetParamName, index);
}

std::string Plugin::parameterDisplay(int index) const {
    checkParameterIndex(index);
    return textQuery(effGetParamDisplay, index);
}

std::string Plugin::parameterLabel(int index) const {
    checkParameterIndex(index);
    return textQuery(effGetParamLabel, index);
}

std::pair<float, float> Plugin::parameterRange(int index) const {
    checkParameterIndex(index);
    return {0.0f, 1.0f};
}

void Plugin::setParameter(std::string_view name, float value) {
    const std::optional<int> index = findParameter(name);
    if (!index) throw HostError("unknown parameter \"" + std::string(name) + "\"");
    setParameter(*index, value);
}

void Plugin::switchOn() {
    if (switchedOn) return;
    const std::size_t channels = static_cast<std::size_t>(std::max(1, numInputs()));
    const std::size_t frames = static_cast<std::size_t>(hostSettings.blockSize);
    inputStorage.assign(channels * frames, 0.0f);
    inputPointers.resize(channels);
    for (std::size_t c = 0; c < channels; ++c) inputPointers[c] = inputStorage.data() + c * frames;
    dispatch(effMainsChanged, 0, 1);
    dispatch(effStartProcess);
    switchedOn = true;
}

void Plugin::switchOff() {
    if (!switchedOn) return;
    dispatch(effStopProcess);
    dispatch(effMainsChanged, 0, 0);
    switchedOn = false;
}

void Plugin::process(const MidiEvent* events, std::size_t count, float* const* outputs, int frames) {
    checkBlock(events, count, frames);
    if (!switchedOn) switchOn();

    if (count > 0) {
        if (midiEvents.size() < count) midiEvents.resize(count);
        // The list: a header of two pointer-sized slots, then one pointer per event.
        const std::size_t slots = 2 + std::max<std::size_t>(count, 2);
        if (eventListStorage.size() < slots) eventListStorage.resize(slots);
        auto* list = new (eventListStorage.data()) VstEvents{};
        list->numEvents = static_cast<std::int32_t>(count);
        VstEvent** pointers = eventSlots(list);
        for (std::size_t i = 0; i < count; ++i) {
            VstMidiEvent& e = midiEvents[i];
            e = VstMidiEvent{};
            e.type = kVstMidiType;
            e.byteSize = static_cast<std::int32_t>(sizeof(VstMidiEvent));
            e.deltaFrames = events[i].offset;
            for (int b = 0; b < 3; ++b) e.midiData[b] = static_cast<char>(events[i].bytes[b]);
            if ((events[i].bytes[0] & 0xF0) == 0x80) e.noteOffVelocity = static_cast<char>(events[i].bytes[2]);
            pointers[i] = reinterpret_cast<VstEvent*>(&e);
        }
        dispatch(effProcessEvents, 0, 0, list);
    }

    for (int c = 0; c < numOutputs(); ++c) std::fill(outputs[c], outputs[c] + frames, 0.0f);
    inProcess = true;
    if ((record->flags & effFlagsCanReplacing) && record->processReplacing)
        record->processReplacing(record, inputPointers.data(), const_cast<float**>(outputs), frames);
    else
        record->process(record, inputPointers.data(), const_cast<float**>(outputs), frames);
    inProcess = false;
}

unsigned Plugin::requestCount(int opcode) const noexcept {
    return opcode >= 0 && opcode < kCountedOpcodes ? requests[opcode] : 0;
}

std::intptr_t Plugin::answer(AEffect* /*effect*/, std::int32_t opcode, std::int32_t index, std::intptr_t value,
                             void* ptr, float /*opt*/) {
    if (opcode >= 0 && opcode < kCountedOpcodes) ++requests[opcode];
    switch (opcode) {
        case audioMasterVersion:
            return 2400;
        case audioMasterWantMidi:
            midiWanted = true;
            return 1;
        case audioMasterGetTime:
            return 0;  // no transport: the plug-in runs free
        case audioMasterGetSampleRate:
            return hostSettings.sampleRate;
        case audioMasterGetBlockSize:
            return hostSettings.blockSize;
        case audioMasterGetCurrentProcessLevel:
            return inProcess ? kProcessLevelOffline : kProcessLevelUser;
        case audioMasterGetAutomationState:
            return kAutomationOff;
        case audioMasterWillReplaceOrAccumulate:
            return 1;
        case audioMasterGetLanguage:
            return kLanguageEnglish;
        case audioMasterGetVendorVersion:
            return hostSettings.vendorVersion;
        case audioMasterUpdateDisplay:
            return 1;
        case audioMasterGetDirectory:
            return reinterpret_cast<std::intptr_t>(libraryDirectory.c_str());
        case audioMasterGetVendorString:
            copyText(ptr, hostSettings.vendor, kHostTextCapacity);
            return ptr ? 1 : 0;
        case audioMasterGetProductString:
            copyText(ptr, hostSettings.product, kHostTextCapacity);
            return ptr ? 1 : 0;
        case audioMasterCanDo:
            if (!ptr) return 0;
            for (const char* capability : kHostCapabilities)
                if (std::strcmp(static_cast<const char*>(ptr), capability) == 0) return 1;
            return 0;
        case audioMasterPinConnected: {
            // Answered 0 for a connected pin.
            const int pins = record ? (value == 0 ? numInputs() : numOutputs()) : 0;
            return index >= 0 && index < pins ? 0 : 1;
        }
        default:
            return 0;
    }
}

const char* categoryName(std::int32_t category) {
    switch (category) {
        case 0:
            return "unknown";
        case 1:
            return "effect";
        case 2:
            return "synth";
        case 3:
            return "analysis";
        case 4:
            return "mastering";
        case 5:
            return "spatializer";
        case 6:
            return "room effect";
        case 7:
            return "surround effect";
        case 8:
            return "restoration";
        case 9:
            return "offline process";
        case 10:
            return "shell";
        case 11:
            return "generator";
        default:
            return "unknown";
    }
}

}  // namespace quorvel::host
