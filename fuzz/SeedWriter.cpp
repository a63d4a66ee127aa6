// Writes the seed corpus of a fuzz target: a few host sessions, each one
// file, from which the fuzzer starts mutating.
//
//     velmora_fuzz_seeds <folder> <number of parameters>
//
// The committed corpus (fuzz/corpus/gater with 19 parameters,
// fuzz/corpus/tremolo with 4) was made with it; run it again after a change
// of HostScript.h's format. Every seed stays within the 1024 bytes that
// scripts/reliability.sh gives the fuzzer as the longest input.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <string>

#include "AEffect.h"
#include "HostScript.h"

namespace {

using namespace velmora::fuzz;
using Limits = std::numeric_limits<float>;

void save(const std::string& folder, const char* name, const ScriptWriter& script) {
    const std::string path = folder + "/" + name;
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(script.bytes().data()),
               static_cast<std::streamsize>(script.bytes().size()));
    if (!file) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        std::exit(1);
    }
}

// What a host does: open, rate and block size, resume, settings, audio,
// texts, suspend.
ScriptWriter hostSession(int params) {
    ScriptWriter s;
    s.dispatch(effOpen);
    s.sampleRate(48000.0f);
    s.blockSize(512);
    s.mains(true);
    for (int i = 0; i < params; ++i) s.setParameter(i, float(i % 5) / 4.0f);
    s.processReplacing(512, Layout::Separate, Contents::Noise, 1);
    s.process(512, Layout::Separate, Contents::Noise, 2);
    s.readTexts();
    s.mains(false);
    return s;
}

ScriptWriter programs() {
    ScriptWriter s;
    s.mains(true);
    for (int p = 0; p < 16; ++p) {
        s.setProgram(p);
        if (p % 4 == 0) {
            s.dispatch(effSetProgramName);
            s.name(("Program " + std::to_string(p) + " with a name beyond 24").c_str());
        }
        s.dispatch(effGetProgramName);
    }
    for (int p : {-1, 16, 1000, std::numeric_limits<std::int32_t>::max(), std::numeric_limits<std::int32_t>::min()}) {
        s.setProgram(p);
    }
    s.processReplacing(256, Layout::Separate, Contents::Noise, 3);
    return s;
}

ScriptWriter hostileParameters(int params) {
    ScriptWriter s;
    s.mains(true);
    const float values[] = {Limits::quiet_NaN(), Limits::infinity(), -Limits::infinity(), 1e30f, -1.0f};
    for (float value : values) {
        for (int i = 0; i < params; ++i) s.setParameter(i, value);
        s.readTexts();
        s.processReplacing(64, Layout::Separate, Contents::Noise, 4);
    }
    s.getParameter(-1);
    s.getParameter(params);
    return s;
}

ScriptWriter hostileRates() {
    ScriptWriter s;
    s.mains(true);
    for (float rate : {0.0f, Limits::quiet_NaN(), -44100.0f, Limits::infinity(), 1e30f, Limits::denorm_min()}) {
        s.mains(false);
        s.sampleRate(rate);
        s.mains(true);
        s.processReplacing(300, Layout::Separate, Contents::Noise, 5);
        s.process(300, Layout::InPlace, Contents::Specials);
    }
    for (int size : {0, -1, std::numeric_limits<std::int32_t>::max()}) s.blockSize(size);
    s.processReplacing(1000, Layout::Separate, Contents::Noise, 13);
    return s;
}

// Audio before open, before a sample rate and before resume, in every layout.
ScriptWriter beforeResume() {
    ScriptWriter s;
    s.processReplacing(256, Layout::Separate, Contents::Noise, 6);
    s.processReplacing(256, Layout::InPlace, Contents::Noise, 7);
    s.process(256, Layout::Crossed, Contents::Constant, 0x3F000000u);
    s.processReplacing(256, Layout::SharedOutput, Contents::Specials);
    s.processReplacing(256, Layout::NullChannel, Contents::Noise, 8);
    s.process(0, Layout::Separate, Contents::Silence);
    return s;
}

ScriptWriter refusingHost() {
    ScriptWriter s(true);
    s.processReplacing(32, Layout::Separate, Contents::Noise, 9);
    return s;
}

// Every opcode of the interface and a few beyond it; effClose starts over.
ScriptWriter opcodes() {
    ScriptWriter s;
    for (int opcode = 0; opcode <= 30; ++opcode) {
        if (opcode == effClose || opcode == effSetProgramName) continue;
        s.dispatch(opcode, 0, 1, 44100.0f);
    }
    for (int opcode : {256, 257, 0x7FFFFFFF, -1}) s.dispatch(opcode);
    s.dispatch(effClose);
    s.processReplacing(128, Layout::Separate, Contents::Noise, 10);
    return s;
}

ScriptWriter bigBlocks() {
    ScriptWriter s;
    s.blockSize(4096);
    s.mains(true);
    s.processReplacing(4096, Layout::Separate, Contents::Noise, 11);
    s.processReplacing(4096, Layout::InPlace, Contents::Noise, 12);
    s.process(4096, Layout::Separate, Contents::Specials);
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <folder> <number of parameters>\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    const int params = std::atoi(argv[2]);
    save(folder, "host-session", hostSession(params));
    save(folder, "programs", programs());
    save(folder, "hostile-parameters", hostileParameters(params));
    save(folder, "hostile-rates", hostileRates());
    save(folder, "before-resume", beforeResume());
    save(folder, "refusing-host", refusingHost());
    save(folder, "opcodes", opcodes());
    save(folder, "big-blocks", bigBlocks());
    return 0;
}
