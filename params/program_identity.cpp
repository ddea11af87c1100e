// The program name, the identity texts and versions, and the capability answers.
#include <cstring>

#include "synth/quorvel.h"

void Quorvel::setProgramName(char* name) {
    std::strncpy(programName, name, kProgramNameSize);
    programName[kProgramNameSize - 1] = 0;
}

void Quorvel::getProgramName(char* name) { std::memcpy(name, programName, std::strlen(programName) + 1); }

bool Quorvel::getEffectName(char* name) {
    std::strcpy(name, kEffectName);
    return true;
}

bool Quorvel::getVendorString(char* text) {
    std::strcpy(text, kVendorString);
    return true;
}

bool Quorvel::getProductString(char* text) {
    std::strcpy(text, kProductString);
    return true;
}

std::int32_t Quorvel::getVendorVersion() { return kVendorVersion; }

std::int32_t Quorvel::canDo(char* text) {
    if (std::strcmp(text, "receiveVstEvents") == 0) return 1;
    if (std::strcmp(text, "receiveVstMidiEvent") == 0) return 1;
    return -1;
}
