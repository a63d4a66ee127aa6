// TTremolo: a stereo tremolo. Every sample frame takes one gain value from
// the low-frequency oscillator and multiplies both channels by it, so the
// gain swings between 0 and the level. Four parameters (Waveform, Tempo,
// P-Width, Level) and a bank of 16 programs kept in memory.
#pragma once

#include <cstdint>

#include "AudioEffect.h"
#include "LFO.h"
#include "Program.h"
#include "Relaxed.h"

class TTremolo final : public TAudioEffect {
public:
    static constexpr std::int32_t kNumParams = 4;
    static constexpr std::int32_t kNumPrograms = 16;
    enum Parameter : std::int32_t { kWaveform = 0, kTempo = 1, kPulseWidth = 2, kLevel = 3 };

    // Construction thread (the host's call of `main`). Sets up the channels,
    // identifier and flags, the oscillator and the programs, then loads
    // program 0.
    explicit TTremolo(audioMasterCallback audioMaster) noexcept;
    // effClose, any host thread, never while processing.
    ~TTremolo() override;

    // Any host thread, while the audio is stopped (effMainsChanged 0).
    // Restarts the oscillator's cycle and onset window.
    void suspend() noexcept override;
    // Any host thread. Loads a program's values through setParameter;
    // an index outside 0..15 is ignored.
    void setProgram(std::int32_t program) noexcept override;
    // Any host thread but the audio thread: text work.
    void setProgramName(const char* name) noexcept override;
    // Any host thread, while the audio is stopped. Rates of 11000 Hz and
    // below reach the base class but are refused by the oscillator.
    void setSampleRate(float rate) noexcept override;
    // Any host thread but the audio thread: text work. A null buffer is ignored.
    void getProgramName(char* text) noexcept override;
    void getParameterLabel(std::int32_t index, char* text) noexcept override;
    void getParameterDisplay(std::int32_t index, char* text) noexcept override;
    void getParameterName(std::int32_t index, char* text) noexcept override;
    // Audio thread. Adds input × gain to the outputs; allocates, locks and
    // calls nothing but the oscillator. Null buffers are ignored.
    void process(float** inputs, float** outputs, std::int32_t sampleFrames) noexcept VELMORA_NONBLOCKING override;
    // Audio thread. Writes input × gain to the outputs; same rules.
    void processReplacing(float** inputs, float** outputs,
                          std::int32_t sampleFrames) noexcept VELMORA_NONBLOCKING override;
    // Any host thread, the audio thread included (automation): only stores.
    void setParameter(std::int32_t index, float value) noexcept VELMORA_NONBLOCKING override;
    // Any host thread.
    float getParameter(std::int32_t index) noexcept VELMORA_NONBLOCKING override;

private:
    void applyWaveform(float value) noexcept;
    TProgram* currentProgram() noexcept;

    TLfo lfo;
    Relaxed<float> levelValue{0.0f};
    Relaxed<float> tempoValue{0.0f};
    Relaxed<float> pulseWidthValue{0.0f};
    Relaxed<float> waveformValue{0.0f};
    TProgram programs[kNumPrograms];
};
