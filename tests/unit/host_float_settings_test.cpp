// The built module under the floating-point settings hosts leave on their
// threads: the entry point and the parameter texts answer as under the
// default settings, and every call gives the host's settings back.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "abi/aeffect.h"
#include "host/shared_library.h"
#include "support/host_float_settings.h"
#include "support/recording_host.h"

using namespace quorvel;

namespace {

using EntryPoint = AEffect*(QV_CALL*)(audioMasterCallback);

// Every parameter at values that round differently under other settings
// (a subnormal among them): its value, display, label and name.
std::vector<std::string> parameterTexts(AEffect* e) {
    const float values[] = {0.0f,    1e-40f,      1e-7f, 0.05f,        1.0f / 3.0f, 0.2525f, 0.5f,
                            0.7525f, 0.99999994f, 1.0f,  0.123456789f, 2.5f,        -0.3f};
    std::vector<std::string> texts;
    for (std::int32_t index = 0; index < 8; ++index) {
        for (const float v : values) {
            e->setParameter(e, index, v);
            const float back = e->getParameter(e, index);
            std::uint32_t bits;
            std::memcpy(&bits, &back, sizeof bits);
            texts.push_back(std::to_string(bits));
            for (const std::int32_t opcode : {7, 6, 8}) {  // display, label, name
                char text[256] = {};
                e->dispatcher(e, opcode, index, 0, text, 0.0f);
                texts.push_back(text);
            }
        }
    }
    return texts;
}

TEST(HostFloatSettings, EntryAndParameterTextsAnswerAsUnderTheDefaultSettings) {
    quorvel::host::SharedLibrary lib(QUORVEL_PLUGIN_PATH);  // throws, naming the file, if it cannot be loaded
    const auto entry = reinterpret_cast<EntryPoint>(lib.symbol("VSTPluginMain"));
    ASSERT_NE(entry, nullptr);
    RecordingHost host;

    AEffect* plain = entry(RecordingHost::callback);
    ASSERT_NE(plain, nullptr);
    const std::vector<std::string> expected = parameterTexts(plain);
    plain->dispatcher(plain, 1, 0, 0, nullptr, 0.0f);

    for (const HostFloatSettings settings : hostFloatSettings()) {
        SCOPED_TRACE(settingsName(settings));
        applyFloatSettings(settings);
        const std::string before = currentFloatSettings();
        AEffect* effect = entry(RecordingHost::callback);
        const std::string after = currentFloatSettings();
        restoreDefaultFloatSettings();
        EXPECT_EQ(after, before);
        ASSERT_NE(effect, nullptr);
        HostSettingsRecord record(effect, settings);
        EXPECT_EQ(parameterTexts(record.effect()), expected);
        EXPECT_EQ(record.unrestored, 0) << record.lastUnrestored;
        record.effect()->dispatcher(record.effect(), 1, 0, 0, nullptr, 0.0f);
    }
}

}  // namespace
