// The bundle as a host reads it through lilv: the eleven ports, and each
// control port the VST 2.4 parameter of its index, with its name, range and
// exact default.
#include <gtest/gtest.h>
#include <lilv/lilv.h>
#include <lv2/atom/atom.h>
#include <lv2/core/lv2.h>
#include <lv2/midi/midi.h>

#include <cstdint>
#include <string>
#include <vector>

#include "lv2/quorvel_lv2.h"

using namespace quorvel;

namespace {

class Lv2Bundle : public ::testing::Test {
protected:
    void SetUp() override {
        LilvNode* bundle = lilv_new_file_uri(world, nullptr, QUORVEL_LV2_BUNDLE);
        lilv_world_load_bundle(world, bundle);
        lilv_node_free(bundle);
        LilvNode* uri = lilv_new_uri(world, lv2::kPluginUri);
        plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), uri);
        lilv_node_free(uri);
        ASSERT_NE(plugin, nullptr) << "no plug-in " << lv2::kPluginUri << " in " << QUORVEL_LV2_BUNDLE;
    }
    void TearDown() override {
        for (LilvNode* n : nodes) lilv_node_free(n);
        lilv_world_free(world);
    }
    const LilvNode* node(const char* uri) { return nodes.emplace_back(lilv_new_uri(world, uri)); }
    bool is(const LilvPort* port, const char* kind) { return lilv_port_is_a(plugin, port, node(kind)); }
    std::string text(LilvNode* n) {
        std::string s = n ? lilv_node_as_string(n) : "";
        lilv_node_free(n);
        return s;
    }

    LilvWorld* world = lilv_world_new();
    const LilvPlugin* plugin = nullptr;
    std::vector<LilvNode*> nodes;
};

TEST_F(Lv2Bundle, HasOneMidiInputTwoOutputsAndTheEightParameters) {
    ASSERT_EQ(lilv_plugin_get_num_ports(plugin), lv2::kPortCount);
    const LilvPort* midi = lilv_plugin_get_port_by_index(plugin, lv2::kPortMidiIn);
    EXPECT_TRUE(is(midi, LV2_CORE__InputPort) && is(midi, LV2_ATOM__AtomPort));
    EXPECT_TRUE(lilv_port_supports_event(plugin, midi, node(LV2_MIDI__MidiEvent)));
    for (std::uint32_t out : {lv2::kPortLeft, lv2::kPortRight}) {
        const LilvPort* port = lilv_plugin_get_port_by_index(plugin, out);
        EXPECT_TRUE(is(port, LV2_CORE__OutputPort) && is(port, LV2_CORE__AudioPort)) << out;
    }
    EXPECT_EQ(text(lilv_port_get_name(plugin, lilv_plugin_get_port_by_index(plugin, lv2::kPortLeft))), "Left");

    for (std::int32_t i = 0; i < kParamCount; ++i) {
        const LilvPort* port = lilv_plugin_get_port_by_index(plugin, lv2::parameterPort(i));
        EXPECT_TRUE(is(port, LV2_CORE__InputPort) && is(port, LV2_CORE__ControlPort)) << i;
        EXPECT_EQ(text(lilv_port_get_name(plugin, port)), kParamNames[i]);
        LilvNode *def = nullptr, *min = nullptr, *max = nullptr;
        lilv_port_get_range(plugin, port, &def, &min, &max);
        EXPECT_EQ(lilv_node_as_float(def), kParamDefaults[i]) << kParamNames[i];
        EXPECT_EQ(lilv_node_as_float(min), 0.0f) << kParamNames[i];
        EXPECT_EQ(lilv_node_as_float(max), 1.0f) << kParamNames[i];
        for (LilvNode* n : {def, min, max}) lilv_node_free(n);

        // Every scale point is labelled with what the instrument shows at its value.
        LilvScalePoints* points = lilv_port_get_scale_points(plugin, port);
        LILV_FOREACH(scale_points, it, points) {
            const LilvScalePoint* point = lilv_scale_points_get(points, it);
            const float value = lilv_node_as_float(lilv_scale_point_get_value(point));
            const ParameterDisplay shown = parameterDisplay(i, value);
            EXPECT_EQ(shown.form, ParameterDisplay::Form::Text) << kParamNames[i] << " at " << value;
            EXPECT_STREQ(lilv_node_as_string(lilv_scale_point_get_label(point)), shown.text);
        }
        lilv_scale_points_free(points);
    }
}

}  // namespace
