// A real host loads the Linux plug-ins: Ardour's VST 2 scanner opens each
// file, instantiates the effect and writes what it found into its cache.
// The scanner runs with a private HOME, so the cache it writes is the one
// read back here and nothing of the user's own setup is touched.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

const fs::path kScanner = VELMORA_ARDOUR_SCANNER;

using Attributes = std::map<std::string, std::string>;

// A folder of its own for one scan, removed afterwards.
class PrivateHome {
public:
    PrivateHome() {
        std::string pattern = (fs::temp_directory_path() / "velmora-ardour-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
    }
    ~PrivateHome() {
        std::error_code ignored;
        if (!path_.empty()) fs::remove_all(path_, ignored);
    }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

struct Scan {
    int exitCode = -1;
    std::string log;                  // what the scanner printed
    std::vector<Attributes> cache;    // one VST2Cache element per cache file
    std::vector<Attributes> plugins;  // every VST2Info element
};

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The attributes of every `<element ...>` in an XML text.
std::vector<Attributes> elements(const std::string& xml, const std::string& element) {
    std::vector<Attributes> found;
    const std::regex tag("<" + element + "\\s([^>]*)>");
    const std::regex attribute("([A-Za-z_][A-Za-z0-9_]*)=\"([^\"]*)\"");
    for (std::sregex_iterator t(xml.begin(), xml.end(), tag), end; t != end; ++t) {
        const std::string inside = (*t)[1].str();
        Attributes attributes;
        for (std::sregex_iterator a(inside.begin(), inside.end(), attribute); a != end; ++a) {
            attributes[(*a)[1].str()] = (*a)[2].str();
        }
        found.push_back(attributes);
    }
    return found;
}

// Runs the scanner on one plug-in file with a private home and reads the
// cache files it wrote there. A scanner that has not finished after 60 s
// is killed.
Scan scan(const fs::path& plugin) {
    Scan result;
    PrivateHome home;
    if (home.path().empty()) {
        ADD_FAILURE() << "cannot create a private home folder";
        return result;
    }
    const fs::path log = home.path() / "scanner.log";
    const std::string h = home.path().string();
    std::vector<std::string> environment = {
        "HOME=" + h,
        "XDG_CACHE_HOME=" + h + "/.cache",
        "XDG_CONFIG_HOME=" + h + "/.config",
        "XDG_DATA_HOME=" + h + "/.local/share",
        "LD_LIBRARY_PATH=" + kScanner.parent_path().string(),
        "PATH=/usr/bin:/bin",
    };
    std::vector<std::string> arguments = {kScanner.string(), "--force", plugin.string()};
    std::vector<char*> envp, argv;
    for (auto& e : environment) envp.push_back(e.data());
    envp.push_back(nullptr);
    for (auto& a : arguments) argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        ADD_FAILURE() << "cannot start " << kScanner << ": " << std::strerror(spawned);
        return result;
    }
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            ADD_FAILURE() << "the scanner did not finish within 60 s";
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.log = readFile(log);
    for (const auto& entry : fs::recursive_directory_iterator(home.path())) {
        if (entry.path().extension() != ".v2i") continue;
        const std::string xml = readFile(entry.path());
        for (auto& e : elements(xml, "VST2Cache")) result.cache.push_back(e);
        for (auto& e : elements(xml, "VST2Info")) result.plugins.push_back(e);
    }
    return result;
}

// Checks what the scanner recorded for a plug-in file against `expected`.
void expectScannerSees(const fs::path& plugin, const Attributes& expected) {
    if (!fs::exists(kScanner)) {
        GTEST_SKIP() << "Ardour's VST 2 scanner is not installed (" << kScanner.string() << ", Debian package ardour)";
    }
    const Scan seen = scan(plugin);
    EXPECT_EQ(seen.exitCode, 0) << seen.log;
    ASSERT_EQ(seen.cache.size(), 1u) << "one cache file for the plug-in file\n" << seen.log;
    Attributes cache = seen.cache[0];
    EXPECT_EQ(cache["binary"], plugin.string());
    EXPECT_EQ(cache["arch"], "x86_64");
    ASSERT_EQ(seen.plugins.size(), 1u) << "one effect in the file\n" << seen.log;
    Attributes info = seen.plugins[0];
    for (const auto& [key, value] : expected) {
        EXPECT_EQ(info[key], value) << "attribute " << key << "\n" << seen.log;
    }
}

TEST(ArdourScanner, SeesVelmoraGaterAsAStereoReplacingEffectWithoutEditor) {
    expectScannerSees(VELMORA_GATER_FILE, {
                                              {"name", "VelmoraGater"},
                                              {"id", "1266042740"},  // "KvGt" = 0x4B764774
                                              {"n_inputs", "2"},
                                              {"n_outputs", "2"},
                                              {"can_process_replace", "1"},
                                              {"has_editor", "0"},
                                              {"is_instrument", "0"},
                                          });
}

TEST(ArdourScanner, SeesVelmoraTremoloAsAStereoReplacingEffectWithoutEditor) {
    expectScannerSees(VELMORA_TREMOLO_FILE, {
                                                {"name", "VelmoraTremolo"},
                                                {"id", "1266046066"},  // "KvTr" = 0x4B765472
                                                {"n_inputs", "2"},
                                                {"n_outputs", "2"},
                                                {"can_process_replace", "1"},
                                                {"has_editor", "0"},
                                                {"is_instrument", "0"},
                                            });
}

}  // namespace
