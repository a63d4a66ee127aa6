// The byte format of a fuzz input: a script of host calls on one plug-in.
//
//   input   := start op*
//   start   := u8            bit 0 set: first ask the entry point as a host
//                            that answers 0 to the version query
//   op      := u8 (selects Op, modulo Op::Count) and the op's operands
//
// Dispatch reads opcode, index, value and opt, then: for effSetProgramName
// the name operand; for the four text getters nothing (the decoder passes
// a buffer of exactly the size the opcode allows); for every other opcode
// a u8 whose bit 0 picks a 256-byte scratch buffer over a null ptr.
// effClose (opcode 1) closes the instance and creates a fresh one.
//
// Operands are read from the bytes that follow, little-endian. Reading past
// the end gives zeros, so every byte string is a valid script. The decoder
// (HostScriptPlayer.cpp) and the seed writer (SeedWriter.cpp) share this
// header, so the committed seeds always match what the decoder reads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace velmora::fuzz {

enum class Op : std::uint8_t {
    Dispatch,          // opcode, index, value, opt, then the opcode's ptr operands
    SetParameter,      // index, value bits (u32)
    GetParameter,      // index
    SetProgram,        // value (effSetProgram with any number)
    MainsChanged,      // u8 value: 0 suspends, anything else resumes
    Process,           // frames, layout, contents
    ProcessReplacing,  // frames, layout, contents
    SampleRate,        // rate bits (u32): effSetSampleRate with any float
    BlockSize,         // value: effSetBlockSize
    ReadTexts,         // every name, label and display, and the program name
    Count
};

// Operand selectors. The first byte of an operand picks a small, likely
// interesting value most of the time and the full-width value otherwise.
namespace select {
// index: b < 0xF0 -> (b % (numParams + 4)) - 2, i.e. -2 .. numParams + 1;
//        else the next u32 as int32.
constexpr std::uint8_t kWideIndex = 0xF0;
// opcode: b < 200 -> b % 23 (the interface's opcodes 0..22);
//         b < 240 -> 23 + (b - 200) * 6 (23 .. 257); else the next u32.
constexpr std::uint8_t kOutsideOpcodes = 200;
constexpr std::uint8_t kWideOpcode = 240;
// value: b < 128 -> (b % 34) - 2; b < 240 -> the next u32 as int32;
//        else the next u64 (on a 32-bit build: its low 32 bits).
constexpr std::uint8_t kWideValue = 128;
constexpr std::uint8_t kWidestValue = 240;
// frames: b < 192 -> b % 33; b < 248 -> (next u16) % 4097;
//         else kSpecialFrames[b - 248]. Mostly short blocks: the plug-in's
//         per-sample loop is most of a run's time.
constexpr std::uint8_t kLargeFrames = 192;
constexpr std::uint8_t kSpecialFramesFrom = 248;
constexpr std::int32_t kSpecialFrames[8] = {0, 1, 2, 4095, 4096, -1, -4096, INT32_MIN};
constexpr std::int32_t kMaxFrames = 4096;
}  // namespace select

// How the channel pointers of a process call are laid out (u8 % Count).
enum class Layout : std::uint8_t {
    Separate,      // two inputs and two outputs, four buffers
    InPlace,       // outputs are the inputs
    Crossed,       // output 0 is input 1, output 1 is input 0
    SharedOutput,  // both outputs are input 0
    NullChannel,   // input 1 is null: the call must do nothing
    Count
};

// What the buffers hold before the call (u8 % Count), and its operand.
enum class Contents : std::uint8_t {
    Silence,   // no operand
    Noise,     // u32 seed: uniform noise in -1..1
    Specials,  // no operand: NaN, infinities, subnormals, extremes in turn
    Constant,  // u32 bits: one float in every sample
    Count
};

// The text operand of effSetProgramName: u8 length (% 48), then that many
// bytes, any value; the decoder adds the terminating zero.
constexpr std::size_t kMaxNameBytes = 48;

class ByteReader {
public:
    ByteReader(const std::uint8_t* data, std::size_t size) noexcept : data_(data), size_(size) {}

    bool done() const noexcept { return pos_ >= size_; }
    std::uint8_t u8() noexcept { return pos_ < size_ ? data_[pos_++] : 0; }
    std::uint16_t u16() noexcept { return static_cast<std::uint16_t>(u8() | (u8() << 8)); }
    std::uint32_t u32() noexcept {
        const std::uint32_t low = u16();
        return low | (static_cast<std::uint32_t>(u16()) << 16);
    }
    std::uint64_t u64() noexcept {
        const std::uint64_t low = u32();
        return low | (static_cast<std::uint64_t>(u32()) << 32);
    }
    float f32() noexcept {
        const std::uint32_t bits = u32();
        float value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

// Writes scripts in the format above (for the seed corpus).
class ScriptWriter {
public:
    explicit ScriptWriter(bool askAsRefusingHostFirst = false) { u8(askAsRefusingHostFirst ? 1 : 0); }

    const std::vector<std::uint8_t>& bytes() const noexcept { return bytes_; }

    // index and value written in their full-width forms, so any number fits.
    void dispatch(std::int32_t opcode, std::int32_t index = 0, std::int32_t value = 0, float opt = 0.0f) {
        op(Op::Dispatch);
        u8(select::kWideOpcode);
        u32(static_cast<std::uint32_t>(opcode));
        wideIndex(index);
        u8(select::kWideValue);
        u32(static_cast<std::uint32_t>(value));
        f32(opt);
        if (opcode < 4 || opcode > 8) u8(1);  // ptr: the scratch buffer
    }
    // effSetProgramName's operand follows its dispatch() call.
    void name(const char* text) {
        const std::size_t length = std::strlen(text) % kMaxNameBytes;
        u8(static_cast<std::uint8_t>(length));
        for (std::size_t i = 0; i < length; ++i) u8(static_cast<std::uint8_t>(text[i]));
    }
    void setParameter(std::int32_t index, float value) {
        op(Op::SetParameter);
        wideIndex(index);
        f32(value);
    }
    void getParameter(std::int32_t index) {
        op(Op::GetParameter);
        wideIndex(index);
    }
    void setProgram(std::int32_t program) {
        op(Op::SetProgram);
        u8(select::kWideValue);
        u32(static_cast<std::uint32_t>(program));
    }
    void mains(bool on) {
        op(Op::MainsChanged);
        u8(on ? 1 : 0);
    }
    // operand: the noise seed or the constant's bits, where the contents take one.
    void process(std::uint16_t frames, Layout layout, Contents contents, std::uint32_t operand = 0) {
        processCall(Op::Process, frames, layout, contents, operand);
    }
    void processReplacing(std::uint16_t frames, Layout layout, Contents contents, std::uint32_t operand = 0) {
        processCall(Op::ProcessReplacing, frames, layout, contents, operand);
    }
    void sampleRate(float rate) {
        op(Op::SampleRate);
        f32(rate);
    }
    void blockSize(std::int32_t frames) {
        op(Op::BlockSize);
        u8(select::kWideValue);
        u32(static_cast<std::uint32_t>(frames));
    }
    void readTexts() { op(Op::ReadTexts); }

private:
    void processCall(Op which, std::uint16_t frames, Layout layout, Contents contents, std::uint32_t operand) {
        op(which);
        u8(select::kLargeFrames);
        u16(frames);
        u8(static_cast<std::uint8_t>(layout));
        u8(static_cast<std::uint8_t>(contents));
        if (contents == Contents::Noise || contents == Contents::Constant) u32(operand);
    }
    void op(Op which) { u8(static_cast<std::uint8_t>(which)); }
    void wideIndex(std::int32_t index) {
        u8(select::kWideIndex);
        u32(static_cast<std::uint32_t>(index));
    }
    void u8(std::uint8_t b) { bytes_.push_back(b); }
    void u16(std::uint16_t v) {
        u8(static_cast<std::uint8_t>(v));
        u8(static_cast<std::uint8_t>(v >> 8));
    }
    void u32(std::uint32_t v) {
        u16(static_cast<std::uint16_t>(v));
        u16(static_cast<std::uint16_t>(v >> 16));
    }
    void f32(float value) {
        std::uint32_t bits;
        std::memcpy(&bits, &value, sizeof bits);
        u32(bits);
    }

    std::vector<std::uint8_t> bytes_;
};

}  // namespace velmora::fuzz
