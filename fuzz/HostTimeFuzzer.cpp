// The host-time fuzz target: one effect's format core (EffectCore.h), as
// the LV2, VST3 and CLAP wrappers drive it, under whatever time a host may
// report. Compiled once per effect (VELMORA_TIME_FUZZ_GATER or _TREMOLO).
//
// An input is a script of operations on a fresh core, one byte choosing
// each, its operands after it (reading past the end gives zeros):
//   time      u8 flags (bit 0 rolling, bit 1 tempo given, bit 2 position
//             given, bit 3 frame counter given), then the tempo, the
//             position and the frame counter, each a u8 choosing a special
//             value (zero, negative, NaN, infinite, huge, the edges of the
//             usable range) or, from 0xC0 on, the next 8 bytes as a double
//   process   u8: below 0xC0 that many frames modulo 65, else the next u16
//             modulo kMaxFrames + 1; then a u8 whose bit 0 processes in
//             place and a u32 that seeds the input noise
//   parameter u8 index (modulo the parameter count), then the value's
//             bits (u32)
//   sync      u8: bit 0 sets Sync on or off
//   restart   the host reactivates the plug-in
//   rate      u8 choosing a sample rate, among them unusable ones
//   walk      the position moves by i8 × 1/4096 quarter note (within and
//             beyond a host's rounding) and the tempo by an i8 step, the
//             frame counter running on: a jump and a tempo change every
//             block
// AddressSanitizer and UndefinedBehaviorSanitizer catch memory and
// arithmetic faults; the check below catches what they cannot see: from
// finite input, every output sample is finite and no louder than its input
// (every gain of both effects lies within 0..1). A broken rule prints one
// line and aborts, so the fuzzer keeps the input.
//
// The seeds (fuzz/corpus/time, the same for both effects): "rolling"
// (120 BPM from the song's start, blocks of 1 to 4096 frames), "jumps" (a
// jump and a tempo change every block, Sync switched between) and
// "bad-time" (each special tempo and position in turn, with stops, restarts
// and rate changes between).
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <limits>
#include <memory>

#include "EffectCore.h"
#include "HostScript.h"
#include "HostTime.h"

#if defined(VELMORA_TIME_FUZZ_GATER)
#include "GaterDescription.h"
using Core = TEffectCore<GaterDescription>;
#elif defined(VELMORA_TIME_FUZZ_TREMOLO)
#include "TremoloDescription.h"
using Core = TEffectCore<TremoloDescription>;
#endif

namespace {

using velmora::fuzz::ByteReader;

enum class TimeOp : std::uint8_t { Time, Process, Parameter, Sync, Restart, Rate, Walk, Count };

constexpr std::uint32_t kMaxFrames = 8192;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr std::uint8_t kRawDouble = 0xC0;

constexpr double kTempos[] = {0.0,    -0.0,     -120.0, kNaN, kInf,   -kInf, 1e300, 4.9e-324, 0.999,      1.0,
                              1000.0, 1000.001, 120.0,  93.0, 133.33, 30.0,  360.0, 0x1p-30,  1.0 + 1e-15};
constexpr double kPositions[] = {0.0,
                                 -0.0,
                                 -1.0,
                                 kNaN,
                                 kInf,
                                 -kInf,
                                 1e300,
                                 0x1p40,
                                 -0x1p40,
                                 0x1p40 - 1.0,
                                 -(0x1p40 - 1.0),
                                 0x1p62,
                                 0.25,
                                 0.25 - 1e-12,
                                 4.9e-324,
                                 1e7 + 0.125,
                                 -1e-300,
                                 0x1p39 + 0.0625};
constexpr double kRates[] = {44100.0, 48000.0, 96000.0, 192000.0, 8000.0, 1.0, 0.0, -44100.0, kNaN, kInf, 1e12};

double chosen(ByteReader& in, const double* specials, std::size_t count) {
    const std::uint8_t pick = in.u8();
    if (pick < kRawDouble) return specials[pick % count];
    const std::uint64_t bits = in.u64();
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

[[noreturn]] void fail(const char* rule, std::uint32_t frame, float in, float out) {
    std::fprintf(stderr, "velmora time fuzz: rule broken: %s (frame %u: %g in, %g out)\n", rule, frame, double(in),
                 double(out));
    std::abort();
}

// One session of the script on a fresh core.
class TimeSession {
public:
    explicit TimeSession(ByteReader& in) : in(in) { core.setSampleRate(44100.0); }

    void play() {
        while (!in.done()) step(TimeOp(in.u8() % std::uint8_t(TimeOp::Count)));
    }

private:
    void step(TimeOp op) {
        switch (op) {
            case TimeOp::Time: readTime(); break;
            case TimeOp::Process: process(); break;
            case TimeOp::Parameter: {
                const std::uint32_t index = in.u8() % Core::parameterCount;
                core.setValue(index, in.f32());
                break;
            }
            case TimeOp::Sync: core.setValue(Core::kSync, float(in.u8() & 1)); break;
            case TimeOp::Restart: core.restart(); break;
            case TimeOp::Rate: core.setSampleRate(kRates[in.u8() % std::size(kRates)]); break;
            case TimeOp::Walk: walk(); break;
            case TimeOp::Count: break;
        }
    }

    void readTime() {
        const std::uint8_t flags = in.u8();
        time.playing = (flags & 1) != 0;
        time.hasTempo = (flags & 2) != 0;
        time.hasPosition = (flags & 4) != 0;
        time.hasFrame = (flags & 8) != 0;
        time.tempo = chosen(in, kTempos, std::size(kTempos));
        time.beats = chosen(in, kPositions, std::size(kPositions));
        time.frame = chosen(in, kPositions, std::size(kPositions));
        core.setHostTime(time);
    }

    void walk() {
        time.beats += double(std::int8_t(in.u8())) / 4096.0;
        time.tempo += double(std::int8_t(in.u8()));
        core.setHostTime(time);
    }

    void process() {
        const std::uint8_t size = in.u8();
        const std::uint32_t frames = size < kRawDouble ? size % 65u : in.u16() % (kMaxFrames + 1);
        const bool inPlace = (in.u8() & 1) != 0;
        std::uint32_t seed = in.u32();
        for (std::uint32_t f = 0; f < frames; ++f) {
            seed = seed * 1664525u + 1013904223u;
            left[f] = float(std::int32_t(seed)) * 0x1p-31f;
            right[f] = -left[f];
            input[f] = left[f];
        }
        if (frames == 0) return;  // the wrappers turn an empty block away
        float* out0 = inPlace ? left : outLeft;
        float* out1 = inPlace ? right : outRight;
        core.process(left, right, out0, out1, frames);
        time.frame += double(frames);  // the host's counter runs on
        check(out0, out1, frames);
    }

    // The output from finite input: finite, and no louder than the input.
    void check(const float* out0, const float* out1, std::uint32_t frames) const {
        for (std::uint32_t f = 0; f < frames; ++f) {
            if (!std::isfinite(out0[f]) || !std::isfinite(out1[f])) fail("non-finite output", f, input[f], out0[f]);
            if (std::fabs(out0[f]) > std::fabs(input[f]) || std::fabs(out1[f]) > std::fabs(input[f])) {
                fail("output louder than its input", f, input[f], out0[f]);
            }
        }
    }

    ByteReader& in;
    Core core;
    HostTime time;
    float input[kMaxFrames];
    float left[kMaxFrames], right[kMaxFrames];
    float outLeft[kMaxFrames], outRight[kMaxFrames];
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ByteReader in(data, size);
    const auto session = std::make_unique<TimeSession>(in);  // its buffers are too large for the stack
    session->play();
    return 0;
}
