// The five plain functions whose addresses the record hands to the host.
// Each finds the effect object through the record's `object` field and
// calls one virtual operation of it. A null record, or a record whose
// `object` is null, is a host mistake: the call does nothing (answers 0).
#pragma once

#include <cstdint>

#include "AEffect.h"

// Any host thread (as a rule not the audio thread). Routes an opcode to
// `TAudioEffect::dispatcher`; for effClose it then destroys the object and
// answers 1. No exception leaves it.
VstIntPtr VSTCALLBACK dispatchEffectClass(AEffect* effect, std::int32_t opcode, std::int32_t index, VstIntPtr value,
                                          void* ptr, float opt) noexcept;
// Audio thread. Calls `process` (output += input × gain); must not allocate,
// lock or call the host.
void VSTCALLBACK processClass(AEffect* effect, float** inputs, float** outputs, std::int32_t sampleFrames) noexcept;
// Audio thread. Calls `processReplacing` (output = input × gain); must not
// allocate, lock or call the host.
void VSTCALLBACK processClassReplacing(AEffect* effect, float** inputs, float** outputs,
                                       std::int32_t sampleFrames) noexcept;
// Any host thread, also the audio thread. Calls `setParameter`.
void VSTCALLBACK setParameterClass(AEffect* effect, std::int32_t index, float value) noexcept;
// Any host thread, also the audio thread. Calls `getParameter`.
float VSTCALLBACK getParameterClass(AEffect* effect, std::int32_t index) noexcept;
