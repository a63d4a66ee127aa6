// How an oscillator describes the period it is in (a gater step, a tremolo
// cycle) to the block engine: a few segments, each holding the whole
// positions from the previous segment's end up to (not including) its own
// end, and each one shape that gives the value of every position in it.
// The segments mirror the oscillator's per-sample rule branch by branch:
// the first test that holds for a position names its segment, so every
// segment ends at or after the one before it (Period::add makes sure).
#pragma once

#include <cstdint>

namespace engine {

// The value of whole position q, as the per-sample rules write it: each
// computed in double from the stored operands and rounded once to float.
struct Shape {
    enum Kind : std::uint8_t {
        kConstant,  // value
        kTable,     // table[q - origin]
        kRising,    // float(q / den)
        kFalling,   // float((a - q) / den + 1)
        kSine,      // float((sin(q × den) + 1) / 2)
    };
    Kind kind = kConstant;
    float value = 0.0f;
    const float* table = nullptr;
    std::int32_t origin = 0;
    double a = 0.0;
    double den = 0.0;

    static Shape constant(float value) noexcept { return {kConstant, value, nullptr, 0, 0.0, 0.0}; }
    static Shape tableFrom(const float* table, std::int32_t origin) noexcept {
        return {kTable, 0.0f, table, origin, 0.0, 0.0};
    }
    static Shape rising(double den) noexcept { return {kRising, 0.0f, nullptr, 0, 0.0, den}; }
    static Shape falling(double a, double den) noexcept { return {kFalling, 0.0f, nullptr, 0, a, den}; }
    static Shape sine(double step) noexcept { return {kSine, 0.0f, nullptr, 0, 0.0, step}; }

    bool operator==(const Shape&) const noexcept = default;
};

struct Segment {
    double end = 0.0;  // the segment holds the whole positions below `end`
    Shape shape;
    // The oscillator counts the frames that pass through this segment (the
    // tremolo's falling ramps use up a table entry a frame): the engine
    // tells it (passed), and never lets one block continue another across
    // it.
    bool counted = false;

    bool operator==(const Segment&) const noexcept = default;
};

struct Period {
    // The most any oscillator needs: the tremolo's square (rising ramp,
    // high, its fall in three parts, low) and, while the host times the
    // cycles, the rest after the cycle's end.
    static constexpr std::int32_t kMaxSegments = 7;
    Segment segments[kMaxSegments];
    std::int32_t count = 0;
    double reached = 0.0;  // the furthest end so far

    // The next segment, up to `end` (at least the furthest end before it,
    // so that it holds only positions that no earlier segment holds). A NaN
    // end stays NaN: such a segment holds no position. A description that
    // outgrows the room keeps its first kMaxSegments segments: the positions
    // past them take the per-sample rule, slower but the same values.
    void add(double end, Shape shape, bool counted = false) noexcept {
        if (count == kMaxSegments) [[unlikely]]
            return;
        if (end < reached) end = reached;
        if (end > reached) reached = end;
        segments[count++] = {end, shape, counted};
    }

    // The index of the segment that holds position p (count if none does).
    std::int32_t find(double p) const noexcept {
        std::int32_t i = 0;
        while (i < count && !(p < segments[i].end)) ++i;
        return i;
    }

    // Ready for a new description.
    void clear() noexcept {
        count = 0;
        reached = 0.0;
    }

    bool operator==(const Period& other) const noexcept {
        if (count != other.count) return false;
        for (std::int32_t i = 0; i < count; ++i) {
            if (!(segments[i] == other.segments[i])) return false;
        }
        return true;
    }
};

}  // namespace engine
