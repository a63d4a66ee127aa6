// The list of checks and their registration as gtest tests.
#include "Conformance.h"

#include <gtest/gtest.h>

#include <utility>

namespace velmora::conformance {

namespace {

class ConformanceTest : public testing::Test {
public:
    ConformanceTest(CheckFunction run, std::string path, Options options)
        : run_(run), path_(std::move(path)), options_(options) {}
    void TestBody() override { run_(path_, options_); }

private:
    CheckFunction run_;
    std::string path_;
    Options options_;
};

}  // namespace

const std::vector<Check>& allChecks() {
    static const std::vector<Check> checks = {
        {"Record", &checkRecord},
        {"SampleRates", &checkSampleRates},
        {"BlockSizes", &checkBlockSizes},
        {"NoFramesTouchNothing", &checkNoFramesTouchNothing},
        {"InPlaceMatchesOutOfPlace", &checkInPlaceMatchesOutOfPlace},
        {"ProcessAddsToTheOutput", &checkProcessAddsToTheOutput},
        {"FiniteInputGivesFiniteOutput", &checkFiniteInputGivesFiniteOutput},
        {"HostileParameterValues", &checkHostileParameterValues},
        {"RecoveryAfterHostileValues", &checkRecoveryAfterHostileValues},
        {"ProgramChanges", &checkProgramChanges},
        {"SuspendResume", &checkSuspendResume},
        {"HostMistakes", &checkHostMistakes},
        {"InstancesAreIndependent", &checkInstancesAreIndependent},
        {"InstancesOnSeveralThreads", &checkInstancesOnSeveralThreads},
        {"Texts", &checkTexts},
    };
    return checks;
}

void registerConformanceTests(const std::string& name, const std::string& path, const Options& options) {
    const std::string suite = name + "Conformance";
    for (const Check& check : allChecks()) {
        testing::RegisterTest(
            suite.c_str(), check.name, nullptr, nullptr, __FILE__, __LINE__,
            [run = check.run, path, options]() -> ConformanceTest* { return new ConformanceTest(run, path, options); });
    }
}

}  // namespace velmora::conformance
