// Finding, checking, instantiating and running an LV2 plug-in through lilv.
#include "host/lv2_plugin.h"

#include <lilv/lilv.h>
#include <lv2/atom/atom.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/core/lv2.h>
#include <lv2/midi/midi.h>
#include <lv2/options/options.h>
#include <lv2/parameters/parameters.h>
#include <lv2/urid/urid.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <unordered_map>

namespace fs = std::filesystem;

namespace quorvel::host {

namespace {

// Bytes of each atom port's buffer: room for 2700 three-byte MIDI events.
constexpr std::size_t kAtomBufferBytes = 65536;

// Features a plug-in may require that the kit gives (the last three ask
// only for what it does anyway: separate buffers, a host that may run it
// live, a plug-in fit for real time).
constexpr const char* kOfferedFeatures[] = {
    LV2_URID__map,           LV2_URID__unmap,  LV2_OPTIONS__options,    LV2_BUF_SIZE__boundedBlockLength,
    LV2_CORE__inPlaceBroken, LV2_CORE__isLive, LV2_CORE__hardRTCapable,
};

// Bytes of a MIDI message by its status byte (LV2 events hold one message).
std::uint32_t midiLength(std::uint8_t status) {
    switch (status & 0xF0) {
        case 0xC0:
        case 0xD0:
            return 2;
        case 0xF0:
            return status == 0xF2 ? 3 : (status == 0xF1 || status == 0xF3) ? 2 : 1;
        default:
            return 3;
    }
}

// A lilv node freed when it goes out of scope.
struct Node {
    explicit Node(LilvNode* n) : node(n) {}
    ~Node() { lilv_node_free(node); }
    Node(const Node&) = delete;
    Node& operator=(const Node&) = delete;
    std::string text() const { return node ? lilv_node_as_string(node) : ""; }
    LilvNode* node;
};

}  // namespace

// The lilv world with the plug-in and instance, and what the kit offers the
// plug-in. The URID map and the options hold pointers to this record, which
// stays where it was made.
struct Lv2Plugin::World {
    LilvWorld* lilv = lilv_world_new();
    const LilvPlugin* plugin = nullptr;
    LilvInstance* instance = nullptr;

    std::unordered_map<std::string, LV2_URID> ids;
    std::vector<std::string> uris;
    LV2_URID map(const char* uri) {
        auto [it, added] = ids.emplace(uri, static_cast<LV2_URID>(uris.size() + 1));
        if (added) uris.emplace_back(uri);
        return it->second;
    }
    static LV2_URID mapEntry(LV2_URID_Map_Handle h, const char* uri) { return static_cast<World*>(h)->map(uri); }
    static const char* unmapEntry(LV2_URID_Unmap_Handle h, LV2_URID id) {
        const auto& uris = static_cast<World*>(h)->uris;
        return id >= 1 && id <= uris.size() ? uris[id - 1].c_str() : nullptr;
    }
    LV2_URID_Map mapData{this, &World::mapEntry};
    LV2_URID_Unmap unmapData{this, &World::unmapEntry};

    std::int32_t minBlock = 1, maxBlock = 0;
    float rate = 0.0f;
    std::vector<LV2_Options_Option> options;
    std::vector<LV2_Feature> features;
    std::vector<const LV2_Feature*> featureList;

    LilvNode* uriNode(const char* uri) { return nodes.emplace_back(lilv_new_uri(lilv, uri)); }
    std::vector<LilvNode*> nodes;

    ~World() {
        if (instance) lilv_instance_free(instance);
        for (LilvNode* n : nodes) lilv_node_free(n);
        lilv_world_free(lilv);
    }
};

bool Lv2Plugin::isLv2Location(const std::string& location) {
    std::error_code error;
    if (fs::is_directory(location, error)) return true;
    if (fs::exists(location, error)) return false;
    const std::size_t colon = location.find(':');
    if (colon == std::string::npos || colon < 2 || !std::isalpha(static_cast<unsigned char>(location[0]))) return false;
    return std::all_of(location.begin(), location.begin() + static_cast<std::ptrdiff_t>(colon), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.';
    });
}

Lv2Plugin::Lv2Plugin(const std::string& where, const HostSettings& settings)
    : location(where), hostSettings(settings), world(std::make_unique<World>()) {
    findPlugin();
    checkFeatures();
    readPorts();
    instantiate();
    connectFixedPorts();
}

Lv2Plugin::~Lv2Plugin() { switchOff(); }

void Lv2Plugin::findPlugin() {
    LilvWorld* lilv = world->lilv;
    std::error_code error;
    std::string wanted = location;
    if (fs::is_directory(location, error)) {
        // The bundle first, then everything on the LV2 path for the
        // vocabulary bundles that say what its plug-in classes are (a copy of
        // the same plug-in elsewhere on the path is then passed over).
        std::string folder = fs::absolute(location, error).string();
        if (folder.back() != '/') folder += '/';
        Node bundleUri(lilv_new_file_uri(lilv, nullptr, folder.c_str()));
        lilv_world_load_bundle(lilv, bundleUri.node);
        lilv_world_load_all(lilv);
        std::vector<std::string> found;
        const LilvPlugins* all = lilv_world_get_all_plugins(lilv);
        LILV_FOREACH(plugins, i, all) {
            const LilvPlugin* p = lilv_plugins_get(all, i);
            if (lilv_node_equals(lilv_plugin_get_bundle_uri(p), bundleUri.node))
                found.push_back(lilv_node_as_uri(lilv_plugin_get_uri(p)));
        }
        if (found.empty())
            throw HostError(location + ": no LV2 plug-in in this folder (is it a bundle with a manifest.ttl?)");
        if (found.size() > 1) {
            std::string list;
            for (const std::string& u : found) list += (list.empty() ? "" : ", ") + u;
            throw HostError(location + " holds " + std::to_string(found.size()) + " LV2 plug-ins (" + list +
                            "): name one by its URI, with the bundle's folder on LV2_PATH");
        }
        wanted = found.front();
    } else {
        lilv_world_load_all(lilv);
    }
    Node uri(lilv_new_uri(lilv, wanted.c_str()));
    world->plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(lilv), uri.node);
    if (!world->plugin)
        throw HostError(location +
                        ": no LV2 plug-in with this URI on LV2_PATH or in ~/.lv2, /usr/local/lib/lv2, "
                        "/usr/lib/lv2");
    if (!lilv_plugin_verify(world->plugin)) throw HostError(location + ": the LV2 plug-in's description is unusable");

    const LilvPlugin* p = world->plugin;
    pluginUri = lilv_node_as_uri(lilv_plugin_get_uri(p));
    pluginName = Node(lilv_plugin_get_name(p)).text();
    pluginClass = lilv_node_as_string(lilv_plugin_class_get_label(lilv_plugin_get_class(p)));
    char* bundleFolder = lilv_file_uri_parse(lilv_node_as_uri(lilv_plugin_get_bundle_uri(p)), nullptr);
    bundlePath = bundleFolder ? bundleFolder : "";
    lilv_free(bundleFolder);
}

void Lv2Plugin::checkFeatures() {
    LilvNodes* required = lilv_plugin_get_required_features(world->plugin);
    std::string missing;
    LILV_FOREACH(nodes, i, required) {
        const std::string feature = lilv_node_as_uri(lilv_nodes_get(required, i));
        if (std::none_of(std::begin(kOfferedFeatures), std::end(kOfferedFeatures),
                         [&](const char* offered) { return feature == offered; }))
            missing += (missing.empty() ? "" : ", ") + feature;
    }
    lilv_nodes_free(required);
    if (!missing.empty()) throw HostError(pluginUri + " requires what the host kit does not offer: " + missing);
}

void Lv2Plugin::readPorts() {
    const LilvPlugin* p = world->plugin;
    const std::uint32_t count = lilv_plugin_get_num_ports(p);
    std::vector<float> minimum(count), maximum(count), defaults(count);
    lilv_plugin_get_port_ranges_float(p, minimum.data(), maximum.data(), defaults.data());
    const LilvNode* inputClass = world->uriNode(LV2_CORE__InputPort);
    const LilvNode* optional = world->uriNode(LV2_CORE__connectionOptional);
    const LilvNode* midiEvent = world->uriNode(LV2_MIDI__MidiEvent);
    const std::pair<const char*, const char*> kinds[] = {{LV2_CORE__AudioPort, "audio"},
                                                         {LV2_CORE__ControlPort, "control"},
                                                         {LV2_ATOM__AtomPort, "atom"},
                                                         {LV2_CORE__CVPort, "cv"}};
    controlValues.assign(count, 0.0f);
    blockBuffers.resize(count);
    atomBuffers.resize(count);
    for (std::uint32_t index = 0; index < count; ++index) {
        const LilvPort* port = lilv_plugin_get_port_by_index(p, index);
        Port info{index,
                  lilv_node_as_string(lilv_port_get_symbol(p, port)),
                  Node(lilv_port_get_name(p, port)).text(),
                  "",
                  lilv_port_is_a(p, port, inputClass),
                  minimum[index],
                  maximum[index],
                  defaults[index]};
        for (const auto& [classUri, word] : kinds)
            if (lilv_port_is_a(p, port, world->uriNode(classUri))) info.kind = word;
        const std::size_t block = static_cast<std::size_t>(hostSettings.blockSize);
        if (info.kind == "control") {
            const float start = !std::isnan(info.defaultValue) ? info.defaultValue
                                : !std::isnan(info.minimum)    ? info.minimum
                                                               : 0.0f;
            controlValues[index] = start;
            if (info.input) parameters.push_back(index);
        } else if (info.kind == "audio" && !info.input) {
            audioOutputs.push_back(index);
        } else if (info.kind == "audio" || info.kind == "cv") {
            blockBuffers[index].assign(block, 0.0f);
        } else if (info.kind == "atom") {
            atomBuffers[index].assign(kAtomBufferBytes / sizeof(std::uint64_t), 0);
            if (!info.input)
                atomOutputs.push_back(index);
            else if (midiPort < 0 && lilv_port_supports_event(p, port, midiEvent))
                midiPort = index;
        } else if (!lilv_port_has_property(p, port, optional)) {
            throw HostError(pluginUri + ": port " + std::to_string(index) + " (" + info.symbol +
                            ") is of a kind the host kit cannot connect");
        }
        portList.push_back(std::move(info));
    }
}

void Lv2Plugin::instantiate() {
    World& w = *world;
    w.maxBlock = hostSettings.blockSize;
    w.rate = static_cast<float>(hostSettings.sampleRate);
    const LV2_URID intType = w.map(LV2_ATOM__Int), floatType = w.map(LV2_ATOM__Float);
    w.options = {
        {LV2_OPTIONS_INSTANCE, 0, w.map(LV2_BUF_SIZE__minBlockLength), sizeof(std::int32_t), intType, &w.minBlock},
        {LV2_OPTIONS_INSTANCE, 0, w.map(LV2_BUF_SIZE__maxBlockLength), sizeof(std::int32_t), intType, &w.maxBlock},
        {LV2_OPTIONS_INSTANCE, 0, w.map(LV2_BUF_SIZE__nominalBlockLength), sizeof(std::int32_t), intType, &w.maxBlock},
        {LV2_OPTIONS_INSTANCE, 0, w.map(LV2_PARAMETERS__sampleRate), sizeof(float), floatType, &w.rate},
        {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr},
    };
    w.features = {{LV2_URID__map, &w.mapData},
                  {LV2_URID__unmap, &w.unmapData},
                  {LV2_OPTIONS__options, w.options.data()},
                  {LV2_BUF_SIZE__boundedBlockLength, nullptr}};
    for (const LV2_Feature& f : w.features) w.featureList.push_back(&f);
    w.featureList.push_back(nullptr);
    w.instance = lilv_plugin_instantiate(w.plugin, hostSettings.sampleRate, w.featureList.data());
    if (!w.instance) throw HostError(pluginUri + ": the plug-in could not be instantiated");
}

// Everything but the audio outputs, which go to the caller's buffers per block.
void Lv2Plugin::connectFixedPorts() {
    for (const Port& port : portList) {
        void* data = nullptr;
        if (port.kind == "control")
            data = &controlValues[port.index];
        else if (!blockBuffers[port.index].empty())
            data = blockBuffers[port.index].data();
        else if (!atomBuffers[port.index].empty())
            data = atomBuffers[port.index].data();
        if (data || port.kind.empty()) lilv_instance_connect_port(world->instance, port.index, data);
    }
}

void Lv2Plugin::checkParameterIndex(int index) const {
    if (index < 0 || index >= numParams())
        throw HostError("parameter index " + std::to_string(index) + " outside 0.." + std::to_string(numParams() - 1));
}

float Lv2Plugin::parameter(int index) const {
    checkParameterIndex(index);
    return controlValues[parameters[static_cast<std::size_t>(index)]];
}

void Lv2Plugin::setParameter(int index, float value) {
    checkParameterIndex(index);
    controlValues[parameters[static_cast<std::size_t>(index)]] = value;
}

std::string Lv2Plugin::parameterName(int index) const {
    checkParameterIndex(index);
    return portList[parameters[static_cast<std::size_t>(index)]].name;
}

std::pair<float, float> Lv2Plugin::parameterRange(int index) const {
    checkParameterIndex(index);
    const Port& port = portList[parameters[static_cast<std::size_t>(index)]];
    constexpr float kHuge = std::numeric_limits<float>::max();
    return {std::isnan(port.minimum) ? -kHuge : port.minimum, std::isnan(port.maximum) ? kHuge : port.maximum};
}

void Lv2Plugin::switchOn() {
    if (active) return;
    lilv_instance_activate(world->instance);
    active = true;
}

void Lv2Plugin::switchOff() {
    if (!active) return;
    lilv_instance_deactivate(world->instance);
    active = false;
}

// The block's events as one atom sequence in frames.
void Lv2Plugin::writeMidi(const MidiEvent* events, std::size_t count) {
    std::vector<std::uint64_t>& buffer = atomBuffers[static_cast<std::size_t>(midiPort)];
    const std::size_t needed = sizeof(LV2_Atom_Sequence) + count * (sizeof(LV2_Atom_Event) + 8);
    if (buffer.size() * sizeof(std::uint64_t) < needed) {
        buffer.assign(needed / sizeof(std::uint64_t) + 1, 0);
        lilv_instance_connect_port(world->instance, static_cast<std::uint32_t>(midiPort), buffer.data());
    }
    auto* bytes = reinterpret_cast<std::uint8_t*>(buffer.data());
    std::size_t at = sizeof(LV2_Atom_Sequence);
    const LV2_URID midiType = world->map(LV2_MIDI__MidiEvent);
    for (std::size_t i = 0; i < count; ++i) {
        LV2_Atom_Event e{};
        e.time.frames = events[i].offset;
        e.body.type = midiType;
        e.body.size = midiLength(events[i].bytes[0]);
        std::memcpy(bytes + at, &e, sizeof e);
        std::memset(bytes + at + sizeof e, 0, 8);
        std::memcpy(bytes + at + sizeof e, events[i].bytes, e.body.size);
        at += sizeof e + 8;
    }
    LV2_Atom_Sequence header{};
    header.atom.type = world->map(LV2_ATOM__Sequence);
    header.atom.size = static_cast<std::uint32_t>(at - sizeof(LV2_Atom));
    std::memcpy(bytes, &header, sizeof header);
}

void Lv2Plugin::process(const MidiEvent* events, std::size_t count, float* const* outputs, int frames) {
    checkBlock(events, count, frames);
    if (!active) switchOn();

    // Other atom inputs get an empty sequence, outputs the room they may fill.
    const LV2_URID sequenceType = world->map(LV2_ATOM__Sequence), chunkType = world->map(LV2_ATOM__Chunk);
    for (const Port& port : portList) {
        if (port.kind != "atom") continue;
        auto* atom = reinterpret_cast<LV2_Atom_Sequence*>(atomBuffers[port.index].data());
        if (port.input) {
            *atom = LV2_Atom_Sequence{{sizeof(LV2_Atom_Sequence_Body), sequenceType}, {0, 0}};
        } else {
            atom->atom.type = chunkType;
            atom->atom.size = static_cast<std::uint32_t>(atomBuffers[port.index].size() * 8 - sizeof(LV2_Atom));
        }
    }
    if (midiPort >= 0) writeMidi(events, count);
    for (std::vector<float>& silence : blockBuffers) std::fill(silence.begin(), silence.end(), 0.0f);
    for (std::size_t k = 0; k < audioOutputs.size(); ++k)
        lilv_instance_connect_port(world->instance, audioOutputs[k], outputs[k]);
    lilv_instance_run(world->instance, static_cast<std::uint32_t>(frames));
}

}  // namespace quorvel::host
