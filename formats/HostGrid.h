// THostGrid: the host's beat, turned into the periods of an oscillator.
// While the host's transport rolls and it tells its tempo and position, an
// effect with Sync on plays one period per unit of the song's grid (the
// gater a step per sixteenth note, the tremolo a cycle per quarter note):
// unit u of the song begins at the first sample at or after its exact
// position, and lasts one unit at the tempo of that moment. Everything is
// computed from the host's position (never accumulated from period
// lengths), so nothing drifts.
//
// The grid learns the host's time at the start of each block, and again
// wherever the host reports a change inside one (setTime); in between it
// counts frames at the last tempo. A host that also gives its frame
// counter may round the position it states (to ticks of 1/1920 beat, as
// hosts that state bar and beat do): while that counter runs on without a
// jump, at the same tempo, a position within kRoundedBeats of the grid's
// count is that count, so the steps do not move with the rounding. run()
// then hands the block to its target in parts: frames to process, and,
// between them, the period to enter. When the host's time is unusable (stopped, no tempo or position,
// a tempo that is not a number or outside 1 to 1000 BPM, a position that is
// not a number or beyond 2^40 beats, units shorter than a frame or longer
// than 2^24 frames), or Sync is off, the target runs on its own tempo.
//
// Audio thread only, but setSampleRate (main thread, audio stopped). No
// allocation, no lock.
#pragma once

#include <cmath>
#include <cstdint>

class THostGrid {
public:
    // `unitBeats`: the grid's unit in quarter notes (0.25: sixteenths).
    explicit THostGrid(double unitBeats) noexcept : unitBeats(unitBeats) {}

    void setSampleRate(double rate) noexcept { sampleRate = rate; }

    // The host's time at the next frame: whether the transport rolls, its
    // tempo in quarter notes per minute, the song position in quarter notes
    // from the start and the host's frame counter (any may be missing: NaN).
    void setTime(bool rolling, double tempo, double beats, double frame = NAN) noexcept {
        timeRolling = rolling;
        timeTempo = tempo;
        timeBeats = beats;
        timeFrame = frame;
    }
    // The next run that follows the host locates the period anew (the
    // oscillator restarted).
    void relock() noexcept { relocate = true; }

    // The next `frames` frames through `target`, which provides:
    //   process(offset, count)          the frames [offset, offset + count)
    //   follow()                        the periods are the grid's (from
    //                                   the next frame, before its enter)
    //   enter(unit, length, position)   the next frame is `position` frames
    //                                   into unit `unit` of the song, a
    //                                   period `length` frames long
    //   release()                       the periods are the target's own
    //                                   again (from the next frame)
    // `follow` is the effect's Sync switch.
    template <class Target>
    void run(std::uint32_t frames, bool follow, Target& target) noexcept {
        if (!follow || !usable()) {
            if (locked) target.release();
            locked = false;
            target.process(0, frames);
        } else {
            runLocked(frames, target);
        }
        // Where the next block is when the host does not say (LV2 hosts
        // report the time when it changes).
        if (timeRolling) {
            timeBeats += double(frames) * timeTempo / (60.0 * sampleRate);
            timeFrame += double(frames);
        }
    }

private:
    // Frames a unit at the host's tempo.
    double unitLength() const noexcept { return sampleRate * 60.0 * unitBeats / timeTempo; }

    // A rolling transport, a tempo and a position in range, and units of at
    // least a frame (a sample rate that gives less is no rate to follow).
    bool usable() const noexcept {
        return timeRolling && timeTempo >= 1.0 && timeTempo <= 1000.0 && std::fabs(timeBeats) < 0x1p40 &&
               unitLength() >= 1.0 && unitLength() < 0x1p24;
    }

    // The host's frame counter ran on from where the last block left it, at
    // the tempo counted from, and its position is the count but for rounding.
    bool continuing(double hostUnits) const noexcept {
        return locked && timeFrame == expectedFrame && timeTempo == countTempo &&
               std::fabs(hostUnits - expectedUnits) * unitBeats < kRoundedBeats;
    }

    template <class Target>
    void runLocked(std::uint32_t frames, Target& target) noexcept {
        const double length = unitLength();
        const double hostUnits = timeBeats / unitBeats;
        if (!continuing(hostUnits)) {
            countFrom = hostUnits;
            countTempo = timeTempo;
            counted = 0;
        }
        // The grid at frame 0: counted from the last position taken, in
        // whole frames, so that nothing accumulates.
        const double units = countFrom + double(counted) / length;
        // Off by more than a sample from where the last block left it: the
        // host relocated, looped or restarted.
        if (!locked || relocate || std::fabs(units - expectedUnits) * length > 1.0) locate(units, length, target);
        std::uint32_t done = 0;
        for (;;) {
            const double at = std::ceil((double(unit + 1) - units) * length - kTolerance);
            if (!(at < double(frames))) break;
            const std::uint32_t boundary = at > double(done) ? std::uint32_t(at) : done;
            target.process(done, boundary - done);
            done = boundary;
            ++unit;
            target.enter(unit, length, 0.0);
        }
        target.process(done, frames - done);
        expectedUnits = units + double(frames) / length;
        expectedFrame = timeFrame + double(frames);
        counted += frames;
    }

    // Into the unit that frame 0 lies in, as far as its first sample lies
    // before frame 0.
    template <class Target>
    void locate(double units, double length, Target& target) noexcept {
        const double first = std::floor(units);
        unit = std::int64_t(first);
        if (!locked) target.follow();
        target.enter(unit, length, std::floor((units - first) * length + kTolerance));
        locked = true;
        relocate = false;
    }

    // A position the host reports is rounded (CLAP counts 2^-31 beats, up to
    // 5 × 10^-5 frames at 30 BPM and 96 kHz): one within 10^-4 frames of a
    // frame counts as on it.
    static constexpr double kTolerance = 1e-4;
    // The most a host's stated position may be off its frame counter's by
    // rounding: two ticks of 1/1920 beat.
    static constexpr double kRoundedBeats = 2.0 / 1920.0;

    const double unitBeats;
    double sampleRate = 44100.0;
    bool timeRolling = false;
    double timeTempo = NAN;
    double timeBeats = NAN;
    double timeFrame = NAN;
    bool locked = false;    // the target's periods are the grid's
    bool relocate = false;  // the next locked run locates anew
    std::int64_t unit = 0;
    double expectedUnits = 0.0;
    double expectedFrame = NAN;  // the host's frame counter at the next run
    double countFrom = 0.0;      // the grid at the last position taken
    double countTempo = NAN;     // the tempo since
    std::uint64_t counted = 0;   // frames run since
};
