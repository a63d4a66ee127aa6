// The block engine: an oscillator's gains for a whole audio block, bit for
// bit the values of its per-sample `tick`, computed a stretch at a time.
//
// The road of a block. An oscillator's replace/accumulate/render (the
// entries at the end of this file) pick the variant the processor runs and
// build the output stage (OutputStages.h). If the block lies inside the
// stretch the last block ended in, it is continued inline: one constant or
// one table times the oscillator's scale, no more. Otherwise the block is
// cut, out of line: the oscillator's running state (its `Running`, a copy
// of the fields a block changes) describes the period it is in as segments
// (Period.h); each stretch is the part of a segment (or, once computed, a
// run of the period cache) up to the block's end; positions the segments do
// not describe go through the per-sample rule.
//
// The period cache. The values of a period, once computed, are kept by
// position for as long as the oscillator describes its periods the same
// way: a later period is then a table times its scale (the gater's step
// gain, the tremolo's level), without computing a value. The cache fills
// in position order while the first such period plays.
//
// What the oscillator provides (TOsc, TLfo), for the engine only:
// - `position` (relaxed atomic float), `resets` (relaxed atomic count),
//   `memory` (an engine::Memory), `shapeKey()` (what, besides the period's
//   lengths, its description depends on: its reset count in the low 32
//   bits and, for the tremolo, the waveform above them), `scale()` (the
//   factor of every value now);
// - a nested `Running` class, made from the oscillator for one block and
//   writing back once, with: `position`, `periodEnded()`, `startPeriod()`
//   (the boundary, where the oscillator takes up its settings; returns
//   whether it did: the period is otherwise described as the last one),
//   `describe(Period&)` (returns the key it described under), `scale()`,
//   `perSampleOnly()`, `tick()` (the per-sample rule) and `passed(segment,
//   frames)` (frames went through a counted segment).
#pragma once

#include <bit>
#include <cstdint>
#include <memory>
#include <new>

#include "Dispatch.h"
#include "ExactShapes.h"
#include "Nonblocking.h"
#include "OutputStages.h"
#include "Period.h"

namespace engine {

// The stretch the last block ended in, where the next block may continue
// without cutting: a constant, or the period cache, over the whole
// positions [start, end), while the oscillator's shape key is the same.
struct Hint {
    // [start, end) as bits: a non-negative float orders as its bits do, so
    // bits(p) - startBits < spanBits tests start <= p < end in one compare
    // (false for NaN and negative p, and for every p when forgotten).
    std::uint32_t startBits = 0;
    std::uint32_t spanBits = 0;
    std::int32_t end = 0;
    bool isConstant = false;
    float value = 0.0f;            // a constant
    const float* table = nullptr;  // the period cache, indexed by position
    std::uint64_t key = 0;

    static std::uint32_t bits(float f) noexcept { return std::bit_cast<std::uint32_t>(f); }

    // `start` and `end` are whole numbers, start < end <= 2^24.
    void record(std::int32_t start, std::int32_t stop, std::uint64_t shapeKey) noexcept {
        startBits = bits(float(start));
        spanBits = bits(float(stop)) - startBits;
        end = stop;
        key = shapeKey;
    }
    void forget() noexcept { spanBits = 0; }

    // Whether all `frames` frames from position p lie inside.
    VELMORA_ALWAYS_INLINE bool covers(float p, std::int32_t frames, std::uint64_t shapeKey) const noexcept {
        if (bits(p) - startBits >= spanBits || shapeKey != key) return false;
        const std::int32_t q = std::int32_t(p);  // p is in [start, end), below 2^24
        return float(q) == p && end - q >= frames;
    }
};

// What the engine keeps of an oscillator between blocks. Audio thread only
// (but for construction).
class Memory {
public:
    static constexpr std::int32_t kCacheSize = 1 << 17;

    // The cache is allocated here, once (none if that fails: every period
    // is then computed).
    Memory() noexcept : cache(new (std::nothrow) float[kCacheSize + kFillSlack]) {}
    Memory(const Memory&) = delete;
    Memory& operator=(const Memory&) = delete;

    Hint hint;
    OrderMemo order;
    // Values computed where the cache cannot take them, a stretch at most
    // kScratchSize long (kept here rather than on the stack, whose pages a
    // large frame would touch in every cut block).
    static constexpr std::int32_t kScratchSize = 256;
    float scratch[kScratchSize + kFillSlack];
    // The description of the period playing (valid while `described`), and
    // whether it was made at the period's start.
    Period playing;
    bool described = false;
    bool describedAtStart = false;
    std::uint64_t playingKey = 0;
    // The values of positions 0 .. cached - 1 of the period `cachedPeriod`.
    std::unique_ptr<float[]> cache;
    std::int32_t cached = 0;
    Period cachedPeriod;

    // The oscillator moved on by itself (its per-sample rule, called from
    // outside the engine): the last stretch and the description may no
    // longer hold. (The cache holds whatever description it holds.)
    void forgetPeriod() noexcept {
        hint.forget();
        described = false;
    }

    // The period playing is now `playing`: a different one empties the cache.
    void adoptPlaying() noexcept {
        if (playing == cachedPeriod) return;
        cachedPeriod = playing;
        cached = 0;
    }
};

template <class Osc>
class Engine {
public:
    using Running = typename Osc::Running;

    // The block's entry: the inline continuation where it applies, else
    // the cutting, out of line (so that the common case pays none of its
    // register saves and stack set-up), building its output stage anew from
    // the buffer pointers so that the caller's copy can stay in registers.
    // A stage's prepare() tells whether it may take the continuation (the
    // wide replacing stage: whether the buffers keep their order in groups).
    template <bool wide, class Sink, class... Buffers>
    VELMORA_ALWAYS_INLINE static void run(Osc& osc, std::int32_t frames, Buffers... buffers) noexcept {
        Sink sink{buffers...};
        if (sink.prepare(osc.memory.order) && continueInline(osc, sink, frames)) return;
        if constexpr (wide)
            cutWide<Sink>(osc, frames, buffers...);
        else
            cutNarrow<Sink>(osc, frames, buffers...);
    }

private:
    template <class Sink, class... Buffers>
    [[gnu::noinline]] VELMORA_WIDE_TARGET static void cutWide(Osc& osc, std::int32_t frames,
                                                              Buffers... buffers) noexcept {
        Sink sink{buffers...};
        sink.prepare(osc.memory.order);
        cut<true>(osc, sink, frames);
    }
    template <class Sink, class... Buffers>
    [[gnu::noinline]] static void cutNarrow(Osc& osc, std::int32_t frames, Buffers... buffers) noexcept {
        Sink sink{buffers...};
        sink.prepare(osc.memory.order);
        cut<false>(osc, sink, frames);
    }

    // The whole block inside the stretch the last block ended in: the shape
    // straight onto the output stage, nothing else. A reset from a host
    // thread meanwhile is left to stand.
    template <class Sink>
    VELMORA_ALWAYS_INLINE static bool continueInline(Osc& osc, Sink& sink, std::int32_t frames) noexcept {
        const std::uint64_t key = osc.shapeKey();
        const float p = osc.position.load();
        const Hint& hint = osc.memory.hint;
        if (!hint.covers(p, frames, key)) return false;
        const float scale = osc.scale();
        if (hint.isConstant)
            sink.constant(hint.value * scale, frames);
        else
            sink.table(hint.table + std::int32_t(p), scale, frames);
        // p + frames is a whole number up to 2^24: exact. (The key's low
        // half is the reset count it was taken at.)
        if (osc.resets.load() == std::uint32_t(key)) osc.position = p + float(frames);
        return true;
    }

    // The block cut into stretches, with the running state in locals. In the
    // 256-bit variant each stretch, and the block, ends with the vector
    // state cleared (see clearVectorState): what comes next may call out.
    template <bool wide, class Sink>
    VELMORA_ALWAYS_INLINE static void cut(Osc& osc, Sink& sink, std::int32_t frames) noexcept {
        Running running(osc);
        Memory& memory = osc.memory;
        // Within a period the description changes only with the shape key
        // (a reset, the tremolo's waveform).
        if (memory.playingKey != osc.shapeKey()) memory.described = false;
        while (frames > 0) {
            if constexpr (wide) clearVectorState();
            if (!isWholePosition(running.position) || running.perSampleOnly()) {
                // A position the segments cannot count: the per-sample rule,
                // which may begin a period.
                sink.one(running.tick());
                memory.hint.forget();
                memory.described = false;
                --frames;
                continue;
            }
            if (running.periodEnded()) {
                // A period that starts with the last one's settings, after
                // one described from its start, is described the same way.
                if (running.startPeriod() || !memory.describedAtStart) memory.described = false;
            }
            if (!memory.described) {
                memory.playingKey = running.describe(memory.playing);
                memory.described = true;
                memory.describedAtStart = running.position == 0.0f;
                memory.adoptPlaying();
            }
            const std::int32_t p = std::int32_t(running.position);
            const std::int32_t index = memory.playing.find(p);
            if (index == memory.playing.count) {
                // No segment holds it (a period shorter than a frame): the
                // per-sample rule's value, its boundary test being done.
                sink.one(running.nextValue());
                memory.hint.forget();
                memory.described = false;
                --frames;
                continue;
            }
            const std::int32_t done = stretch(running, memory, sink, p, index, frames);
            running.position = float(p + done);
            frames -= done;
        }
        if constexpr (wide) clearVectorState();
    }

    // The next stretch from whole position p, in segment `index`, at most
    // `frames` long, into the output stage; returns its length.
    template <class Sink>
    VELMORA_ALWAYS_INLINE static std::int32_t stretch(Running& running, Memory& memory, Sink& sink, std::int32_t p,
                                                      std::int32_t index, std::int32_t frames) noexcept {
        const std::int32_t left = std::int32_t(kPositionLimit) - p;  // positions stay below 2^24
        const std::int32_t most = left < frames ? left : frames;
        const Segment& segment = memory.playing.segments[index];
        const bool asConstant = segment.shape.kind == Shape::kConstant && Sink::prefersConstants;
        return p < memory.cached && !asConstant ? fromCache(running, memory, sink, p, index, most)
                                                : computed(running, memory, sink, p, segment, most);
    }

    // Values the cache holds: one table from position p over the segments
    // that follow, up to a counted segment (the oscillator must be told of
    // each), or a constant one that the output stage wants as a constant.
    template <class Sink>
    VELMORA_ALWAYS_INLINE static std::int32_t fromCache(Running& running, Memory& memory, Sink& sink, std::int32_t p,
                                                        std::int32_t index, std::int32_t most) noexcept {
        const Period& period = memory.playing;
        const Segment& first = period.segments[index];
        double end = first.end;
        for (std::int32_t i = index + 1; !first.counted && i < period.count; ++i) {
            const Segment& next = period.segments[i];
            if (next.counted || (next.shape.kind == Shape::kConstant && Sink::prefersConstants)) break;
            end = next.end;
        }
        const std::int32_t run = countBelow(p, end, memory.cached - p);
        const std::int32_t done = run < most ? run : most;
        sink.table(memory.cache.get() + p, running.scale(), done);
        if (first.counted) {
            running.passed(first, done);
            memory.hint.forget();
        } else {
            memory.hint.table = memory.cache.get();
            memory.hint.isConstant = false;
            memory.hint.record(p, p + run, memory.playingKey);
        }
        return done;
    }

    // Values computed from the segment's shape: into the cache where they
    // continue what it holds, else into a buffer of the block's own (a
    // chunk at a time); a constant straight to the output stage.
    template <class Sink>
    VELMORA_ALWAYS_INLINE static std::int32_t computed(Running& running, Memory& memory, Sink& sink, std::int32_t p,
                                                       const Segment& segment, std::int32_t most) noexcept {
        const std::int32_t run = countBelow(p, segment.end, std::int32_t(kPositionLimit) - p);
        std::int32_t done = run < most ? run : most;
        const bool caching = memory.cache != nullptr && p == memory.cached && p < Memory::kCacheSize;
        if (caching && done > Memory::kCacheSize - p) done = Memory::kCacheSize - p;
        const float scale = running.scale();
        if (segment.shape.kind == Shape::kConstant) {
            sink.constant(segment.shape.value * scale, done);
            if (caching) fill(segment.shape, memory.cache.get() + p, p, done);
        } else if (caching) {
            fill(segment.shape, memory.cache.get() + p, p, done);
            sink.table(memory.cache.get() + p, scale, done);
        } else {
            float* buffer = memory.scratch;
            if (done > Memory::kScratchSize) done = Memory::kScratchSize;
            fill(segment.shape, buffer, p, done);
            sink.table(buffer, scale, done);
        }
        if (caching) memory.cached += done;
        if (segment.counted) running.passed(segment, done);
        record(memory, segment, p, run, caching);
        return done;
    }

    // What the next block may continue: a constant over the rest of its
    // segment, unless the values went into the cache (the next block then
    // goes on filling it) or the segment is counted.
    static void record(Memory& memory, const Segment& segment, std::int32_t p, std::int32_t run,
                       bool caching) noexcept {
        if (caching || segment.counted || segment.shape.kind != Shape::kConstant) {
            memory.hint.forget();
            return;
        }
        memory.hint.isConstant = true;
        memory.hint.value = segment.shape.value;
        memory.hint.record(p, p + run, memory.playingKey);
    }
};

// The oscillator's three block operations, each in the variant for 256-bit
// vectors and the one for processors without them. Instantiated once, in
// the oscillator's own source file (compiled without contracted
// multiply-adds); its inline render/replace/accumulate pick the variant.
template <class Osc>
struct Entries {
    static void renderWide(Osc& osc, float* gains, std::int32_t frames) noexcept;
    static void renderNarrow(Osc& osc, float* gains, std::int32_t frames) noexcept;
    static void replaceWide(Osc& osc, const float* in0, const float* in1, float* out0, float* out1,
                            std::int32_t frames) noexcept;
    static void replaceNarrow(Osc& osc, const float* in0, const float* in1, float* out0, float* out1,
                              std::int32_t frames) noexcept;
    static void accumulateWide(Osc& osc, const float* in0, const float* in1, float* out0, float* out1,
                               std::int32_t frames) noexcept;
    static void accumulateNarrow(Osc& osc, const float* in0, const float* in1, float* out0, float* out1,
                                 std::int32_t frames) noexcept;

    static void render(Osc& osc, float* gains, std::int32_t frames) noexcept {
        if (wideVectors())
            renderWide(osc, gains, frames);
        else
            renderNarrow(osc, gains, frames);
    }
    static void replace(Osc& osc, const float* in0, const float* in1, float* out0, float* out1,
                        std::int32_t frames) noexcept {
        if (wideVectors())
            replaceWide(osc, in0, in1, out0, out1, frames);
        else
            replaceNarrow(osc, in0, in1, out0, out1, frames);
    }
    static void accumulate(Osc& osc, const float* in0, const float* in1, float* out0, float* out1,
                           std::int32_t frames) noexcept {
        if (wideVectors())
            accumulateWide(osc, in0, in1, out0, out1, frames);
        else
            accumulateNarrow(osc, in0, in1, out0, out1, frames);
    }
};

template <class Osc>
VELMORA_WIDE_TARGET void Entries<Osc>::renderWide(Osc& osc, float* gains, std::int32_t frames) noexcept {
    Engine<Osc>::template run<true, GainBuffer>(osc, frames, gains);
}
template <class Osc>
void Entries<Osc>::renderNarrow(Osc& osc, float* gains, std::int32_t frames) noexcept {
    Engine<Osc>::template run<false, GainBuffer>(osc, frames, gains);
}
template <class Osc>
VELMORA_WIDE_TARGET void Entries<Osc>::replaceWide(Osc& osc, const float* in0, const float* in1, float* out0,
                                                   float* out1, std::int32_t frames) noexcept {
    Engine<Osc>::template run<true, WideStereoReplace>(osc, frames, in0, in1, out0, out1);
}
template <class Osc>
void Entries<Osc>::replaceNarrow(Osc& osc, const float* in0, const float* in1, float* out0, float* out1,
                                 std::int32_t frames) noexcept {
    Engine<Osc>::template run<false, StereoGain<false>>(osc, frames, in0, in1, out0, out1);
}
template <class Osc>
VELMORA_WIDE_TARGET void Entries<Osc>::accumulateWide(Osc& osc, const float* in0, const float* in1, float* out0,
                                                      float* out1, std::int32_t frames) noexcept {
    Engine<Osc>::template run<true, StereoGain<true>>(osc, frames, in0, in1, out0, out1);
}
template <class Osc>
void Entries<Osc>::accumulateNarrow(Osc& osc, const float* in0, const float* in1, float* out0, float* out1,
                                    std::int32_t frames) noexcept {
    Engine<Osc>::template run<false, StereoGain<true>>(osc, frames, in0, in1, out0, out1);
}

// What an oscillator offers its users: its gains a block at a time, the
// same values as that many calls of its `tick`. An oscillator derives from
// BlockOperations<itself>.
template <class Osc>
class BlockOperations {
public:
    // Audio thread; frames >= 1 and valid buffers (the plug-in's entry
    // checks the host's block). The gains of the next `frames` frames into
    // gains[0 .. frames).
    void render(float* gains, std::int32_t frames) noexcept VELMORA_NONBLOCKING {
        Entries<Osc>::render(self(), gains, frames);
    }
    // Audio thread, as render. For `frames` frames: out = in × gain
    // (replacing) or out = out + in × gain formed in double (accumulating),
    // each rounded once to float; the same samples as a loop over `tick`.
    // Inputs and outputs may be the same buffers.
    void replace(const float* in0, const float* in1, float* out0, float* out1,
                 std::int32_t frames) noexcept VELMORA_NONBLOCKING {
        Entries<Osc>::replace(self(), in0, in1, out0, out1, frames);
    }
    void accumulate(const float* in0, const float* in1, float* out0, float* out1,
                    std::int32_t frames) noexcept VELMORA_NONBLOCKING {
        Entries<Osc>::accumulate(self(), in0, in1, out0, out1, frames);
    }

private:
    // Only the oscillator itself derives from it.
    BlockOperations() = default;
    friend Osc;

    Osc& self() noexcept { return static_cast<Osc&>(*this); }
};

}  // namespace engine
