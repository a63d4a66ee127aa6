// Helpers for velmora's end-to-end tests: a scratch folder, running the
// executable, writing and reading audio files, and rendering the same
// samples straight through the host library for comparison.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace toolstest {

namespace fs = std::filesystem;

// A fresh folder under the system's temporary folder, removed afterwards.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    const fs::path& path() const { return path_; }
    fs::path operator/(const std::string& name) const { return path_ / name; }
    // Names of the entries, hidden ones included, sorted.
    std::vector<std::string> entries() const;

private:
    fs::path path_;
};

struct RunResult {
    int exitCode = -1;  // -1 when killed by a signal
    int signal = 0;
    std::string out, err;
};

// Runs velmora with these arguments (and extra environment variables),
// standard input read from `input`.
RunResult runVelmora(const std::vector<std::string>& args, const std::map<std::string, std::string>& env = {},
                     const fs::path& input = "/dev/null");

// Runs velmora with stderr on a terminal of `columns` columns; once that
// terminal shows `awaited`, sends `signal` (none when 0). `err` is what the
// terminal showed.
RunResult runVelmoraOnTerminal(const std::vector<std::string>& args, int columns, const std::string& awaited,
                               int signal);

struct Audio {
    int channels = 0;
    int sampleRate = 0;
    int format = 0;              // libsndfile's SF_FORMAT_* of the file
    std::vector<float> samples;  // interleaved
};

// A 32-bit float WAV of `frames` frames of a deterministic test signal.
Audio testSignal(int channels, int sampleRate, int frames);
void writeAudio(const fs::path& path, const Audio& audio);
Audio readAudio(const fs::path& path);

// Processes `input` (mono goes to both channels) the way velmora render
// does: open, sample rate, block size, parameters by index, mains on, off,
// on, processReplacing blocks, mains off, close. Returns the left and
// right outputs.
std::pair<std::vector<float>, std::vector<float>> processDirectly(const std::string& pluginPath, const Audio& input,
                                                                  int blockSize,
                                                                  const std::vector<std::pair<int, float>>& parameters);

std::string pluginPath(const std::string& name);   // in the build's plug-in folder
std::string fixturePath(const std::string& name);  // the tests' own fixture plug-ins
bool pluginBuilt(const std::string& name);

std::vector<std::string> lines(const std::string& text);

}  // namespace toolstest
