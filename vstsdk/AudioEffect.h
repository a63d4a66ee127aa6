// TAudioEffect: the effect base class. It holds the record handed to the
// host, answers the host's dispatcher calls, keeps the effect's bookkeeping
// and offers the fixed-width display helpers.
//
// Threads: the host may call any operation from any of its threads; as a
// rule `process` and `processReplacing` run on the audio thread and
// everything else on other threads. Fields that cross threads are relaxed
// atomics. Nothing here throws, locks, allocates on the audio path or
// writes to stdout/stderr.
#pragma once

#include <cstdint>

#include "AEffect.h"
#include "AEffEditor.h"
#include "Nonblocking.h"
#include "Relaxed.h"

// A length-prefixed text: a length byte followed by up to N characters.
template <std::size_t N>
struct TShortString {
    unsigned char length = 0;
    char chars[N] = {};

    // Takes up to N characters of a zero-terminated text.
    static constexpr TShortString from(const char* text) noexcept {
        TShortString s;
        if (text == nullptr) return s;
        while (s.length < N && text[s.length] != '\0') {
            s.chars[s.length] = text[s.length];
            ++s.length;
        }
        return s;
    }
};

using TIdentifierText = TShortString<255>;

class TAudioEffect {
public:
    // Construction thread. Fills the record, sets the defaults (44100 Hz,
    // 1024 frames) and, last, masks floating-point exceptions on this thread.
    TAudioEffect(audioMasterCallback audioMaster, std::int32_t numParams, std::int32_t numPrograms) noexcept;
    // Called from effClose (any host thread). Frees the editor, if one is set.
    virtual ~TAudioEffect();

    TAudioEffect(const TAudioEffect&) = delete;
    TAudioEffect& operator=(const TAudioEffect&) = delete;

    // Virtual operations, in slot order.
    virtual void close() noexcept;
    virtual void open() noexcept;
    virtual void resume() noexcept;
    virtual void suspend() noexcept;
    virtual void setUniqueID(std::int32_t id) noexcept;
    virtual void setUniqueID(const TIdentifierText& id) noexcept;
    virtual void setNumInputs(std::int32_t count) noexcept;
    virtual void setNumOutputs(std::int32_t count) noexcept;
    virtual void setProgram(std::int32_t program) noexcept;
    virtual void setProgramName(const char* name) noexcept;
    virtual void setSampleRate(float rate) noexcept;
    virtual void setBlockSize(std::int32_t frames) noexcept;
    virtual std::int32_t getProgram() noexcept;
    virtual void getProgramName(char* text) noexcept;
    virtual void getParameterLabel(std::int32_t index, char* text) noexcept;
    virtual void getParameterDisplay(std::int32_t index, char* text) noexcept;
    virtual void getParameterName(std::int32_t index, char* text) noexcept;
    virtual float getVu() noexcept;
    virtual float getSampleRate() noexcept;
    virtual std::int32_t getBlockSize() noexcept;
    virtual void hasVu(bool state) noexcept;
    virtual void hasClip(bool state) noexcept;
    virtual void canMono(bool state) noexcept;
    virtual void canProcessReplacing(bool state) noexcept;
    virtual VstIntPtr getMasterVersion() noexcept;
    virtual VstIntPtr getCurrentUniqueId() noexcept;
    virtual void masterIdle() noexcept;
    virtual VstIntPtr isInputConnected(std::int32_t index) noexcept;
    virtual VstIntPtr isOutputConnected(std::int32_t index) noexcept;
    virtual void dB2string(float gain, char* text) noexcept;
    virtual void Hz2string(float samples, char* text) noexcept;
    virtual void ms2string(float samples, char* text) noexcept;
    virtual void float2string(float value, char* text) noexcept;
    virtual void long2string(std::int32_t value, char* text) noexcept;
    virtual void maskFpuExceptions() noexcept;
    // Audio thread. Adds input × gain to the outputs; every effect supplies it.
    virtual void process(float** inputs, float** outputs, std::int32_t sampleFrames) noexcept VELMORA_NONBLOCKING = 0;
    // Audio thread. Writes input × gain to the outputs.
    virtual void processReplacing(float** inputs, float** outputs,
                                  std::int32_t sampleFrames) noexcept VELMORA_NONBLOCKING;
    virtual VstIntPtr dispatcher(std::int32_t opcode, std::int32_t index, VstIntPtr value, void* ptr,
                                 float opt) noexcept;
    // Any host thread, the audio thread included (automation).
    virtual void setParameter(std::int32_t index, float value) noexcept VELMORA_NONBLOCKING;
    virtual float getParameter(std::int32_t index) noexcept VELMORA_NONBLOCKING;
    virtual void setParameterAutomated(std::int32_t index, float value) noexcept;
    virtual AEffect* getAeffect() noexcept;
    virtual void setEditor(AEffEditor* editor) noexcept;

protected:
    Relaxed<float> sampleRate;
    AEffEditor* editor;
    audioMasterCallback audioMaster;
    std::int32_t numParams;
    std::int32_t numPrograms;
    Relaxed<std::int32_t> curProgram;
    Relaxed<std::int32_t> blockSize;
    AEffect cEffect;

private:
    void setFlag(std::int32_t bit, bool state) noexcept;
};

// Defined by each deliverable: constructs its effect for `main`. May throw
// (for instance std::bad_alloc); `main` turns any failure into a null answer.
TAudioEffect* createEffectInstance(audioMasterCallback audioMaster);
