// The program name and the capability answers.
#include <cstring>

#include "params/identity.h"

namespace quorvel {

ProgramName::ProgramName() {
    std::memset(name, 0, sizeof(name));
    std::strcpy(name, kDefaultProgramName);
}

void ProgramName::set(const char* text) {
    int n = 0;
    for (; n < kProgramNameSize - 1 && text[n] != 0; ++n) name[n] = text[n];
    for (; n < kProgramNameSize; ++n) name[n] = 0;
}

std::int32_t capabilityAnswer(const char* text) {
    if (!text) return -1;
    if (std::strcmp(text, "receiveVstEvents") == 0) return 1;
    if (std::strcmp(text, "receiveVstMidiEvent") == 0) return 1;
    return -1;
}

}  // namespace quorvel
