// TAudioEffect: construction and destruction, the defaults an effect may
// replace, the setters through which an effect describes itself, the
// dispatcher that turns host opcodes into virtual calls, and the calls back
// into the host. The display helpers live in Display.cpp, the floating-point
// set-up in Fpu.cpp, the entry functions and `main` in Entry.cpp.
#include "AudioEffect.h"

#include <cstring>

#include "Entry.h"
#include "Rounding.h"

namespace {

// A pointer-sized host value as a 32-bit number; false when it does not fit
// (on a 64-bit build), so that it is never wrapped into another valid number.
bool toInt32(VstIntPtr value, std::int32_t& out) noexcept {
    const auto wide = static_cast<std::int64_t>(value);
    if (wide < INT32_MIN || wide > INT32_MAX) return false;
    out = static_cast<std::int32_t>(wide);
    return true;
}

}  // namespace

// Construction thread (the thread that calls `main`).
TAudioEffect::TAudioEffect(audioMasterCallback hostCallback, std::int32_t parameterCount,
                           std::int32_t programCount) noexcept
    : sampleRate(44100.0f),
      editor(nullptr),
      audioMaster(hostCallback),
      numParams(parameterCount),
      numPrograms(programCount),
      curProgram(0),
      blockSize(1024) {
    std::memset(&cEffect, 0, sizeof cEffect);
    cEffect.magic = kEffectMagic;
    cEffect.dispatcher = dispatchEffectClass;
    cEffect.process = processClass;
    cEffect.setParameter = setParameterClass;
    cEffect.getParameter = getParameterClass;
    cEffect.numPrograms = programCount;
    cEffect.numParams = parameterCount;
    cEffect.numInputs = 1;
    cEffect.numOutputs = 2;
    cEffect.ioRatio = 1.0f;
    cEffect.object = this;
    cEffect.user = nullptr;
    cEffect.version = 1;
    cEffect.processReplacing = processClassReplacing;
    maskFpuExceptions();
}

// The host thread that sends effClose.
TAudioEffect::~TAudioEffect() { delete editor; }

// --- Defaults that do nothing or answer zero ---------------------------------
// Any host thread; processReplacing, setParameter and getParameter also on
// the audio thread, where they must not allocate, lock or call the host.

void TAudioEffect::close() noexcept {}
void TAudioEffect::open() noexcept {}
void TAudioEffect::resume() noexcept {}
void TAudioEffect::suspend() noexcept {}
void TAudioEffect::setProgramName(const char*) noexcept {}
void TAudioEffect::processReplacing(float**, float**, std::int32_t) noexcept {}
void TAudioEffect::setParameter(std::int32_t, float) noexcept {}
float TAudioEffect::getParameter(std::int32_t) noexcept { return 0.0f; }
float TAudioEffect::getVu() noexcept { return 0.0f; }

// --- Identifier, channels, bookkeeping ---------------------------------------
// The setters run on the construction thread (the effect describes itself)
// or any host thread, and store whatever they are given; the getters may
// run on any thread, the audio thread included.

void TAudioEffect::setUniqueID(std::int32_t id) noexcept { cEffect.uniqueID = id; }

// Packs the first four characters, the first one in the most significant
// byte; positions past the end of a shorter text count as zero bytes.
void TAudioEffect::setUniqueID(const TIdentifierText& id) noexcept {
    std::uint32_t packed = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        const unsigned char c = i < id.length ? static_cast<unsigned char>(id.chars[i]) : 0;
        packed = (packed << 8) | c;
    }
    cEffect.uniqueID = static_cast<std::int32_t>(packed);
}

void TAudioEffect::setNumInputs(std::int32_t count) noexcept { cEffect.numInputs = count; }
void TAudioEffect::setNumOutputs(std::int32_t count) noexcept { cEffect.numOutputs = count; }

// Makes `program` current when it names one of the programs the effect was
// built with (0 <= program < numPrograms); ignores anything else.
void TAudioEffect::setProgram(std::int32_t program) noexcept {
    if (program >= 0 && program < numPrograms) curProgram = program;
}

void TAudioEffect::setSampleRate(float rate) noexcept { sampleRate = rate; }
void TAudioEffect::setBlockSize(std::int32_t frames) noexcept { blockSize = frames; }
std::int32_t TAudioEffect::getProgram() noexcept { return curProgram; }
float TAudioEffect::getSampleRate() noexcept { return sampleRate; }
std::int32_t TAudioEffect::getBlockSize() noexcept { return blockSize; }

// --- Default texts ------------------------------------------------------------
// Any host thread, not the audio thread: each writes one display string into
// the host's buffer (room for 9 bytes; the dispatcher turns away a null one).

void TAudioEffect::getProgramName(char* text) noexcept { std::memcpy(text, "Default ", 9); }

void TAudioEffect::getParameterLabel(std::int32_t, char* text) noexcept { text[0] = '\0'; }

void TAudioEffect::getParameterDisplay(std::int32_t, char* text) noexcept { text[0] = '\0'; }

void TAudioEffect::getParameterName(std::int32_t, char* text) noexcept { text[0] = '\0'; }

// --- Capability flags: each setter owns one bit -------------------------------
// Construction thread, as a rule; any host thread may call them.

void TAudioEffect::setFlag(std::int32_t bit, bool state) noexcept {
    if (state)
        cEffect.flags |= bit;
    else
        cEffect.flags &= ~bit;
}

void TAudioEffect::hasVu(bool state) noexcept { setFlag(effFlagsHasVu, state); }
void TAudioEffect::hasClip(bool state) noexcept { setFlag(effFlagsHasClip, state); }
void TAudioEffect::canMono(bool state) noexcept { setFlag(effFlagsCanMono, state); }
void TAudioEffect::canProcessReplacing(bool state) noexcept { setFlag(effFlagsCanReplacing, state); }

// --- Calls into the host --------------------------------------------------------
// Each passes this effect's record and calls the host only when it gave a
// callback; without one, those with a result answer 0. They run on the
// calling thread and must not be used from the audio thread.

void TAudioEffect::setParameterAutomated(std::int32_t index, float value) noexcept {
    setParameter(index, value);
    if (audioMaster != nullptr) audioMaster(&cEffect, audioMasterAutomate, index, 0, nullptr, value);
}

VstIntPtr TAudioEffect::getMasterVersion() noexcept {
    return audioMaster != nullptr ? audioMaster(&cEffect, audioMasterVersion, 0, 0, nullptr, 0.0f) : 0;
}

VstIntPtr TAudioEffect::getCurrentUniqueId() noexcept {
    return audioMaster != nullptr ? audioMaster(&cEffect, audioMasterCurrentId, 0, 0, nullptr, 0.0f) : 0;
}

void TAudioEffect::masterIdle() noexcept {
    if (audioMaster != nullptr) audioMaster(&cEffect, audioMasterIdle, 0, 0, nullptr, 0.0f);
}

// The host's answer as it comes (0 means connected in the host's convention).
VstIntPtr TAudioEffect::isInputConnected(std::int32_t index) noexcept {
    return audioMaster != nullptr ? audioMaster(&cEffect, audioMasterPinConnected, index, 0, nullptr, 0.0f) : 0;
}

VstIntPtr TAudioEffect::isOutputConnected(std::int32_t index) noexcept {
    return audioMaster != nullptr ? audioMaster(&cEffect, audioMasterPinConnected, index, 1, nullptr, 0.0f) : 0;
}

// --- Record and editor ------------------------------------------------------------

AEffect* TAudioEffect::getAeffect() noexcept { return &cEffect; }

// Construction thread or any host thread. Stores the editor (owned from now
// on: the destructor frees it) and sets or clears effFlagsHasEditor.
void TAudioEffect::setEditor(AEffEditor* newEditor) noexcept {
    editor = newEditor;
    setFlag(effFlagsHasEditor, newEditor != nullptr);
}

// --- Dispatcher ---------------------------------------------------------------------

// Any host thread, not the audio thread (the editor opcodes come from the
// host's user-interface thread). Answers opcodes 0 to 22; every other opcode
// answers 0 and reaches no operation. Host mistakes are answered with 0 and
// reach nothing either: a null ptr for the text opcodes, a value that does
// not fit in 32 bits for effSetProgram and effSetBlockSize.
VstIntPtr TAudioEffect::dispatcher(std::int32_t opcode, std::int32_t index, VstIntPtr value, void* ptr,
                                   float opt) noexcept {
    char* const text = static_cast<char*>(ptr);
    std::int32_t number = 0;
    try {
        switch (opcode) {
            case effOpen: open(); return 0;
            case effClose:
                close();  // dispatchEffectClass destroys the object afterwards
                return 0;
            case effSetProgram:
                if (toInt32(value, number)) setProgram(number);
                return 0;
            case effGetProgram: return getProgram();
            case effSetProgramName:
                if (text != nullptr) setProgramName(text);
                return 0;
            case effGetProgramName:
                if (text != nullptr) getProgramName(text);
                return 0;
            case effGetParamLabel:
                if (text != nullptr) getParameterLabel(index, text);
                return 0;
            case effGetParamDisplay:
                if (text != nullptr) getParameterDisplay(index, text);
                return 0;
            case effGetParamName:
                if (text != nullptr) getParameterName(index, text);
                return 0;
            case effGetVu:
                // Ties to even; NaN or a level beyond the int32 range answers 0.
                return roundToInt32(static_cast<double>(getVu()) * 32767.0, number) ? number : 0;
            case effSetSampleRate: setSampleRate(opt); return 0;
            case effSetBlockSize:
                if (toInt32(value, number)) setBlockSize(number);
                return 0;
            case effMainsChanged:
                if (value == 0)
                    suspend();
                else
                    resume();
                return 0;
            case effEditGetRect:
                // The editor stores a pointer through ptr: without one there is nowhere to store it.
                return editor != nullptr && ptr != nullptr ? editor->getRect(static_cast<ERect**>(ptr)) : 0;
            case effEditOpen: return editor != nullptr ? editor->open(ptr) : 0;
            case effEditClose:
                if (editor != nullptr) editor->close();
                return 0;
            case effEditIdle:
                if (editor != nullptr) editor->idle();
                return 0;
            case effIdentify: return kEffectIdentify;
            default:  // 16 to 18, 20, 21, and everything outside 0 to 22
                return 0;
        }
    } catch (...) {  // the editor interface may throw; nothing crosses to the host
        return 0;
    }
}
