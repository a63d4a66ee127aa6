// Instances come and go by the hundred thousand in a long session (every
// scan, every project load, every undo of an insert), and a big project
// keeps a thousand of them alive at once. Neither may cost memory that is
// not given back, and no instance may hear another.
#include <algorithm>
#include <cstdio>
#include <numeric>

#include "Session.h"

namespace velmora::reliability {
namespace {

class Lifecycle : public testing::TestWithParam<std::string> {
protected:
    std::shared_ptr<PluginLibrary> library = PluginLibrary::open(pluginPath(GetParam()));
};

// One short host session: open, rate, resume, one block, suspend, close.
void createUseAndClose(const std::shared_ptr<PluginLibrary>& library, Stereo& block) {
    auto instance = PluginInstance::create(library);
    instance->open();
    instance->setSampleRate(48000.0f);
    instance->resume();
    const int frames = static_cast<int>(block.left.size());
    instance->processReplacing(block.left.data(), block.right.data(), block.left.data(), block.right.data(), frames);
    instance->suspend();
    ASSERT_EQ(instance->close(), 1);
}

// Any lost allocation, 32 bytes at least with glibc, would add 3 MiB over
// 100 000 cycles; 1 MiB of slack leaves room only for the allocator's own
// bookkeeping.
TEST_P(Lifecycle, HundredThousandCreateCloseCyclesKeepResidentMemoryFlat) {
    constexpr int kCycles = 100000;
    constexpr long kSlackKiB = 1024;
    Stereo block(64, 0.25f);
    for (int i = 0; i < 2000; ++i) createUseAndClose(library, block);  // the allocator's pools settle
    const long before = residentKiB();
    for (int i = 0; i < kCycles; ++i) {
        createUseAndClose(library, block);
        if (HasFatalFailure()) return;
    }
    const long after = residentKiB();
    std::printf("%s: %d create/close cycles, resident %ld KiB before, %ld KiB after\n", GetParam().c_str(), kCycles,
                before, after);
    if (memoryIsChecked()) GTEST_SKIP() << "resident memory is not comparable under a memory checker";
    ASSERT_GT(before, 0) << "no VmRSS in /proc/self/status";
    EXPECT_LE(after - before, kSlackKiB) << "resident memory grew by " << (after - before) << " KiB";
}

// Eight groups of settings (parameter values and sample rates); instance k
// belongs to group k % 8. Each group's output is first recorded from an
// instance alone, then 1000 instances play the same input, block by block
// in a shuffled order, and each must give its group's recording bit for
// bit: nothing of one instance may reach another.
TEST_P(Lifecycle, ThousandInstancesAliveAtOnceProcessIndependently) {
    constexpr int kInstances = 1000;
    constexpr int kGroups = 8;
    constexpr int kBlocks = 12;
    constexpr int kFrames = 256;
    const float rates[kGroups] = {44100.0f, 48000.0f, 96000.0f, 22050.0f, 44100.0f, 88200.0f, 32000.0f, 192000.0f};

    auto setUp = [&](PluginInstance& instance, int group) {
        instance.open();
        instance.setSampleRate(rates[group]);
        instance.setBlockSize(kFrames);
        for (std::int32_t i = 0; i < instance.numParams(); ++i) {
            // A different value for every parameter of every group, inside 0..1.
            const double value = std::fmod(0.1 + 0.37 * (group + 1) * (i + 1) + 0.05 * group, 1.0);
            instance.setParameter(i, static_cast<float>(value));
        }
        instance.resume();
    };
    std::vector<Stereo> inputBlocks;
    {
        Noise noise(42);
        for (int b = 0; b < kBlocks; ++b) {
            inputBlocks.emplace_back(kFrames);
            inputBlocks.back().fill(noise);
        }
    }

    std::vector<std::vector<Stereo>> expected(kGroups);
    for (int group = 0; group < kGroups; ++group) {
        auto alone = PluginInstance::create(library);
        setUp(*alone, group);
        for (Stereo& input : inputBlocks) {
            Stereo output(kFrames);
            alone->processReplacing(input.left.data(), input.right.data(), output.left.data(), output.right.data(),
                                    kFrames);
            expected[group].push_back(output);
        }
        ASSERT_EQ(alone->close(), 1);
    }
    for (int a = 0; a < kGroups; ++a) {
        for (int b = a + 1; b < kGroups; ++b) {
            ASSERT_FALSE(expected[a] == expected[b]) << "groups " << a << " and " << b << " sound alike";
        }
    }

    const long before = residentKiB();
    std::vector<std::unique_ptr<PluginInstance>> instances;
    for (int k = 0; k < kInstances; ++k) {
        instances.push_back(PluginInstance::create(library));
        setUp(*instances.back(), k % kGroups);
    }
    const long alive = residentKiB();

    std::vector<int> order(kInstances);
    std::iota(order.begin(), order.end(), 0);
    std::uint64_t shuffle = 7;
    Stereo output(kFrames);
    for (int b = 0; b < kBlocks; ++b) {
        for (int i = kInstances - 1; i > 0; --i) {
            shuffle = shuffle * 6364136223846793005ull + 1442695040888963407ull;
            std::swap(order[static_cast<std::size_t>(i)], order[static_cast<std::size_t>((shuffle >> 33) % (i + 1))]);
        }
        Stereo& input = inputBlocks[static_cast<std::size_t>(b)];
        for (int k : order) {
            instances[static_cast<std::size_t>(k)]->processReplacing(input.left.data(), input.right.data(),
                                                                     output.left.data(), output.right.data(), kFrames);
            ASSERT_TRUE(output == expected[k % kGroups][static_cast<std::size_t>(b)])
                << "instance " << k << " (group " << k % kGroups << "), block " << b
                << ": differs from an instance with the same settings alone";
        }
    }
    for (auto& instance : instances) ASSERT_EQ(instance->close(), 1);
    std::printf("%s: %d instances alive: resident %ld KiB before, %ld KiB with all of them (%.1f KiB each)\n",
                GetParam().c_str(), kInstances, before, alive, double(alive - before) / kInstances);
}

INSTANTIATE_TEST_SUITE_P(Plugins, Lifecycle, testing::ValuesIn(pluginNames()), nameOfParam);

}  // namespace
}  // namespace velmora::reliability
