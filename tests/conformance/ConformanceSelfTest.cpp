// The battery itself: in full on a conforming fixture plug-in, and on
// fixtures that each carry one fault, where the check meant for that fault
// has to fail with a message that names it.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Conformance.h"

using namespace velmora::conformance;

VELMORA_CONFORMANCE_TESTS(GainFixture, VELMORA_FIXTURE_DIR "/fixture_gain.so");

namespace {

std::string fixture(const std::string& fault) {
    return std::string(VELMORA_FIXTURE_DIR) + "/fixture_gain_" + fault + ".so";
}

// The failure messages that `check` reports, without failing this test.
std::vector<std::string> failuresOf(CheckFunction check, const std::string& path) {
    testing::TestPartResultArray results;
    std::vector<std::string> messages;
    {
        testing::ScopedFakeTestPartResultReporter reporter(
            testing::ScopedFakeTestPartResultReporter::INTERCEPT_ALL_THREADS, &results);
        try {
            check(path, Options{});
        } catch (const std::exception& error) {
            messages.push_back(std::string("exception: ") + error.what());
        }
    }
    for (int i = 0; i < results.size(); ++i) {
        if (results.GetTestPartResult(i).failed()) messages.push_back(results.GetTestPartResult(i).message());
    }
    return messages;
}

testing::AssertionResult reports(const std::vector<std::string>& failures, const std::string& words) {
    if (failures.empty()) return testing::AssertionFailure() << "the check passed";
    for (const std::string& failure : failures) {
        if (failure.find(words) != std::string::npos) return testing::AssertionSuccess();
    }
    return testing::AssertionFailure() << "no failure says \"" << words << "\"; the first says: " << failures[0];
}

}  // namespace

TEST(ConformanceBattery, CatchesWritesPastTheLastFrame) {
    EXPECT_TRUE(reports(failuresOf(&checkBlockSizes, fixture("overrun")), "process of 1 frames wrote past its frames"));
}

TEST(ConformanceBattery, CatchesProcessThatReplacesInsteadOfAdding) {
    EXPECT_TRUE(reports(failuresOf(&checkProcessAddsToTheOutput, fixture("replaces_in_process")), "process gives"));
}

TEST(ConformanceBattery, CatchesStateSharedBetweenInstances) {
    EXPECT_TRUE(
        reports(failuresOf(&checkInstancesAreIndependent, fixture("shared_state")), "one instance alone gives"));
}

TEST(ConformanceBattery, CatchesDisplayTextsLongerThanEightCharacters) {
    EXPECT_TRUE(reports(failuresOf(&checkTexts, fixture("long_text")), "9 characters, at most 8 allowed"));
}

TEST(ConformanceBattery, CatchesNaNThatStaysAfterTheHostPutsValuesBack) {
    EXPECT_TRUE(reports(failuresOf(&checkRecoveryAfterHostileValues, fixture("sticky_nan")),
                        "after every parameter was put back inside 0..1"));
}

TEST(ConformanceBattery, RegistersOneTestPerCheckUnderThePlugInsName) {
    const testing::UnitTest& unit = *testing::UnitTest::GetInstance();
    std::vector<std::string> names;
    for (int s = 0; s < unit.total_test_suite_count(); ++s) {
        const testing::TestSuite& suite = *unit.GetTestSuite(s);
        if (std::string(suite.name()) != "GainFixtureConformance") continue;
        for (int t = 0; t < suite.total_test_count(); ++t) names.push_back(suite.GetTestInfo(t)->name());
    }
    ASSERT_EQ(names.size(), allChecks().size());
    for (std::size_t i = 0; i < names.size(); ++i) EXPECT_EQ(names[i], allChecks()[i].name);
}
