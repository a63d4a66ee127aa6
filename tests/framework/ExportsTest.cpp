// What a framework plug-in shows the outside: one dynamic symbol, `main`;
// and two framework plug-ins living side by side in one process.
#include <cstdio>
#include <fstream>
#include <sstream>

#include "TestHost.h"

namespace {

// The defined dynamic symbols of a file, as nm lists them.
std::vector<std::string> definedDynamicSymbols(const std::string& path) {
    const std::string command = std::string(VELMORA_NM) + " -D --defined-only '" + path + "' 2>&1";
    std::vector<std::string> symbols;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        ADD_FAILURE() << "cannot run " << command;
        return symbols;
    }
    char line[512];
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
        std::istringstream fields(line);
        std::string address, type, name;
        if (fields >> address >> type >> name)
            symbols.push_back(name);
        else
            ADD_FAILURE() << "unexpected nm output: " << line;
    }
    EXPECT_EQ(pclose(pipe), 0) << command;
    return symbols;
}

TEST(Exports, EachFrameworkPluginExportsOnlyMain) {
#ifdef _WIN32
    GTEST_SKIP() << "nm reads ELF files; the Windows DLLs' exports are checked with objdump";
#endif
    std::ifstream paths(VELMORA_CHECKED_PLUGINS);  // one path per line
    std::string path;
    int checked = 0;
    while (std::getline(paths, path)) {
        EXPECT_EQ(definedDynamicSymbols(path), std::vector<std::string>{"main"}) << path;
        ++checked;
    }
    EXPECT_GE(checked, 2);
}

TEST(Exports, TwoFrameworkPluginsWorkSideBySide) {
    auto a = velmora::host::PluginInstance::load(pluginPath("VelmoraTestPlugin"));
    auto b = velmora::host::PluginInstance::load(pluginPath("VelmoraTestPluginB"));
    EXPECT_EQ(a->parameterName(0), "TestA");
    EXPECT_EQ(b->parameterName(0), "TestB");
    a->setParameter(testplugin::kFloat2string, 0.5f);
    b->setParameter(testplugin::kFloat2string, -0.25f);
    EXPECT_EQ(a->parameterDisplay(testplugin::kFloat2string), "0.5");
    EXPECT_EQ(b->parameterDisplay(testplugin::kFloat2string), "-0.25");
    EXPECT_EQ(a->close(), 1);
    EXPECT_EQ(b->parameterName(0), "TestB");
    EXPECT_EQ(b->parameterDisplay(testplugin::kFloat2string), "-0.25");
}

}  // namespace
