// A small effect on the framework, built as its own plug-in, that reports
// what reaches it (see TestProtocol.h). Built twice, with VELMORA_TEST_TAG
// "TestA" and "TestB": same classes, separate libraries.
#include <cmath>
#include <new>

#include "AudioEffect.h"
#include "Rounding.h"
#include "TestProtocol.h"

using namespace testplugin;

namespace {

void report(audioMasterCallback host, AEffect* effect, std::int32_t event, VstIntPtr value = 0, void* ptr = nullptr,
            float opt = 0.0f) noexcept {
    if (host != nullptr) host(effect, kReport, event, value, ptr, opt);
}

class TTestEditor : public AEffEditor {
public:
    TTestEditor(audioMasterCallback host, AEffect* effect) : host(host), effect(effect) {}
    ~TTestEditor() override { report(host, effect, kEditorDestroyed); }
    std::int32_t getRect(ERect** where) override {
        report(host, effect, kEditorGetRect, 0, where);
        *where = &rect;
        return kEditorRectAnswer;
    }
    std::int32_t open(void* parent) override {
        report(host, effect, kEditorOpen, 0, parent);
        return kEditorOpenAnswer;
    }
    void close() override { report(host, effect, kEditorClose); }
    void idle() override { report(host, effect, kEditorIdle); }

private:
    audioMasterCallback host;
    AEffect* effect;
    ERect rect{0, 0, 100, 200};
};

}  // namespace

// Shared name in both builds: a library that used the other's copy would
// show the other's tag.
const char* pluginTag() noexcept { return VELMORA_TEST_TAG; }

class TTestEffect : public TAudioEffect {
public:
    explicit TTestEffect(audioMasterCallback host) noexcept : TAudioEffect(host, kParameterCount, kProgramCount) {
        say(kConstructed);
    }
    ~TTestEffect() override { say(kEffectDestroyed); }

    void open() noexcept override { say(kOpen); }
    void close() noexcept override { say(kClose); }
    void resume() noexcept override { say(kResume); }
    void suspend() noexcept override { say(kSuspend); }
    void setProgram(std::int32_t program) noexcept override {
        say(kSetProgram, program);
        TAudioEffect::setProgram(program);
    }
    void setProgramName(const char* name) noexcept override { say(kSetProgramName, 0, const_cast<char*>(name)); }
    void setSampleRate(float rate) noexcept override {
        say(kSetSampleRate, 0, nullptr, rate);
        TAudioEffect::setSampleRate(rate);
    }
    void setBlockSize(std::int32_t frames) noexcept override {
        say(kSetBlockSize, frames);
        TAudioEffect::setBlockSize(frames);
    }
    std::int32_t getProgram() noexcept override {
        say(kGetProgram);
        return TAudioEffect::getProgram();
    }
    void getProgramName(char* text) noexcept override {
        say(kGetProgramName);
        TAudioEffect::getProgramName(text);
    }
    void getParameterLabel(std::int32_t index, char* text) noexcept override {
        say(kGetParameterLabel, index);
        TAudioEffect::getParameterLabel(index, text);
    }
    void getParameterName(std::int32_t index, char* text) noexcept override {
        say(kGetParameterName, index);
        if (index == 0) {
            for (const char* c = pluginTag();; ++c, ++text)
                if ((*text = *c) == '\0') break;
        } else {
            TAudioEffect::getParameterName(index, text);
        }
    }
    void getParameterDisplay(std::int32_t index, char* text) noexcept override {
        say(kGetParameterDisplay, index);
        const float value = index >= 0 && index < kParameterCount ? parameters[index] : 0.0f;
        std::int32_t whole = 0;
        switch (index) {
            case kFloat2string: float2string(value, text); break;
            case kLong2string:
                if (roundToInt32(value, whole)) long2string(whole, text);
                break;
            case kDB2string: dB2string(value, text); break;
            case kHz2string: Hz2string(value, text); break;
            case kMs2string: ms2string(value, text); break;
            default: TAudioEffect::getParameterDisplay(index, text);
        }
    }
    float getVu() noexcept override {
        say(kGetVu);
        return vuFromParameter ? parameters[kVuLevel] : TAudioEffect::getVu();
    }

    void process(float** inputs, float** outputs, std::int32_t frames) noexcept override {
        for (int c = 0; c < 2; ++c)
            for (std::int32_t i = 0; i < frames; ++i) outputs[c][i] += inputs[c][i];
    }
    void processReplacing(float** inputs, float** outputs, std::int32_t frames) noexcept override {
        for (int c = 0; c < 2; ++c)
            for (std::int32_t i = 0; i < frames; ++i) outputs[c][i] = 2.0f * inputs[c][i];
    }

    void setParameter(std::int32_t index, float value) noexcept override {
        if (index >= 0 && index < kParameterCount) parameters[index] = value;
        std::int32_t command = 0;
        if (index == kCommandIndex && roundToInt32(value, command)) run(command);
    }
    float getParameter(std::int32_t index) noexcept override {
        return index >= 0 && index < kParameterCount ? parameters[index] : TAudioEffect::getParameter(index);
    }

private:
    void say(std::int32_t event, VstIntPtr value = 0, void* ptr = nullptr, float opt = 0.0f) noexcept {
        report(audioMaster, &cEffect, event, value, ptr, opt);
    }

    void run(std::int32_t command) noexcept {
        switch (command) {
            case kAttachEditor: setEditor(new (std::nothrow) TTestEditor(audioMaster, &cEffect)); break;
            case kDetachEditor: {
                AEffEditor* old = editor;
                setEditor(nullptr);
                delete old;
                break;
            }
            case kHasClipOff:
            case kHasClipOn: hasClip(command == kHasClipOn); break;
            case kHasVuOff:
            case kHasVuOn: hasVu(command == kHasVuOn); break;
            case kCanMonoOff:
            case kCanMonoOn: canMono(command == kCanMonoOn); break;
            case kCanReplacingOff:
            case kCanReplacingOn: canProcessReplacing(command == kCanReplacingOn); break;
            case kIdFiveChars: setUniqueID(TIdentifierText::from("ABCDE")); break;
            case kIdFourChars: setUniqueID(TIdentifierText::from("ABCD")); break;
            case kIdTwoChars: setUniqueID(TIdentifierText::from("Ab")); break;
            case kIdEmpty: setUniqueID(TIdentifierText::from("")); break;
            case kIdHighChars: setUniqueID(TIdentifierText::from("\xFFzz\x80")); break;
            case kIdNumber: setUniqueID(-2); break;
            case kAutomate: setParameterAutomated(1, 0.75f); break;
            case kAskMasterVersion: say(kAnswer, getMasterVersion()); break;
            case kAskCurrentUniqueId: say(kAnswer, getCurrentUniqueId()); break;
            case kMasterIdle: masterIdle(); break;
            case kAskInputConnected: say(kAnswer, isInputConnected(3)); break;
            case kAskOutputConnected: say(kAnswer, isOutputConnected(5)); break;
            case kAskSampleRate: say(kAnswer, 0, nullptr, getSampleRate()); break;
            case kAskBlockSize: say(kAnswer, getBlockSize()); break;
            case kVuFromParameter: vuFromParameter = true; break;
            default: break;
        }
    }

    float parameters[kParameterCount] = {};
    bool vuFromParameter = false;
};

TAudioEffect* createEffectInstance(audioMasterCallback audioMaster) { return new TTestEffect(audioMaster); }
