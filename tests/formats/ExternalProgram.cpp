#include "ExternalProgram.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sndfile.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

extern char** environ;

namespace velmora::formats {

namespace fs = std::filesystem;

namespace {

// This process's environment with `changes` added or replacing.
std::vector<std::string> environmentWith(const std::vector<std::string>& changes) {
    std::vector<std::string> result;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        const std::string name = text.substr(0, text.find('=') + 1);
        bool replaced = false;
        for (const std::string& change : changes) replaced = replaced || change.compare(0, name.size(), name) == 0;
        if (!replaced) result.push_back(text);
    }
    result.insert(result.end(), changes.begin(), changes.end());
    return result;
}

std::vector<char*> pointers(std::vector<std::string>& texts) {
    std::vector<char*> result;
    for (std::string& text : texts) result.push_back(text.data());
    result.push_back(nullptr);
    return result;
}

int waitWithDeadline(pid_t pid, int seconds) {
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            ADD_FAILURE() << "the program did not finish within " << seconds << " s";
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace

ProgramResult runProgram(const std::vector<std::string>& arguments, const std::vector<std::string>& environment,
                         int seconds) {
    ProgramResult result;
    ScratchFolder scratch;
    const fs::path log = scratch.path() / "output";
    std::vector<std::string> argumentTexts = arguments;
    std::vector<std::string> environmentTexts = environmentWith(environment);
    std::vector<char*> argv = pointers(argumentTexts);
    std::vector<char*> envp = pointers(environmentTexts);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        ADD_FAILURE() << "cannot start " << arguments[0] << ": " << std::strerror(spawned);
        return result;
    }
    result.exitCode = waitWithDeadline(pid, seconds);
    result.output = readText(log);
    return result;
}

std::string readText(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

ScratchFolder::ScratchFolder() {
    std::string pattern = (fs::temp_directory_path() / "velmora-formats-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot create a scratch folder");
    path_ = pattern;
}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

void writeStereoWav(const fs::path& file, const std::vector<float>& samples, int sampleRate) {
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* sound = sf_open(file.c_str(), SFM_WRITE, &info);
    if (sound == nullptr) throw std::runtime_error("cannot write " + file.string());
    sf_writef_float(sound, samples.data(), sf_count_t(samples.size() / 2));
    sf_close(sound);
}

std::vector<float> readWav(const fs::path& file, int channels) {
    SF_INFO info{};
    SNDFILE* sound = sf_open(file.c_str(), SFM_READ, &info);
    if (sound == nullptr || info.channels != channels) {
        if (sound != nullptr) sf_close(sound);
        ADD_FAILURE() << "cannot read " << file << " as a file of " << channels << " channels";
        return {};
    }
    std::vector<float> samples(std::size_t(info.frames) * std::size_t(channels));
    sf_readf_float(sound, samples.data(), info.frames);
    sf_close(sound);
    return samples;
}

std::vector<float> velmoraRender(const fs::path& input, const std::string& plugin,
                                 const std::vector<std::string>& settings, const fs::path& output) {
    std::vector<std::string> arguments = {
        VELMORA_EXE, "render", std::string(VELMORA_PLUGIN_DIR) + "/" + plugin + ".so", input.string(), output.string(),
        "--quiet",   "--force"};
    for (const std::string& setting : settings) arguments.insert(arguments.end(), {"--set", setting});
    const ProgramResult run = runProgram(arguments);
    EXPECT_EQ(run.exitCode, 0) << run.output;
    return readWav(output);
}

std::vector<float> stereoNoise(double seconds, unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> noise(-0.9f, 0.9f);
    std::vector<float> samples(std::size_t(seconds * 44100.0) * 2);
    for (float& sample : samples) sample = noise(random);
    return samples;
}

long long firstDifference(const std::vector<float>& a, const std::vector<float>& b) {
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        if (std::memcmp(&a[i], &b[i], sizeof(float)) != 0) return (long long)i;
    }
    return a.size() == b.size() ? -1 : (long long)common;
}

}  // namespace velmora::formats
