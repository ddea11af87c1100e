// The program name, the identity texts and versions, and the capability answers.
// A host that passes no text gets nothing written, and no capability.
#include <cstring>

#include "synth/quorvel.h"

void Quorvel::setProgramName(char* name) {
    if (!name) return;
    // At most 31 characters are kept; the rest of the 32 bytes are zeros.
    int n = 0;
    for (; n < kProgramNameSize - 1 && name[n] != 0; ++n) programName[n] = name[n];
    for (; n < kProgramNameSize; ++n) programName[n] = 0;
}

void Quorvel::getProgramName(char* name) {
    if (name) std::memcpy(name, programName, std::strlen(programName) + 1);
}

bool Quorvel::getEffectName(char* name) {
    if (!name) return false;
    std::strcpy(name, kEffectName);
    return true;
}

bool Quorvel::getVendorString(char* text) {
    if (!text) return false;
    std::strcpy(text, kVendorString);
    return true;
}

bool Quorvel::getProductString(char* text) {
    if (!text) return false;
    std::strcpy(text, kProductString);
    return true;
}

std::int32_t Quorvel::getVendorVersion() { return kVendorVersion; }

std::int32_t Quorvel::canDo(char* text) {
    if (!text) return -1;
    if (std::strcmp(text, "receiveVstEvents") == 0) return 1;
    if (std::strcmp(text, "receiveVstMidiEvent") == 0) return 1;
    return -1;
}
