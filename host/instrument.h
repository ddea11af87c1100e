// What the host kit's players need of an instrument, whatever its format: a
// VST 2.4 plug-in (host/plugin.h) or an LV2 instrument (host/lv2_plugin.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace quorvel::host {

// What the host tells the plug-in about itself and the rendering.
struct HostSettings {
    int sampleRate = 44100;
    int blockSize = 512;  // the largest block process() will be given
    std::string vendor = "Quorvel";
    std::string product = "quorvel host kit";
    int vendorVersion = 31;
};

// One MIDI channel message at a sample offset inside the block.
struct MidiEvent {
    std::int32_t offset = 0;
    std::uint8_t bytes[3] = {0, 0, 0};
};

class Instrument {
public:
    virtual ~Instrument() = default;

    // Where it was loaded from, as given.
    virtual const std::string& path() const noexcept = 0;
    virtual const HostSettings& settings() const noexcept = 0;
    virtual int numOutputs() const noexcept = 0;

    // Parameters by index (0 .. numParams()-1; other indexes throw HostError).
    virtual int numParams() const noexcept = 0;
    virtual float parameter(int index) const = 0;
    virtual void setParameter(int index, float value) = 0;
    virtual std::string parameterName(int index) const = 0;
    // The values a parameter takes: 0..1 for VST 2.4, the port's range for LV2.
    virtual std::pair<float, float> parameterRange(int index) const = 0;

    // A parameter by name: the exact name first (surrounding blanks ignored),
    // then a unique case-insensitive match.
    std::optional<int> findParameter(std::string_view name) const;

    // Processing.
    virtual void switchOn() = 0;
    virtual void switchOff() = 0;
    virtual bool isOn() const noexcept = 0;

    // Renders `frames` samples (1 .. blockSize) into numOutputs() buffers.
    // The events must lie inside the block, in time order. Switches the
    // instrument on first if needed.
    virtual void process(const MidiEvent* events, std::size_t count, float* const* outputs, int frames) = 0;

protected:
    // Throws HostError unless `frames` is 1 .. blockSize and the events lie
    // inside the block, in time order.
    void checkBlock(const MidiEvent* events, std::size_t count, int frames) const;
};

// An instrument loaded from `location`: an LV2 bundle folder or plug-in URI
// (where the kit was built with LV2 hosting), else the path of a VST 2.4
// plug-in. Throws HostError when it cannot be loaded.
std::unique_ptr<Instrument> loadInstrument(const std::string& location, const HostSettings& settings = {});

}  // namespace quorvel::host
