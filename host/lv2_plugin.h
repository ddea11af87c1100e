// The host kit's LV2 side: loads an LV2 instrument through lilv and drives it
// the way a music host does.
//
// Life of an Lv2Plugin: the constructor finds the plug-in (in a bundle folder,
// or by its URI among the bundles on LV2_PATH or the system's LV2 folders),
// checks that the kit can give it every feature it requires and connect every
// port, and instantiates it at the settings' rate. switchOn() activates it,
// process() runs one block with its MIDI events, switchOff() deactivates it;
// the destructor deactivates if needed and frees the instance.
//
// The kit offers urid:map and urid:unmap, options (block lengths and sample
// rate) and bounded block lengths. Control inputs are the parameters, in port
// order, each starting at its default; MIDI goes to the first atom input that
// takes MIDI events; audio and CV inputs get silence. Every failure to load
// is a HostError whose message names the bundle or URI and the reason.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "host/host_error.h"
#include "host/instrument.h"

namespace quorvel::host {

class Lv2Plugin : public Instrument {
public:
    // Whether `location` names an LV2 plug-in rather than a VST 2.4 file: a
    // folder, or a URI (a scheme of two or more characters and a colon) that
    // is no existing file.
    static bool isLv2Location(const std::string& location);

    Lv2Plugin(const std::string& location, const HostSettings& settings = {});
    ~Lv2Plugin() override;
    Lv2Plugin(const Lv2Plugin&) = delete;
    Lv2Plugin& operator=(const Lv2Plugin&) = delete;

    const std::string& path() const noexcept override { return location; }
    const HostSettings& settings() const noexcept override { return hostSettings; }
    int numOutputs() const noexcept override { return static_cast<int>(audioOutputs.size()); }

    int numParams() const noexcept override { return static_cast<int>(parameters.size()); }
    float parameter(int index) const override;
    void setParameter(int index, float value) override;
    std::string parameterName(int index) const override;
    std::pair<float, float> parameterRange(int index) const override;

    void switchOn() override;
    void switchOff() override;
    bool isOn() const noexcept override { return active; }
    void process(const MidiEvent* events, std::size_t count, float* const* outputs, int frames) override;

    // Identity, as a plug-in scanner shows it.
    struct Port {
        std::uint32_t index;
        std::string symbol;
        std::string name;
        std::string kind;  // "audio", "control", "atom", "cv"
        bool input;
        float minimum, maximum, defaultValue;  // NaN where the plug-in gives none
    };
    const std::string& uri() const noexcept { return pluginUri; }
    const std::string& name() const noexcept { return pluginName; }
    const std::string& className() const noexcept { return pluginClass; }
    const std::string& bundle() const noexcept { return bundlePath; }
    const std::vector<Port>& ports() const noexcept { return portList; }

private:
    struct World;
    void findPlugin();
    void checkFeatures();
    void readPorts();
    void instantiate();
    void connectFixedPorts();
    void writeMidi(const MidiEvent* events, std::size_t count);
    void checkParameterIndex(int index) const;

    std::string location;
    HostSettings hostSettings;
    std::unique_ptr<World> world;
    std::string pluginUri, pluginName, pluginClass, bundlePath;
    std::vector<Port> portList;
    bool active = false;

    // Port indexes by role, and the storage the kit connects them to.
    std::vector<std::uint32_t> parameters;  // control inputs
    std::vector<std::uint32_t> audioOutputs;
    std::vector<float> controlValues;                     // by port index
    std::vector<std::vector<float>> blockBuffers;         // silent inputs and scratch outputs, by port index
    std::vector<std::vector<std::uint64_t>> atomBuffers;  // by port index, 8-byte aligned
    std::vector<std::uint32_t> atomOutputs;
    std::int64_t midiPort = -1;
};

}  // namespace quorvel::host
