#include "ToolTestSupport.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sndfile.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "VstHost.h"

extern char** environ;

namespace toolstest {

ScratchDir::ScratchDir() {
    std::string pattern = (fs::temp_directory_path() / "velmora-tool-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

ScratchDir::~ScratchDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

std::vector<std::string> ScratchDir::entries() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(path_)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

namespace {
std::string slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}
}  // namespace

namespace {

struct Spawned {
    std::vector<std::string> argStrings, envStrings;
    std::vector<char*> argv, envp;
};

// velmora's argv and environment (without a test fault, unless given).
Spawned commandLine(const std::vector<std::string>& args, const std::map<std::string, std::string>& env) {
    Spawned s;
    s.argStrings.push_back(VELMORA_EXE);
    s.argStrings.insert(s.argStrings.end(), args.begin(), args.end());
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        if (entry.rfind("VELMORA_TEST_FAULT=", 0) != 0) s.envStrings.push_back(entry);
    }
    for (const auto& [k, v] : env) s.envStrings.push_back(k + "=" + v);
    for (auto& a : s.argStrings) s.argv.push_back(a.data());
    s.argv.push_back(nullptr);
    for (auto& e : s.envStrings) s.envp.push_back(e.data());
    s.envp.push_back(nullptr);
    return s;
}

pid_t spawn(Spawned& s, const std::string& in, const std::string& out, const std::string& err) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, in.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, VELMORA_EXE, &actions, nullptr, s.argv.data(), s.envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) throw std::runtime_error("cannot start " VELMORA_EXE);
    return pid;
}

void waitFor(pid_t pid, RunResult& result) {
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
}

}  // namespace

RunResult runVelmora(const std::vector<std::string>& args, const std::map<std::string, std::string>& env,
                     const fs::path& input) {
    ScratchDir capture;
    const std::string outPath = (capture / "stdout").string(), errPath = (capture / "stderr").string();
    Spawned command = commandLine(args, env);
    RunResult result;
    waitFor(spawn(command, input.string(), outPath, errPath), result);
    result.out = slurp(outPath);
    result.err = slurp(errPath);
    return result;
}

RunResult runVelmoraOnTerminal(const std::vector<std::string>& args, int columns, const std::string& awaited,
                               int signal) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) throw std::runtime_error("no terminal");
    const std::string terminal = ptsname(master);
    const int slave = open(terminal.c_str(), O_RDWR | O_NOCTTY);
    winsize size{};
    size.ws_row = 24;
    size.ws_col = static_cast<unsigned short>(columns);
    ioctl(slave, TIOCSWINSZ, &size);
    ScratchDir capture;
    Spawned command = commandLine(args, {});
    const pid_t pid = spawn(command, "/dev/null", (capture / "stdout").string(), terminal);
    close(slave);
    RunResult result;
    bool signalled = signal == 0;
    for (char buffer[4096];;) {
        pollfd p{master, POLLIN, 0};
        if (poll(&p, 1, 30000) <= 0) break;
        const ssize_t n = read(master, buffer, sizeof buffer);
        if (n <= 0) break;  // the program ended: the terminal is closed
        result.err.append(buffer, static_cast<std::size_t>(n));
        if (!signalled && result.err.find(awaited) != std::string::npos) signalled = kill(pid, signal) == 0;
    }
    close(master);
    waitFor(pid, result);
    result.out = slurp(capture / "stdout");
    return result;
}

Audio testSignal(int channels, int sampleRate, int frames) {
    Audio audio{channels, sampleRate, SF_FORMAT_WAV | SF_FORMAT_FLOAT, {}};
    audio.samples.resize(static_cast<std::size_t>(channels) * frames);
    for (int i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            audio.samples[static_cast<std::size_t>(i) * channels + c] =
                static_cast<float>(0.6 * std::sin(0.013 * i * (c + 1)) + 0.2 * std::sin(0.31 * i + c));
    return audio;
}

void writeAudio(const fs::path& path, const Audio& audio) {
    SF_INFO info{};
    info.channels = audio.channels;
    info.samplerate = audio.sampleRate;
    info.format = audio.format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (file == nullptr) throw std::runtime_error("cannot write test file " + path.string());
    sf_writef_float(file, audio.samples.data(), static_cast<sf_count_t>(audio.samples.size() / audio.channels));
    sf_close(file);
}

Audio readAudio(const fs::path& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) throw std::runtime_error("cannot read " + path.string());
    Audio audio{info.channels, info.samplerate, info.format, {}};
    audio.samples.resize(static_cast<std::size_t>(info.frames) * info.channels);
    sf_readf_float(file, audio.samples.data(), info.frames);
    sf_close(file);
    return audio;
}

std::pair<std::vector<float>, std::vector<float>> processDirectly(
    const std::string& path, const Audio& input, int blockSize, const std::vector<std::pair<int, float>>& parameters) {
    using velmora::host::PluginInstance;
    auto plugin = PluginInstance::load(path);
    plugin->open();
    plugin->setSampleRate(static_cast<float>(input.sampleRate));
    plugin->setBlockSize(blockSize);
    for (const auto& [index, value] : parameters) plugin->setParameter(index, value);
    plugin->resume();
    plugin->suspend();
    plugin->resume();
    const std::size_t frames = input.samples.size() / input.channels;
    std::vector<float> left(frames), right(frames);
    std::vector<float> inL(blockSize), inR(blockSize);
    for (std::size_t start = 0; start < frames; start += blockSize) {
        const int n = static_cast<int>(std::min<std::size_t>(blockSize, frames - start));
        for (int i = 0; i < n; ++i) {
            const std::size_t at = (start + i) * input.channels;
            inL[i] = input.samples[at];
            inR[i] = input.samples[at + (input.channels - 1)];
        }
        plugin->processReplacing(inL.data(), inR.data(), left.data() + start, right.data() + start, n);
    }
    plugin->suspend();
    plugin->close();
    return {left, right};
}

std::string pluginPath(const std::string& name) { return std::string(VELMORA_PLUGIN_DIR) + "/" + name + ".so"; }
std::string fixturePath(const std::string& name) {
    return std::string(VELMORA_TOOL_FIXTURE_DIR) + "/fixture_" + name + ".so";
}
bool pluginBuilt(const std::string& name) { return fs::exists(pluginPath(name)); }

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::stringstream s(text);
    for (std::string line; std::getline(s, line);) result.push_back(line);
    return result;
}

}  // namespace toolstest
