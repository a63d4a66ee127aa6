// The host-conformance battery: the checks that plug-in validators and
// demanding hosts put a stereo effect through, runnable on any plug-in file.
//
// Usage. In a test folder's CMakeLists.txt:
//
//     velmora_add_test(gater_conformance_tests GaterConformance.cpp
//                      LIBS velmora_conformance LABELS conformance)
//     add_dependencies(gater_conformance_tests VelmoraGater)
//
// and in GaterConformance.cpp, at namespace scope:
//
//     #include "Conformance.h"
//     VELMORA_CONFORMANCE_TESTS(VelmoraGater, VELMORA_PLUGIN_DIR "/VelmoraGater.so");
//
// This registers one test per check, named VelmoraGaterConformance.<Check>
// (for example VelmoraGaterConformance.ProcessAddsToTheOutput), so CTest
// lists, runs and reports every check on its own. Registration does not
// touch the file; each test loads it when it runs. The macro may be used
// more than once in one program (one line per plug-in), or
// registerConformanceTests() may be called directly from a main() before
// RUN_ALL_TESTS().
//
// Every check can also be called on its own (checkBlockSizes(path) ...);
// it reports through gtest's assertions, stopping at the first fault it
// finds in a run so that one fault gives one clear message.
//
// Random choices (block sizes, parameter values, signals) come from
// Options::seed; each check's messages carry the plug-in path and seed.
// Under AddressSanitizer or ThreadSanitizer the iteration counts are
// scaled down to keep each plug-in's battery within a few seconds.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velmora::conformance {

struct Options {
    std::uint64_t seed = 0x5EEDC0DEull;
};

using CheckFunction = void (*)(const std::string& path, const Options& options);

struct Check {
    const char* name;  // the test name, e.g. "BlockSizes"
    CheckFunction run;
};

// Every check of the battery, in the order they are registered.
const std::vector<Check>& allChecks();

// Registers every check as one gtest test in suite `<name>Conformance`.
void registerConformanceTests(const std::string& name, const std::string& path, const Options& options = {});

// The record: two inputs, two outputs, the entry pointers it announces, and
// effClose answering 1, also straight after creation as scanning hosts do.
void checkRecord(const std::string& path, const Options& options = {});
// Finite output at common and odd sample rates, on fresh instances and on
// one instance that switches rate between suspend and resume.
void checkSampleRates(const std::string& path, const Options& options = {});
// Block sizes 1, odd ones, powers of two up to 8192 and random ones: exactly
// the given frames are written (none before, none after, none left out),
// out-of-place inputs are left as they were, the output is finite.
void checkBlockSizes(const std::string& path, const Options& options = {});
// A frame count of 0 or less touches no buffer and does not move the
// effect on: processing afterwards continues as if the call never came.
void checkNoFramesTouchNothing(const std::string& path, const Options& options = {});
// Processing in place (inputs given as outputs) gives, bit for bit, what
// processing out of place gives.
void checkInPlaceMatchesOutOfPlace(const std::string& path, const Options& options = {});
// `process` adds to what the output holds: the result equals what the
// output held plus what processReplacing writes, within float rounding.
void checkProcessAddsToTheOutput(const std::string& path, const Options& options = {});
// Finite input with every parameter inside 0..1 (edges included) and
// program changes in between gives finite output.
void checkFiniteInputGivesFiniteOutput(const std::string& path, const Options& options = {});
// Parameter values in and out of 0..1, NaN, infinities, huge and denormal
// ones, every 32 frames: nothing crashes, buffers stay intact and every
// display text stays within 8 characters.
void checkHostileParameterValues(const std::string& path, const Options& options = {});
// After hostile values, once the host puts every parameter back inside
// 0..1 the output becomes finite again.
void checkRecoveryAfterHostileValues(const std::string& path, const Options& options = {});
// Random program changes, in and out of range: out-of-range numbers are
// ignored, valid ones are taken, processing stays finite.
void checkProgramChanges(const std::string& path, const Options& options = {});
// Suspend and resume three times with processing in between, rate and block
// size changed while suspended, repeated suspends and resumes.
void checkSuspendResume(const std::string& path, const Options& options = {});
// Host mistakes do no harm: null buffers, bad parameter indexes, null text
// buffers, unusable sample rates and block sizes, unknown opcodes.
void checkHostMistakes(const std::string& path, const Options& options = {});
// Four instances side by side, at different rates and settings and
// processed in random interleaving: two with the same settings and input
// give the output that one instance alone gives.
void checkInstancesAreIndependent(const std::string& path, const Options& options = {});
// Four instances created and processed on four threads at once give the
// output that one instance alone gives.
void checkInstancesOnSeveralThreads(const std::string& path, const Options& options = {});
// Parameter names, labels and displays within 8 characters and program
// names within 24, for every parameter of every program; a program name
// set by the host is read back, a long one cut to 24 characters.
void checkTexts(const std::string& path, const Options& options = {});

}  // namespace velmora::conformance

#define VELMORA_CONFORMANCE_JOIN2(a, b) a##b
#define VELMORA_CONFORMANCE_JOIN(a, b) VELMORA_CONFORMANCE_JOIN2(a, b)
// Registers the battery for one plug-in file from a static initializer.
#define VELMORA_CONFORMANCE_TESTS(name, path)                                                    \
    [[maybe_unused]] static const bool VELMORA_CONFORMANCE_JOIN(velmoraConformance_, __LINE__) = \
        (::velmora::conformance::registerConformanceTests(#name, path), true)
