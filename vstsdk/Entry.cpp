// The library export `main` and the five entry functions that the record
// hands to the host. Everything here is hidden except `main`; no exception,
// abort or output crosses into the host.
#include "Entry.h"

#include "AudioEffect.h"

// --- The one exported symbol ------------------------------------------------
// The symbol is named `main` through an assembler label on a function with
// another C++ name (a C++ function called `main` could not return a pointer).
// The label carries the platform's prefix for C names ("_" on 32-bit
// Windows), so that the linker sees the C function `main` everywhere.
// On Windows the build's module-definition file exports it, undecorated;
// a dllexport attribute would make the linker look for the wrong name.
#ifdef _WIN32
#define VELMORA_ENTRY_EXPORT
#else
#define VELMORA_ENTRY_EXPORT __attribute__((visibility("default")))
#endif
#define VELMORA_TEXT(x) VELMORA_TEXT_(x)
#define VELMORA_TEXT_(x) #x
extern "C" VELMORA_ENTRY_EXPORT AEffect* VSTCALLBACK velmoraMain(audioMasterCallback audioMaster) noexcept
    __asm__(VELMORA_TEXT(__USER_LABEL_PREFIX__) "main");
// -----------------------------------------------------------------------------

namespace {

TAudioEffect* objectOf(AEffect* effect) noexcept {
    return effect != nullptr ? static_cast<TAudioEffect*>(effect->object) : nullptr;
}

// Whether n channel pointers are there and none of them is null (a stereo
// pair, what every effect here has, in two tests).
bool channelsPresent(float** channels, std::int32_t n) noexcept {
    if (channels == nullptr) return false;
    if (n == 2) return channels[0] != nullptr && channels[1] != nullptr;
    for (std::int32_t i = 0; i < n; ++i) {
        if (channels[i] == nullptr) return false;
    }
    return true;
}

// The one check of a host's audio block: an effect, a channel pointer for
// each of its inputs and outputs, and at least one frame. What passes is
// what the effects' audio loops are written for; anything else does
// nothing.
bool blockIsUsable(AEffect* effect, float** inputs, float** outputs, std::int32_t sampleFrames) noexcept {
    return objectOf(effect) != nullptr && sampleFrames > 0 && channelsPresent(inputs, effect->numInputs) &&
           channelsPresent(outputs, effect->numOutputs);
}

}  // namespace

// Called by the host on the thread that creates the instance. Asks the host
// for its version: a host without a callback, or one that answers 0, gets
// null. Otherwise constructs the deliverable's effect and returns its record;
// a failure while constructing (memory, say) also gives null.
AEffect* VSTCALLBACK velmoraMain(audioMasterCallback audioMaster) noexcept {
    if (audioMaster == nullptr) return nullptr;
    try {
        if (audioMaster(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) return nullptr;
        TAudioEffect* effect = createEffectInstance(audioMaster);
        return effect != nullptr ? effect->getAeffect() : nullptr;
    } catch (...) {
        return nullptr;
    }
}

VstIntPtr VSTCALLBACK dispatchEffectClass(AEffect* effect, std::int32_t opcode, std::int32_t index, VstIntPtr value,
                                          void* ptr, float opt) noexcept {
    TAudioEffect* object = objectOf(effect);
    if (object == nullptr) return 0;
    try {
        const VstIntPtr result = object->dispatcher(opcode, index, value, ptr, opt);
        if (opcode != effClose) return result;
        delete object;  // the record lives inside the object and dies with it
        return 1;
    } catch (...) {
        return 0;
    }
}

void VSTCALLBACK processClass(AEffect* effect, float** inputs, float** outputs, std::int32_t sampleFrames) noexcept {
    if (!blockIsUsable(effect, inputs, outputs, sampleFrames)) return;
    objectOf(effect)->process(inputs, outputs, sampleFrames);
}

void VSTCALLBACK processClassReplacing(AEffect* effect, float** inputs, float** outputs,
                                       std::int32_t sampleFrames) noexcept {
    if (!blockIsUsable(effect, inputs, outputs, sampleFrames)) return;
    objectOf(effect)->processReplacing(inputs, outputs, sampleFrames);
}

void VSTCALLBACK setParameterClass(AEffect* effect, std::int32_t index, float value) noexcept {
    TAudioEffect* object = objectOf(effect);
    if (object != nullptr) object->setParameter(index, value);
}

float VSTCALLBACK getParameterClass(AEffect* effect, std::int32_t index) noexcept {
    TAudioEffect* object = objectOf(effect);
    return object != nullptr ? object->getParameter(index) : 0.0f;
}
