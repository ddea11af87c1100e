// The host kit: loads a VST 2.4 plug-in from a shared library and drives it
// the way a music host does.
//
// Life of a Plugin: the constructor loads the library, calls the entry point
// with the kit's host callback, checks the record, then sends open, the
// sample rate and the block size. switchOn() starts processing, process()
// renders one block with its MIDI events, switchOff() stops. The destructor
// switches off if needed, closes the plug-in and unloads the library.
//
// Every failure of a plug-in to load is reported as a HostError whose message
// names the file and the reason; nothing in the plug-in's record is called
// before the record has been checked.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "abi/aeffect.h"
#include "abi/vst_events.h"
#include "host/host_error.h"
#include "host/instrument.h"

namespace quorvel::host {

class SharedLibrary;

// Host callback opcodes the kit counts; requestCount() indexes by opcode.
constexpr int kCountedOpcodes = 64;

class Plugin : public Instrument {
public:
    Plugin(const std::string& path, const HostSettings& settings = {});
    ~Plugin() override;
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;

    const std::string& path() const noexcept override { return libraryPath; }
    const HostSettings& settings() const noexcept override { return hostSettings; }
    AEffect* effect() const noexcept { return record; }

    // Identity, as a plug-in scanner shows it.
    std::string effectName() const;
    std::string vendorString() const;
    std::string productString() const;
    std::string programName() const;
    std::int32_t vendorVersion() const;
    std::int32_t vstVersion() const;
    std::int32_t recordVersion() const noexcept { return record->version; }
    std::int32_t uniqueId() const noexcept { return record->uniqueID; }
    std::int32_t category() const;
    std::int32_t flags() const noexcept { return record->flags; }
    bool isSynth() const noexcept { return (record->flags & effFlagsIsSynth) != 0; }
    int numInputs() const noexcept { return record->numInputs; }
    int numOutputs() const noexcept override { return record->numOutputs; }
    int numParams() const noexcept override { return record->numParams; }
    int numPrograms() const noexcept { return record->numPrograms; }
    // The plug-in's answer to a capability query: 1 yes, -1 no, 0 unknown.
    std::intptr_t canDo(const char* capability) const;

    // Parameters by index (0 .. numParams()-1; other indexes throw HostError).
    float parameter(int index) const override;
    void setParameter(int index, float value) override;
    std::string parameterName(int index) const override;
    std::pair<float, float> parameterRange(int index) const override;
    std::string parameterDisplay(int index) const;
    std::string parameterLabel(int index) const;

    // A parameter by name (findParameter's rule); throws HostError for an unknown name.
    void setParameter(std::string_view name, float value);

    // Processing.
    void switchOn() override;
    void switchOff() override;
    bool isOn() const noexcept override { return switchedOn; }

    // Renders `frames` samples (1 .. blockSize) into numOutputs() buffers.
    // The events must lie inside the block, in time order; they reach the
    // plug-in as one event list before the block is processed. Switches the
    // plug-in on first if needed.
    void process(const MidiEvent* events, std::size_t count, float* const* outputs, int frames) override;

    // What the plug-in has asked of the host so far.
    bool midiRequested() const noexcept { return midiWanted; }
    unsigned requestCount(int opcode) const noexcept;

    // The host's answer to one callback request (used by the callback).
    std::intptr_t answer(AEffect* effect, std::int32_t opcode, std::int32_t index, std::intptr_t value, void* ptr,
                         float opt);

private:
    std::intptr_t dispatch(std::int32_t opcode, std::int32_t index = 0, std::intptr_t value = 0, void* ptr = nullptr,
                           float opt = 0.0f) const;
    std::string textQuery(std::int32_t opcode, std::int32_t index = 0) const;
    void checkParameterIndex(int index) const;
    void checkRecord() const;

    std::string libraryPath;
    std::string libraryDirectory;
    HostSettings hostSettings;
    std::unique_ptr<SharedLibrary> sharedLibrary;
    AEffect* record = nullptr;
    bool switchedOn = false;
    bool inProcess = false;
    bool midiWanted = false;
    unsigned requests[kCountedOpcodes] = {};

    // Storage reused from block to block: the event list and its events, and
    // silent input buffers for plug-ins that have inputs.
    std::vector<VstMidiEvent> midiEvents;
    std::vector<void*> eventListStorage;
    std::vector<float> inputStorage;
    std::vector<float*> inputPointers;
};

// Category number as a word ("synth", "effect", ...).
const char* categoryName(std::int32_t category);

}  // namespace quorvel::host
