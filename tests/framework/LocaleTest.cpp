// A process whose locale has a comma as decimal separator when it loads the
// plug-in. Its own executable: the separator is read once, at load time.
#include <clocale>

#include "TestHost.h"

namespace {

TEST(Locale, NumbersUseTheSeparatorInForceWhenTheLibraryWasLoaded) {
    if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) GTEST_SKIP() << "locale de_DE.UTF-8 is not installed";
    auto plugin = velmora::host::PluginInstance::load(pluginPath("VelmoraTestPlugin"));
    std::setlocale(LC_ALL, "C");  // later changes do not matter

    const std::pair<float, const char*> cases[] = {
        {0.5f, "0,5"}, {0.0f, "0.000000"}, {1234567.5f, "1234567,"}, {0.00001f, "9,999999"}, {100.0f, "100"}};
    for (auto [value, text] : cases) {
        plugin->setParameter(testplugin::kFloat2string, value);
        EXPECT_EQ(plugin->parameterDisplay(testplugin::kFloat2string), text);
    }
    plugin->setParameter(testplugin::kDB2string, 0.5f);
    EXPECT_EQ(plugin->parameterDisplay(testplugin::kDB2string), "-6,02059");
}

}  // namespace
