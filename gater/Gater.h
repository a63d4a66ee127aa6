// TGater: the step gate effect. It multiplies a stereo signal, frame by
// frame, by the gain sequence of its TOsc, and offers the host 19
// parameters (Steps, Tempo, Edge, Step 1..16) and 16 programs.
//
// Threads: process/processReplacing run on the audio thread; every other
// operation may come from any host thread at the same time. The only state
// the audio thread reads is the oscillator's, whose shared fields are
// relaxed atomics; the parameter copy and the programs are relaxed atomics
// too, because hosts call setParameter/getParameter from several threads.
#pragma once

#include <cstdint>
#include <memory>

#include "AudioEffect.h"
#include "Osc.h"
#include "Program.h"

class TGater : public TAudioEffect {
public:
    static constexpr std::int32_t numParameters = 19;
    static constexpr std::int32_t numBankPrograms = 16;

    // Construction thread (inside `main`). Allocates the oscillator and the
    // programs; may throw std::bad_alloc, which `main` turns into no effect.
    explicit TGater(audioMasterCallback audioMaster);
    // effClose, any host thread, never during processing.
    ~TGater() override;

    // Any host thread. Both restart the sequence at step 1.
    void resume() noexcept override;
    void suspend() noexcept override;
    // Any host thread. 0..15 makes the program current and loads its values;
    // any other index changes nothing.
    void setProgram(std::int32_t program) noexcept override;
    // Any host thread. The first 24 characters become the current program's
    // name; a null pointer changes nothing.
    void setProgramName(const char* name) noexcept override;
    // Any host thread. The oscillator takes a finite rate from its next step.
    void setSampleRate(float rate) noexcept override;
    // Any host thread. Writes the name (up to 24 characters and a zero byte).
    void getProgramName(char* text) noexcept override;
    // Any host thread. Write 8 characters and a zero byte for index 0..18;
    // any other index, or a null buffer, leaves the buffer untouched.
    void getParameterLabel(std::int32_t index, char* text) noexcept override;
    void getParameterDisplay(std::int32_t index, char* text) noexcept override;
    void getParameterName(std::int32_t index, char* text) noexcept override;
    // Audio thread. No allocation, lock, host call or text work. Null
    // buffers or sampleFrames <= 0 do nothing.
    void process(float** inputs, float** outputs, std::int32_t sampleFrames) noexcept VELMORA_NONBLOCKING override;
    void processReplacing(float** inputs, float** outputs,
                          std::int32_t sampleFrames) noexcept VELMORA_NONBLOCKING override;
    // Any host thread, the audio thread included. Index 0..18; others ignored.
    void setParameter(std::int32_t index, float value) noexcept VELMORA_NONBLOCKING override;
    float getParameter(std::int32_t index) noexcept VELMORA_NONBLOCKING override;

private:
    TProgram& currentProgram() noexcept { return *programs[curProgram]; }
    // long2string of a value rounded to nearest (ties to even); a value too
    // large for an integer goes through as one long2string shows as too large.
    void roundedLong2string(double value, char* text) noexcept;

    Relaxed<float> paramValues[numParameters];
    std::unique_ptr<TOsc> osc;
    std::unique_ptr<TProgram> programs[numBankPrograms];
};
