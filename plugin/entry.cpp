// The plug-in's one exported entry point, under its two names.
#include "plugin/quorvel.h"
#include "synth/float_environment.h"

#if defined(_WIN32)
#define QV_EXPORT
#else
#define QV_EXPORT __attribute__((visibility("default")))
#endif

extern "C" QV_EXPORT quorvel::AEffect* QV_CALL VSTPluginMain(quorvel::audioMasterCallback audioMaster) {
    const quorvel::FloatEnvironment environment;
    return quorvel::createQuorvelEffect(audioMaster);
}

#if !defined(_WIN32)
// Older hosts look the entry up as "main". A C++ function may not be called
// main, so the second name is an assembler-level alias of the first: one
// function, one address. (Windows builds name it in the module-definition file.)
extern "C" QV_EXPORT quorvel::AEffect* vstMainAlias(quorvel::audioMasterCallback audioMaster) __asm__("main")
    __attribute__((alias("VSTPluginMain")));
#endif
