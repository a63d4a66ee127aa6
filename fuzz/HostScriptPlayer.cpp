// The fuzz target: plays one input (see HostScript.h) as a session of host
// calls on a fresh instance of the plug-in that is compiled into this
// program, and ends it with effClose.
//
// AddressSanitizer and UndefinedBehaviorSanitizer catch memory and
// arithmetic faults; the checks below catch what they cannot see, each a
// rule that hosts rely on. A broken rule prints one line and aborts, so the
// fuzzer keeps the input that broke it:
// - text getters stay inside buffers of exactly 9 bytes (25 for the
//   program name), terminate the text there, and leave the buffer alone
//   for an index the effect does not have;
// - getParameter answers 0 for such an index; the current program is
//   always one of the effect's;
// - a process call with no frames, or with a null channel, touches no
//   buffer; one with separate buffers leaves its inputs alone;
// - with every parameter inside 0..1, the gain is within -1..1: replacing
//   output is never louder than the input, and finite input gives finite
//   output;
// - the plug-in calls its host for nothing but the version query;
// - effClose answers 1.
//
// Each plug-in's sources are compiled into its own fuzz executable, so
// coverage reaches them. Their entry point is the C function `main`; the
// executable is linked with --wrap=main, so the program starts in
// __wrap_main below (which runs the fuzzer) and __real_main is the plug-in's
// entry point.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <vector>

#include "AEffect.h"
#include "HostScript.h"

extern "C" AEffect* __real_main(audioMasterCallback audioMaster);
extern "C" int LLVMFuzzerRunDriver(int* argc, char*** argv, int (*callback)(const std::uint8_t*, std::size_t));
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

extern "C" int __wrap_main(int argc, char** argv) { return LLVMFuzzerRunDriver(&argc, &argv, LLVMFuzzerTestOneInput); }

namespace {

using namespace velmora::fuzz;

// The per-sample loops of this player (filling and comparing buffers) are
// left out of the coverage instrumentation: it is the plug-in's branches
// that guide the fuzzer, and tracing every compare of these loops would
// cost most of the run time.
#define VELMORA_NO_COVERAGE __attribute__((no_sanitize("coverage"), noinline))

[[noreturn]] void fail(const char* rule) {
    std::fprintf(stderr, "velmora fuzz: rule broken: %s\n", rule);
    std::abort();
}

VstIntPtr hostAnswering(VstIntPtr version, std::int32_t opcode) {
    if (opcode != audioMasterVersion) fail("the plug-in called its host for more than the version");
    return version;
}
VstIntPtr VSTCALLBACK refusingHost(AEffect*, std::int32_t opcode, std::int32_t, VstIntPtr, void*, float) {
    return hostAnswering(0, opcode);
}
VstIntPtr VSTCALLBACK host(AEffect*, std::int32_t opcode, std::int32_t, VstIntPtr, void*, float) {
    return hostAnswering(2400, opcode);
}

std::uint64_t splitmix(std::uint64_t& state) {
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

VELMORA_NO_COVERAGE bool sameBits(const float* a, const float* b, std::size_t count) {
    return std::memcmp(a, b, count * sizeof(float)) == 0;
}

// One channel buffer of exactly the frames of the call (at least 8, so that
// calls with no frames have samples to leave alone), so that AddressSanitizer
// sees any access beyond it, and a copy of what it held before the call.
struct Channel {
    Channel(std::size_t frames, std::vector<float>& copy) : size(frames), samples(new float[frames]), before(copy) {
        before.resize(frames);
    }
    void keep() { std::memcpy(before.data(), samples.get(), size * sizeof(float)); }
    bool unchanged() const { return sameBits(samples.get(), before.data(), size); }

    std::size_t size;
    std::unique_ptr<float[]> samples;
    std::vector<float>& before;
};

class Session {
public:
    explicit Session(ByteReader& in) : in_(in) {
        if ((in_.u8() & 1) != 0 && __real_main(refusingHost) != nullptr) {
            fail("the entry point made an effect for a host that answered version 0");
        }
        open();
    }
    ~Session() { close(); }

    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    void play() {
        while (!in_.done()) {
            switch (static_cast<Op>(in_.u8() % static_cast<std::uint8_t>(Op::Count))) {
                case Op::Dispatch: dispatch(); break;
                case Op::SetParameter: {
                    const std::int32_t index = readIndex();
                    effect_->setParameter(effect_, index, in_.f32());
                    break;
                }
                case Op::GetParameter: getParameter(readIndex()); break;
                case Op::SetProgram:
                    call(effSetProgram, 0, readValue());
                    checkProgram();
                    break;
                case Op::MainsChanged: call(effMainsChanged, 0, in_.u8()); break;
                case Op::Process: process(false); break;
                case Op::ProcessReplacing: process(true); break;
                case Op::SampleRate: call(effSetSampleRate, 0, 0, nullptr, in_.f32()); break;
                case Op::BlockSize: call(effSetBlockSize, 0, readValue()); break;
                case Op::ReadTexts: readTexts(); break;
                case Op::Count: break;
            }
        }
    }

private:
    void open() {
        effect_ = __real_main(host);
        if (effect_ == nullptr) fail("the entry point made no effect");
        if (effect_->magic != kEffectMagic) fail("the record has no magic");
        numParams_ = std::max(effect_->numParams, 0);
        numPrograms_ = std::max(effect_->numPrograms, 0);
    }

    void close() {
        if (effect_ == nullptr) return;
        AEffect* closing = effect_;
        effect_ = nullptr;
        if (closing->dispatcher(closing, effClose, 0, 0, nullptr, 0.0f) != 1) fail("effClose did not answer 1");
    }

    VstIntPtr call(std::int32_t opcode, std::int32_t index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                   float opt = 0.0f) {
        return effect_->dispatcher(effect_, opcode, index, value, ptr, opt);
    }

    std::int32_t readIndex() {
        const std::uint8_t b = in_.u8();
        if (b < select::kWideIndex) return static_cast<std::int32_t>(b % (numParams_ + 4)) - 2;
        return static_cast<std::int32_t>(in_.u32());
    }

    VstIntPtr readValue() {
        const std::uint8_t b = in_.u8();
        if (b < select::kWideValue) return static_cast<VstIntPtr>(b % 34) - 2;
        if (b < select::kWidestValue) return static_cast<std::int32_t>(in_.u32());
        return static_cast<VstIntPtr>(in_.u64());
    }

    std::int32_t readOpcode() {
        const std::uint8_t b = in_.u8();
        if (b < select::kOutsideOpcodes) return b % 23;
        if (b < select::kWideOpcode) return 23 + (b - select::kOutsideOpcodes) * 6;
        return static_cast<std::int32_t>(in_.u32());
    }

    std::int32_t readFrames() {
        const std::uint8_t b = in_.u8();
        if (b < select::kLargeFrames) return b % 33;
        if (b < select::kSpecialFramesFrom) return in_.u16() % (select::kMaxFrames + 1);
        return select::kSpecialFrames[b - select::kSpecialFramesFrom];
    }

    bool isParameter(std::int32_t index) const { return index >= 0 && index < numParams_; }

    void dispatch() {
        const std::int32_t opcode = readOpcode();
        const std::int32_t index = readIndex();
        const VstIntPtr value = readValue();
        const float opt = in_.f32();
        switch (opcode) {
            case effClose:
                in_.u8();  // the ptr selector, unused
                close();
                open();
                return;
            case effSetProgramName: {
                const std::size_t length = in_.u8() % kMaxNameBytes;
                std::unique_ptr<char[]> name(new char[length + 1]);
                for (std::size_t i = 0; i < length; ++i) name[i] = static_cast<char>(in_.u8());
                name[length] = '\0';
                call(opcode, index, value, name.get(), opt);
                return;
            }
            case effGetProgramName: programName(index, value, opt); return;
            case effGetParamLabel:
            case effGetParamDisplay:
            case effGetParamName: parameterText(opcode, index, value, opt); return;
            default: {
                std::unique_ptr<char[]> scratch;
                if ((in_.u8() & 1) != 0) {
                    scratch.reset(new char[256]);
                    std::memset(scratch.get(), 0, 256);
                }
                call(opcode, index, value, scratch.get(), opt);
                if (opcode == effSetProgram) checkProgram();
                return;
            }
        }
    }

    void getParameter(std::int32_t index) {
        const float value = effect_->getParameter(effect_, index);
        if (!isParameter(index) && !(value == 0.0f)) fail("getParameter of an index outside the list is not 0");
    }

    void checkProgram() {
        const VstIntPtr program = call(effGetProgram);
        if (numPrograms_ > 0 && (program < 0 || program >= numPrograms_)) {
            fail("the current program is not one of the effect's");
        }
    }

    // Name, label or display into a buffer of exactly 9 bytes.
    void parameterText(std::int32_t opcode, std::int32_t index, VstIntPtr value = 0, float opt = 0.0f) {
        constexpr std::size_t kSize = 9;
        std::unique_ptr<char[]> text(new char[kSize]);
        std::memset(text.get(), 0x7F, kSize);
        call(opcode, index, value, text.get(), opt);
        if (isParameter(index)) {
            if (std::memchr(text.get(), '\0', kSize) == nullptr) fail("a parameter text has no zero within 9 bytes");
        } else {
            for (std::size_t i = 0; i < kSize; ++i) {
                if (text[i] != 0x7F) fail("a parameter text was written for an index outside the list");
            }
        }
    }

    // The program name into a buffer of exactly 25 bytes.
    void programName(std::int32_t index = 0, VstIntPtr value = 0, float opt = 0.0f) {
        constexpr std::size_t kSize = 25;
        std::unique_ptr<char[]> text(new char[kSize]);
        std::memset(text.get(), 0x7F, kSize);
        call(effGetProgramName, index, value, text.get(), opt);
        if (std::memchr(text.get(), '\0', kSize) == nullptr) fail("the program name has no zero within 25 bytes");
    }

    void readTexts() {
        for (std::int32_t opcode : {effGetParamName, effGetParamLabel, effGetParamDisplay}) {
            for (std::int32_t index = -1; index <= numParams_; ++index) parameterText(opcode, index);
        }
        programName();
    }

    bool parametersInsideZeroToOne() {
        for (std::int32_t index = 0; index < numParams_; ++index) {
            const float value = effect_->getParameter(effect_, index);
            if (!(value >= 0.0f && value <= 1.0f)) return false;
        }
        return true;
    }

    VELMORA_NO_COVERAGE void fill(Channel& channel, Contents contents, std::uint64_t& noise, float constant) {
        static constexpr float kSpecials[] = {NAN,           INFINITY,       -INFINITY, 1e-45f, -1e-45f, 1.1754942e-38f,
                                              3.4028235e38f, -3.4028235e38f, 0.0f,      -0.0f,  1.0f,    -1.0f,
                                              1e-30f};
        for (std::size_t i = 0; i < channel.size; ++i) {
            float& sample = channel.samples[i];
            switch (contents) {
                case Contents::Silence: sample = 0.0f; break;
                case Contents::Noise:
                    sample = static_cast<float>(static_cast<double>(splitmix(noise) >> 11) * 0x1.0p-52 - 1.0);
                    break;
                case Contents::Specials: sample = kSpecials[i % std::size(kSpecials)]; break;
                default: sample = constant; break;
            }
        }
        channel.keep();
    }

    void process(bool replacing) {
        const std::int32_t frames = readFrames();
        const auto layout = static_cast<Layout>(in_.u8() % static_cast<std::uint8_t>(Layout::Count));
        const auto contents = static_cast<Contents>(in_.u8() % static_cast<std::uint8_t>(Contents::Count));
        std::uint64_t noise = contents == Contents::Noise ? in_.u32() : 0;
        const float constant = contents == Contents::Constant ? in_.f32() : 0.0f;

        const std::size_t size = static_cast<std::size_t>(std::max(frames, 8));
        Channel buffers[4] = {Channel(size, copies_[0]), Channel(size, copies_[1]), Channel(size, copies_[2]),
                              Channel(size, copies_[3])};
        for (Channel& buffer : buffers) fill(buffer, contents, noise, constant);
        float* b[4] = {buffers[0].samples.get(), buffers[1].samples.get(), buffers[2].samples.get(),
                       buffers[3].samples.get()};
        float* inputs[2] = {b[0], b[1]};
        float* outputs[2] = {b[2], b[3]};
        switch (layout) {
            case Layout::InPlace:
                outputs[0] = b[0];
                outputs[1] = b[1];
                break;
            case Layout::Crossed:
                outputs[0] = b[1];
                outputs[1] = b[0];
                break;
            case Layout::SharedOutput:
                outputs[0] = b[0];
                outputs[1] = b[0];
                break;
            case Layout::NullChannel: inputs[1] = nullptr; break;
            default: break;
        }
        // Read before the call: the parameters cannot change during it.
        const bool sane = layout == Layout::Separate && parametersInsideZeroToOne();

        (replacing ? effect_->processReplacing : effect_->process)(effect_, inputs, outputs, frames);

        if (frames <= 0 || layout == Layout::NullChannel) {
            for (const Channel& buffer : buffers) {
                if (!buffer.unchanged()) fail("a process call that has nothing to do changed a buffer");
            }
            return;
        }
        if (layout != Layout::Separate) return;
        if (!buffers[0].unchanged() || !buffers[1].unchanged()) fail("processing changed its separate inputs");
        if (!sane) return;
        const bool bounded = contents == Contents::Silence || contents == Contents::Noise;
        for (int c = 0; c < 2; ++c) checkGain(buffers[c], buffers[2 + c], frames, replacing, bounded);
    }

    // Replacing output no louder than the input; accumulating output, over
    // input and output within -1..1, finite.
    VELMORA_NO_COVERAGE static void checkGain(const Channel& in, const Channel& out, std::int32_t frames,
                                              bool replacing, bool bounded) {
        for (std::int32_t i = 0; i < frames; ++i) {
            const float x = in.samples[i];
            const float y = out.samples[i];
            if (replacing && std::isfinite(x) && !(std::fabs(y) <= std::fabs(x))) {
                fail("with every parameter inside 0..1 the output is louder than the input");
            }
            if (!replacing && bounded && !std::isfinite(y)) {
                fail("with every parameter inside 0..1 finite input gave non-finite output");
            }
        }
    }

    ByteReader& in_;
    std::vector<float> copies_[4];
    AEffect* effect_ = nullptr;
    std::int32_t numParams_ = 0;
    std::int32_t numPrograms_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ByteReader in(data, size);
    Session session(in);
    session.play();
    return 0;
}
