// The program name, the identity texts and versions, and the capability
// answers, as a host asks for them through the dispatcher.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "plugin/quorvel.h"
#include "support/instrument_test.h"
#include "support/recording_host.h"

using namespace quorvel;

namespace {

constexpr char kGuard = 0x7E;

class ProgramIdentity : public InstrumentTest {
protected:
    // A text query; the answer is checked, and every byte past the text's
    // terminator must be left as it was.
    std::string text(std::int32_t opcode, std::intptr_t expectedAnswer) {
        char buf[64];
        std::memset(buf, kGuard, sizeof(buf));
        EXPECT_EQ(dispatch(opcode, buf), expectedAnswer) << "opcode " << opcode;
        const std::size_t len = strnlen(buf, sizeof(buf));
        EXPECT_LT(len, sizeof(buf));
        for (std::size_t k = len + 1; k < sizeof(buf); ++k)
            EXPECT_EQ(buf[k], kGuard) << "opcode " << opcode << " wrote byte " << k;
        return std::string(buf, len);
    }
    std::string programName() { return text(effGetProgramName, 0); }
    void rename(const std::string& name) {
        std::string copy = name;
        EXPECT_EQ(dispatch(effSetProgramName, copy.data()), 0);
        EXPECT_EQ(copy, name) << "the host's text is only read";
    }
    std::intptr_t canDo(const char* capability) {
        std::string copy = capability;
        return dispatch(effCanDo, copy.data());
    }
};

TEST_F(ProgramIdentity, ProgramNameStartsAsDefault) { EXPECT_EQ(programName(), "Default"); }

TEST_F(ProgramIdentity, RenamingKeepsAtMost31Characters) {
    const std::string forty = "0123456789abcdefghijABCDEFGHIJ-_+=!@#$%^";
    ASSERT_EQ(forty.size(), 40u);
    rename(forty);
    EXPECT_EQ(programName(), forty.substr(0, 31));

    rename(forty.substr(0, 31));
    EXPECT_EQ(programName(), forty.substr(0, 31));
    rename(forty.substr(0, 32));
    EXPECT_EQ(programName(), forty.substr(0, 31));

    // A shorter name leaves nothing of the longer one behind.
    rename("Bells");
    EXPECT_EQ(programName(), "Bells");
    rename("");
    EXPECT_EQ(programName(), "");
}

TEST_F(ProgramIdentity, OneProgramThatHoldsNoValues) {
    for (std::int32_t i = 0; i < kParamCount; ++i) effect->setParameter(effect, i, 0.125f * static_cast<float>(i));
    rename("Lead");
    EXPECT_EQ(dispatch(effSetProgram, nullptr, 0), 0);
    EXPECT_EQ(dispatch(effSetProgram, nullptr, 5), 0);
    EXPECT_EQ(dispatch(effGetProgram), 0);
    EXPECT_EQ(programName(), "Lead");
    for (std::int32_t i = 0; i < kParamCount; ++i)
        EXPECT_EQ(effect->getParameter(effect, i), 0.125f * static_cast<float>(i)) << i;

    char buf[64] = "untouched";
    EXPECT_EQ(dispatch(effGetProgramNameIndexed, buf, 0, 0), 0);
    EXPECT_STREQ(buf, "untouched") << "the indexed name query writes nothing";
}

TEST_F(ProgramIdentity, IdentityTextsAndVersions) {
    EXPECT_EQ(text(effGetEffectName, 1), "brightmoor - quorvel");
    EXPECT_EQ(text(effGetVendorString, 1), "Talvo");
    EXPECT_EQ(text(effGetProductString, 1), "v0.31 21.06.24");
    EXPECT_EQ(dispatch(effGetVendorVersion), 1000);
    EXPECT_EQ(dispatch(effGetVstVersion), 2400);
    EXPECT_TRUE(host.calls.empty());
}

TEST_F(ProgramIdentity, VersionsDoNotDependOnState) {
    rename("Other");
    dispatch(effSetSampleRate);
    dispatch(effMainsChanged, nullptr, 1);
    for (std::int32_t i = 0; i < kParamCount; ++i) effect->setParameter(effect, i, 1.0f);
    EXPECT_EQ(dispatch(effGetVendorVersion), 1000);
    EXPECT_EQ(dispatch(effGetVstVersion), 2400);
    dispatch(effMainsChanged, nullptr, 0);
    EXPECT_EQ(dispatch(effGetVendorVersion), 1000);
    EXPECT_EQ(dispatch(effGetVstVersion), 2400);
}

TEST_F(ProgramIdentity, CapabilitiesMatchWholeNamesOnly) {
    EXPECT_EQ(canDo("receiveVstEvents"), 1);
    EXPECT_EQ(canDo("receiveVstMidiEvent"), 1);
    for (const char* other :
         {"", "receiveVstEvent", "receiveVstEventsX", "receiveVstEvents ", "receivevstevents", "ReceiveVstEvents",
          "RECEIVEVSTMIDIEVENT", "receiveVstMidiEvents", "receiveVstMidiEventx", " receiveVstMidiEvent",
          "receiveVstMidiEven", "sendVstEvents", "sendVstMidiEvent", "receiveVstTimeInfo", "offline",
          "midiProgramNames", "bypass", "plugAsChannelInsert", "1in2out"}) {
        EXPECT_EQ(canDo(other), -1) << '"' << other << '"';
    }
    EXPECT_TRUE(host.calls.empty());
}

TEST_F(ProgramIdentity, MissingTextsAreSafe) {
    EXPECT_EQ(dispatch(effSetProgramName, nullptr), 0);
    EXPECT_EQ(programName(), "Default");
    EXPECT_EQ(dispatch(effGetProgramName, nullptr), 0);
    EXPECT_EQ(dispatch(effGetEffectName, nullptr), 0);
    EXPECT_EQ(dispatch(effGetVendorString, nullptr), 0);
    EXPECT_EQ(dispatch(effGetProductString, nullptr), 0);
    EXPECT_EQ(dispatch(effCanDo, nullptr), -1);
    for (std::int32_t opcode : {effGetParamName, effGetParamDisplay, effGetParamLabel})
        for (std::int32_t index : {0, 3, 7, 8, -1})
            EXPECT_EQ(effect->dispatcher(effect, opcode, index, 0, nullptr, 0.0f), 0);
}

}  // namespace
