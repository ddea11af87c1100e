// The built plug-in module as a host meets it: the names it exports, and two
// instances created through the loaded entry point, played side by side and
// closed. Under AddressSanitizer a leak or a stray access in either instance
// fails the run.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#if defined(__linux__)
#include <elf.h>
#endif

#include "abi/aeffect.h"
#include "host/shared_library.h"
#include "support/event_list.h"
#include "support/instrument_test.h"
#include "support/recording_host.h"
#include "support/render.h"

using namespace quorvel;

namespace {

using EntryPoint = AEffect*(QV_CALL*)(audioMasterCallback);

#if defined(__linux__)
// Defined global and weak symbols of the module's dynamic symbol table, with
// their addresses: what a loader can find in it.
template <class Ehdr, class Shdr, class Sym, unsigned char (*bindOf)(unsigned char)>
std::map<std::string, std::uint64_t> definedDynamicSymbols(const std::vector<char>& file) {
    std::map<std::string, std::uint64_t> out;
    if (file.size() < sizeof(Ehdr)) return out;
    Ehdr eh;
    std::memcpy(&eh, file.data(), sizeof eh);
    auto section = [&](std::size_t i) {
        Shdr sh{};
        const std::size_t at = eh.e_shoff + i * eh.e_shentsize;
        if (at + sizeof sh <= file.size()) std::memcpy(&sh, file.data() + at, sizeof sh);
        return sh;
    };
    for (std::size_t i = 0; i < eh.e_shnum; ++i) {
        const Shdr symtab = section(i);
        if (symtab.sh_type != SHT_DYNSYM) continue;
        const Shdr strtab = section(symtab.sh_link);
        for (std::size_t off = 0; off + sizeof(Sym) <= symtab.sh_size; off += sizeof(Sym)) {
            Sym s;
            std::memcpy(&s, file.data() + symtab.sh_offset + off, sizeof s);
            const unsigned bind = bindOf(s.st_info);
            if (s.st_shndx == SHN_UNDEF || (bind != STB_GLOBAL && bind != STB_WEAK)) continue;
            out[std::string(file.data() + strtab.sh_offset + s.st_name)] = s.st_value;
        }
    }
    return out;
}

unsigned char bind32(unsigned char info) { return ELF32_ST_BIND(info); }
unsigned char bind64(unsigned char info) { return ELF64_ST_BIND(info); }

TEST(PluginExports, ExportsExactlyTheTwoEntryNamesAtOneAddress) {
    std::ifstream in(QUORVEL_PLUGIN_PATH, std::ios::binary);
    ASSERT_TRUE(in) << QUORVEL_PLUGIN_PATH;
    const std::vector<char> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GT(file.size(), static_cast<std::size_t>(EI_NIDENT));
    ASSERT_EQ(std::memcmp(file.data(), ELFMAG, SELFMAG), 0);
    const auto symbols = file[EI_CLASS] == ELFCLASS64
                             ? definedDynamicSymbols<Elf64_Ehdr, Elf64_Shdr, Elf64_Sym, bind64>(file)
                             : definedDynamicSymbols<Elf32_Ehdr, Elf32_Shdr, Elf32_Sym, bind32>(file);
    std::vector<std::string> names;
    for (const auto& [name, address] : symbols) names.push_back(name);
    EXPECT_EQ(names, (std::vector<std::string>{"VSTPluginMain", "main"}));
    ASSERT_EQ(symbols.count("VSTPluginMain"), 1u);
    ASSERT_EQ(symbols.count("main"), 1u);
    EXPECT_EQ(symbols.at("VSTPluginMain"), symbols.at("main")) << "two functions rather than one under two names";
}
#endif

class PluginModule : public ::testing::Test {
protected:
    void SetUp() override {
        entry = reinterpret_cast<EntryPoint>(lib.symbol("VSTPluginMain"));
        ASSERT_NE(entry, nullptr);
    }
    RecordingHost host;
    quorvel::host::SharedLibrary lib{QUORVEL_PLUGIN_PATH};  // throws, naming the file, if it cannot be loaded
    EntryPoint entry = nullptr;
};

TEST_F(PluginModule, AHostAnsweringVersionZeroGetsNoInstance) {
    host.setAnswer([](const HostCall&) -> std::intptr_t { return 0; });
    EXPECT_EQ(entry(RecordingHost::callback), nullptr);
    expectOnlyAVersionQuery(host);
}

// Two instances of the loaded module share nothing: each plays its own notes
// with its own parameters, and closing one leaves the other playing.
TEST_F(PluginModule, TwoInstancesPlayIndependentlyAndCloseCleanly) {
    auto legacyEntry = reinterpret_cast<EntryPoint>(lib.symbol("main"));
    ASSERT_NE(legacyEntry, nullptr);
    AEffect* a = entry(RecordingHost::callback);
    AEffect* b = legacyEntry(RecordingHost::callback);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    ASSERT_NE(a, b);
    EXPECT_EQ(host.calls.size(), 2u) << "only the two version requests";

    for (AEffect* e : {a, b}) {
        e->dispatcher(e, effOpen, 0, 0, nullptr, 0.0f);
        e->dispatcher(e, effSetSampleRate, 0, 0, nullptr, 44100.0f);
        e->dispatcher(e, effSetBlockSize, 0, 256, nullptr, 0.0f);
        e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0.0f);
    }
    EXPECT_EQ(host.count(audioMasterWantMidi), 2u);

    // A plays a note; B stays silent for one block.
    EventList noteA;
    noteA.noteOn(0, 69, 100);
    EXPECT_EQ(a->dispatcher(a, effProcessEvents, 0, 0, noteA.get(), 0.0f), 1);
    std::vector<float> outA = renderBlock(a, 110);
    std::vector<float> outB = renderBlock(b, 110);
    EXPECT_EQ(firstNonZero(outA), 0) << "A did not play its note";
    EXPECT_EQ(firstNonZero(outB), -1) << "B heard A's note";

    // B plays an octave up at a quarter of the gain while A carries on.
    b->setParameter(b, 7, 0.125f);
    EXPECT_EQ(a->getParameter(a, 7), 0.5f);
    EventList noteB;
    noteB.noteOn(0, 81, 100);
    b->dispatcher(b, effProcessEvents, 0, 0, noteB.get(), 0.0f);
    outB = renderBlock(b, 2000);
    outA = renderBlock(a, 2000);
    EXPECT_EQ(outB[0], 0.8000001f * 0.125f);
    const std::vector<int> edgesA = risingEdges(outA), edgesB = risingEdges(outB);
    ASSERT_GE(edgesA.size(), 10u);
    ASSERT_GE(edgesB.size(), 10u);
    const double spacingA = double(edgesA.back() - edgesA.front()) / double(edgesA.size() - 1);
    const double spacingB = double(edgesB.back() - edgesB.front()) / double(edgesB.size() - 1);
    EXPECT_NEAR(spacingA, 44100.0 / 440.0, 0.1);
    EXPECT_NEAR(spacingB, 44100.0 / 880.0, 0.1);
    for (float s : outA) ASSERT_LE(s, 0.40000004f);

    host.calls.clear();
    EXPECT_EQ(a->dispatcher(a, effClose, 0, 0, nullptr, 0.0f), 1);
    outB = renderBlock(b, 200);
    EXPECT_NE(firstNonZero(outB), -1) << "B stopped when A closed";
    EXPECT_EQ(b->dispatcher(b, effClose, 0, 0, nullptr, 0.0f), 1);
    for (const HostCall& c : host.calls) EXPECT_EQ(c.opcode, audioMasterGetSampleRate);
}

}  // namespace
