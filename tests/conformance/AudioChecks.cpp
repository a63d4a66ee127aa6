// The battery's checks of audio processing: rates, block sizes, in-place
// and accumulating processing, finite output, suspend and resume, and
// instances side by side.
#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "Harness.h"

namespace velmora::conformance {

namespace {

// Lets a number of threads wait for one another and then go on together.
// (A mutex and a condition variable rather than std::latch: the latch of
// the MinGW-w64 GCC 12 runtime can miss a wake-up and leave a thread
// waiting for ever.)
class StartGate {
public:
    explicit StartGate(int count) : waiting_(count) {}
    void arriveAndWait() {
        std::unique_lock lock(mutex_);
        if (--waiting_ == 0) {
            allArrived_.notify_all();
            return;
        }
        allArrived_.wait(lock, [this] { return waiting_ == 0; });
    }

private:
    std::mutex mutex_;
    std::condition_variable allArrived_;
    int waiting_;
};

// Fills the frames with one of several kinds of finite signal: noise,
// a full-scale square, silence, denormal noise and a tiny offset.
void fillSignal(StereoBuffer& buffer, Random& random) {
    switch (random.index(5)) {
        case 0: buffer.fillNoise(random, 1.0f); break;
        case 1:
            for (int c = 0; c < 2; ++c) {
                for (int i = 0; i < buffer.frames(); ++i) buffer.channel(c)[i] = (i / 50) % 2 == 0 ? 1.0f : -1.0f;
            }
            break;
        case 2: buffer.fill(0.0f); break;
        case 3:
            buffer.fillNoise(random, 1.0f);
            for (int c = 0; c < 2; ++c) {
                for (int i = 0; i < buffer.frames(); ++i) buffer.channel(c)[i] *= 1e-39f;
            }
            break;
        default: buffer.fill(1e-30f); break;
    }
}

// Plays `blocks` blocks of the script from `seed` into one fresh instance
// that has nothing else beside it.
Recording playAlone(const std::shared_ptr<PluginLibrary>& library, const std::vector<float>& settings,
                    std::uint64_t seed, Mode mode, int blocks, std::string& fault) {
    auto instance = startInstance(library);
    applySettings(*instance, settings);
    ScriptPlayer player(seed, mode);
    for (int k = 0; k < blocks; ++k) player.playBlock(*instance);
    fault = player.fault();
    if (auto finished = finishInstance(*instance); !finished && fault.empty()) fault = finished.message();
    return player.recording();
}

}  // namespace

void checkSampleRates(const std::string& path, const Options& options) {
    SCOPED_TRACE(traceOf(path, options));
    Random random = randomFor(options, "SampleRates");
    auto library = PluginLibrary::open(path);
    const float rates[] = {8000.0f,  11025.0f, 22050.0f, 37123.5f,  44100.0f,
                           48000.0f, 88200.0f, 96000.0f, 176400.0f, 192000.0f};
    for (float rate : rates) {
        SCOPED_TRACE("fresh instance at " + testing::PrintToString(rate) + " Hz");
        auto instance = startInstance(library, rate);
        applySettings(*instance, randomSettings(random, instance->numParams()));
        ASSERT_TRUE(processNoise(*instance, random, scaled(static_cast<int>(rate / 2.0f))));
        ASSERT_TRUE(finishInstance(*instance));
    }
    auto instance = startInstance(library);
    for (float rate : rates) {
        SCOPED_TRACE("one instance switched to " + testing::PrintToString(rate) + " Hz");
        instance->suspend();
        instance->setSampleRate(rate);
        instance->resume();
        ASSERT_TRUE(processNoise(*instance, random, scaled(8192)));
    }
    ASSERT_TRUE(finishInstance(*instance));
}

void checkBlockSizes(const std::string& path, const Options& options) {
    SCOPED_TRACE(traceOf(path, options));
    Random random = randomFor(options, "BlockSizes");
    auto library = PluginLibrary::open(path);
    auto instance = startInstance(library);
    applySettings(*instance, randomSettings(random, instance->numParams()));

    std::vector<int> sizes = {1, 2, 3, 5, 7, 13, 31, 100, 257, 1000, 4097};
    for (int size = 1; size <= kMaxBlock; size *= 2) sizes.push_back(size);
    std::sort(sizes.begin(), sizes.end());
    sizes.erase(std::unique(sizes.begin(), sizes.end()), sizes.end());

    StereoBuffer input(kMaxBlock);
    StereoBuffer output(kMaxBlock);
    auto processBlock = [&](Mode mode, int count) -> testing::AssertionResult {
        input.fillNoise(random, 1.0f);
        const StereoBuffer inputCopy = input;
        if (mode == Mode::Replacing) {
            output.fillUnwritten();
        } else {
            output.fillNoise(random, 0.5f);
        }
        const StereoBuffer outputCopy = output;
        runBlock(*instance, mode, input.pointers(), output.pointers(), count);

        const std::string what = std::string(modeName(mode)) + " of " + std::to_string(count) + " frames";
        if (!input.identical(inputCopy)) return testing::AssertionFailure() << what << " changed its input";
        if (auto intact = output.guardsIntact(what.c_str()); !intact) return intact;
        if (auto untouched =
                sameSamples(output, outputCopy, count, kMaxBlock, (what + " wrote past its frames").c_str());
            !untouched) {
            return untouched;
        }
        return finiteSamples(output, count, what.c_str());
    };

    const std::vector<Mode> modes = modesOf(*instance);
    for (Mode mode : modes) {
        for (int size : sizes) ASSERT_TRUE(processBlock(mode, size));
    }
    for (int call = 0; call < scaled(400); ++call) {
        const Mode mode = modes[static_cast<std::size_t>(random.index(static_cast<int>(modes.size())))];
        ASSERT_TRUE(processBlock(mode, static_cast<int>(random.between(1, kMaxBlock))));
    }
    ASSERT_TRUE(finishInstance(*instance));
}

void checkNoFramesTouchNothing(const std::string& path, const Options& options) {
    SCOPED_TRACE(traceOf(path, options));
    Random random = randomFor(options, "NoFramesTouchNothing");
    auto library = PluginLibrary::open(path);
    const std::vector<float> settings = audibleSettings(library, random);
    const std::int32_t counts[] = {0, -1, -256, INT32_MIN};

    auto instance = startInstance(library);
    applySettings(*instance, settings);
    const std::vector<Mode> modes = modesOf(*instance);
    StereoBuffer a(256);
    StereoBuffer b(256);
    for (std::int32_t count : counts) {
        for (Mode mode : modes) {
            for (bool inPlace : {false, true}) {
                a.fillNoise(random, 1.0f);
                b.fillNoise(random, 1.0f);
                const StereoBuffer aCopy = a;
                const StereoBuffer bCopy = b;
                runBlock(*instance, mode, a.pointers(), inPlace ? a.pointers() : b.pointers(), count);
                ASSERT_TRUE(a.identical(aCopy) && b.identical(bCopy))
                    << modeName(mode) << " of " << count << " frames" << (inPlace ? " in place" : "")
                    << " touched a buffer";
            }
        }
    }

    // Calls without frames leave the effect where it was: an instance that
    // got them goes on exactly like its twin that did not.
    auto twin = startInstance(library);
    applySettings(*twin, settings);
    const std::uint64_t seed = random.next();
    ScriptPlayer withCalls(seed, preferredMode(*instance));
    ScriptPlayer without(seed, preferredMode(*instance));
    for (int block = 0; block < scaled(40); ++block) {
        withCalls.playBlock(*instance);
        without.playBlock(*twin);
        for (std::int32_t count : counts) {
            for (Mode mode : modes) runBlock(*instance, mode, a.pointers(), b.pointers(), count);
        }
    }
    ASSERT_TRUE(sameRecording(withCalls.recording(), without.recording(), "after calls without frames"));
    ASSERT_TRUE(finishInstance(*instance));
    ASSERT_TRUE(finishInstance(*twin));
}

void checkInPlaceMatchesOutOfPlace(const std::string& path, const Options& options) {
    SCOPED_TRACE(traceOf(path, options));
    Random random = randomFor(options, "InPlaceMatchesOutOfPlace");
    auto library = PluginLibrary::open(path);
    auto outOfPlace = startInstance(library);
    auto inPlace = startInstance(library);
    const std::vector<float> settings = audibleSettings(library, random);
    applySettings(*outOfPlace, settings);
    applySettings(*inPlace, settings);
    const std::vector<Mode> modes = modesOf(*outOfPlace);

    StereoBuffer input(2048);
    StereoBuffer output(2048);
    StereoBuffer shared(2048);
    for (int block = 0; block < scaled(256); ++block) {
        const int count = static_cast<int>(random.between(1, 2048));
        const Mode mode = modes[static_cast<std::size_t>(random.index(static_cast<int>(modes.size())))];
        input.fillNoise(random, 1.0f);
        // `process` adds: out of place it adds to a copy of the input, which
        // is what the shared buffer holds in place.
        if (mode == Mode::Replacing) {
            output.fillUnwritten();
        } else {
            output = input;
        }
        shared = input;
        runBlock(*outOfPlace, mode, input.pointers(), output.pointers(), count);
        runBlock(*inPlace, mode, shared.pointers(), shared.pointers(), count);
        ASSERT_TRUE(sameSamples(shared, output, 0, count, (std::string(modeName(mode)) + " in place").c_str()));
        ASSERT_TRUE(shared.guardsIntact("in place"));
    }
    ASSERT_TRUE(finishInstance(*outOfPlace));
    ASSERT_TRUE(finishInstance(*inPlace));
}

void checkProcessAddsToTheOutput(const std::string& path, const Options& options) {
    SCOPED_TRACE(traceOf(path, options));
    Random random = randomFor(options, "ProcessAddsToTheOutput");
    auto library = PluginLibrary::open(path);
    auto replacing = startInstance(library);
    auto adding = startInstance(library);
    if (modesOf(*replacing).size() < 2) GTEST_SKIP() << "no processReplacing to compare `process` with";
    const std::vector<float> settings = audibleSettings(library, random);
    applySettings(*replacing, settings);
    applySettings(*adding, settings);

    const float levels[] = {0.0f, 1e-3f, 1.0f, 100.0f};
    StereoBuffer input(2048);
    StereoBuffer replaced(2048);
    StereoBuffer held(2048);
    StereoBuffer added(2048);
    for (int block = 0; block < scaled(256); ++block) {
        const int count = static_cast<int>(random.between(1, 2048));
        input.fillNoise(random, 1.0f);
        held.fillNoise(random, levels[random.index(4)]);
        added = held;
        replaced.fillUnwritten();
        replacing->processReplacing(input.pointers(), replaced.pointers(), count);
        adding->process(input.pointers(), added.pointers(), count);
        ASSERT_TRUE(finiteSamples(replaced, count, "processReplacing"));

        // The plug-in rounds the sum once, from a product that may or may not
        // have been rounded to float before; held + replaced rounds both. The
        // two differ by a few units in the last place of the larger term at
        // most, or by the smallest normal float where products flush to zero.
        for (int c = 0; c < 2; ++c) {
            for (int i = 0; i < count; ++i) {
                const double h = held.channel(c)[i];
                const double r = replaced.channel(c)[i];
                const double s = added.channel(c)[i];
                const double tolerance = std::ldexp(std::fabs(h) + std::fabs(r), -21) + FLT_MIN;
                ASSERT_LE(std::fabs(s - (h + r)), tolerance)
                    << "process: channel " << c << " frame " << i << " held " << h << ", processReplacing writes " << r
                    << ", so " << (h + r) << " is expected; process gives " << s;
            }
        }
        ASSERT_TRUE(added.guardsIntact("process"));
    }
    ASSERT_TRUE(finishInstance(*replacing));
    ASSERT_TRUE(finishInstance(*adding));
}

void checkFiniteInputGivesFiniteOutput(const std::string& path, const Options& options) {
    SCOPED_TRACE(traceOf(path, options));
    Random random = randomFor(options, "FiniteInputGivesFiniteOutput");
    auto library = PluginLibrary::open(path);
    auto instance = startInstance(library);
    const std::int32_t params = instance->numParams();
    const std::int32_t programs = instance->numPrograms();
    applySettings(*instance, randomSettings(random, params));
    const std::vector<Mode> modes = modesOf(*instance);

    StereoBuffer input(1024);
    StereoBuffer output(1024);
    for (int block = 0; block < scaled(2000); ++block) {
        if (params > 0 && random.chance(0.3)) instance->setParameter(random.index(params), randomSetting(random));
        if (programs > 0 && random.chance(0.03)) instance->setProgram(random.index(programs));
        const int count = static_cast<int>(random.between(1, 1024));
        const Mode mode = modes[static_cast<std::size_t>(random.index(static_cast<int>(modes.size())))];
        fillSignal(input, random);
        if (mode == Mode::Replacing) {
            output.fillUnwritten();
        } else {
            output.fillNoise(random, 0.5f);
        }
        runBlock(*instance, mode, input.pointers(), output.pointers(), count);
        ASSERT_TRUE(finiteSamples(output, count, modeName(mode)));
        ASSERT_TRUE(output.guardsIntact(modeName(mode)));
    }
    ASSERT_TRUE(finishInstance(*instance));
}

void checkSuspendResume(const std::string& path, const Options& options) {
    SCOPED_TRACE(traceOf(path, options));
    Random random = randomFor(options, "SuspendResume");
    auto library = PluginLibrary::open(path);
    auto instance = PluginInstance::create(library);
    instance->open();
    applySettings(*instance, randomSettings(random, instance->numParams()));

    const float rates[] = {44100.0f, 96000.0f, 48000.0f};
    const std::int32_t blockSizes[] = {kMaxBlock, 512, 64};
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE("resume " + std::to_string(round + 1));
        instance->setSampleRate(rates[round]);
        instance->setBlockSize(blockSizes[round]);
        instance->resume();
        ASSERT_TRUE(processNoise(*instance, random, scaled(16384), blockSizes[round]));
        instance->suspend();
    }
    // Hosts repeat themselves.
    instance->suspend();
    instance->resume();
    instance->resume();
    ASSERT_TRUE(processNoise(*instance, random, scaled(4096), 64));
    ASSERT_TRUE(finishInstance(*instance));
}

void checkInstancesAreIndependent(const std::string& path, const Options& options) {
    SCOPED_TRACE(traceOf(path, options));
    Random random = randomFor(options, "InstancesAreIndependent");
    auto library = PluginLibrary::open(path);
    auto probe = PluginInstance::create(library);
    const std::int32_t params = probe->numParams();
    const std::int32_t programs = probe->numPrograms();
    const std::vector<Mode> modes = modesOf(*probe);
    const Mode mode = preferredMode(*probe);
    probe.reset();

    const std::vector<float> settings = audibleSettings(library, random);
    const std::uint64_t seed = random.next();
    const int blocks = scaled(128);
    std::string fault;
    const Recording alone = playAlone(library, settings, seed, mode, blocks, fault);
    ASSERT_EQ(fault, "");

    // Two twins of the lone instance, and two others at other rates and
    // settings that are changed, switched and restarted as they go.
    auto first = startInstance(library);
    auto other = startInstance(library, 48000.0f);
    auto second = startInstance(library);
    auto another = startInstance(library, 96000.0f);
    applySettings(*other, randomSettings(random, params));
    applySettings(*first, settings);
    applySettings(*another, randomSettings(random, params));
    applySettings(*second, settings);
    ScriptPlayer firstPlayer(seed, mode);
    ScriptPlayer secondPlayer(seed, mode);
    ScriptPlayer otherPlayer(random.next(), mode);
    ScriptPlayer anotherPlayer(random.next(), modes.front());

    int order[] = {0, 1, 2, 3};
    for (int block = 0; block < blocks; ++block) {
        for (int i = 3; i > 0; --i) std::swap(order[i], order[random.index(i + 1)]);
        for (int which : order) {
            switch (which) {
                case 0: firstPlayer.playBlock(*first); break;
                case 1: secondPlayer.playBlock(*second); break;
                case 2:
                    if (params > 0) other->setParameter(random.index(params), randomSetting(random));
                    if (programs > 0 && random.chance(0.1)) other->setProgram(random.index(programs));
                    otherPlayer.playBlock(*other);
                    break;
                default:
                    if (random.chance(0.1)) {
                        another->suspend();
                        another->setSampleRate(random.chance(0.5) ? 22050.0f : 192000.0f);
                        another->resume();
                    }
                    anotherPlayer.playBlock(*another);
                    break;
            }
        }
    }
    ASSERT_EQ(firstPlayer.fault() + secondPlayer.fault() + otherPlayer.fault() + anotherPlayer.fault(), "");
    ASSERT_TRUE(sameRecording(firstPlayer.recording(), alone, "first of four instances"));
    ASSERT_TRUE(sameRecording(secondPlayer.recording(), alone, "third of four instances"));
    for (auto* instance : {&first, &other, &second, &another}) ASSERT_TRUE(finishInstance(**instance));
}

void checkInstancesOnSeveralThreads(const std::string& path, const Options& options) {
    SCOPED_TRACE(traceOf(path, options));
    Random random = randomFor(options, "InstancesOnSeveralThreads");
    auto library = PluginLibrary::open(path);
    auto probe = PluginInstance::create(library);
    const std::vector<float> settings = audibleSettings(library, random);
    const Mode mode = preferredMode(*probe);
    probe.reset();

    const std::uint64_t seed = random.next();
    const int blocks = scaled(128);
    std::string fault;
    const Recording alone = playAlone(library, settings, seed, mode, blocks, fault);
    ASSERT_EQ(fault, "");

    constexpr int kThreads = 4;
    std::vector<Recording> recordings(kThreads);
    std::vector<std::string> faults(kThreads);
    StartGate ready(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            std::unique_ptr<PluginInstance> instance;
            try {
                instance = startInstance(library);
                applySettings(*instance, settings);
            } catch (const std::exception& error) {
                faults[t] = error.what();
            }
            ready.arriveAndWait();  // all four process at the same time
            if (!instance) return;
            try {
                ScriptPlayer player(seed, mode);
                for (int block = 0; block < blocks; ++block) player.playBlock(*instance);
                recordings[t] = player.recording();
                faults[t] = player.fault();
                if (auto finished = finishInstance(*instance); !finished) faults[t] += finished.message();
            } catch (const std::exception& error) {
                faults[t] = error.what();
            }
        });
    }
    for (auto& thread : threads) thread.join();
    for (int t = 0; t < kThreads; ++t) {
        SCOPED_TRACE("thread " + std::to_string(t + 1));
        ASSERT_EQ(faults[t], "");
        ASSERT_TRUE(sameRecording(recordings[t], alone, "an instance on its own thread"));
    }
}

}  // namespace velmora::conformance
