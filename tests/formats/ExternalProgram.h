// Running the programs of real hosts and validators from a test, and the
// files they read and write.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace velmora::formats {

struct ProgramResult {
    int exitCode = -1;   // 128 + signal when killed
    std::string output;  // standard output and errors, interleaved
};

// Runs arguments[0] (a path) with the given arguments, standard input from
// /dev/null, the output captured. The environment is this process's with
// `environment` ("NAME=value") added or replacing. A program that has not
// finished after `seconds` is killed and the test fails.
ProgramResult runProgram(const std::vector<std::string>& arguments, const std::vector<std::string>& environment = {},
                         int seconds = 300);

// A fresh folder under the system's temporary folder, removed with all its
// contents when the object goes.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// The whole contents of a text file ("" when it cannot be read).
std::string readText(const std::filesystem::path& file);

// 32-bit float WAV files, stereo with interleaved samples; reading checks
// the number of channels.
void writeStereoWav(const std::filesystem::path& file, const std::vector<float>& samples, int sampleRate);
std::vector<float> readWav(const std::filesystem::path& file, int channels = 2);

// The stereo file `input` rendered by `velmora render` through the VST 2
// plug-in `plugin` (a name in the build's plug-in folder) with the host
// values `settings` ("INDEX=VALUE"), written to `output` and read back.
std::vector<float> velmoraRender(const std::filesystem::path& input, const std::string& plugin,
                                 const std::vector<std::string>& settings, const std::filesystem::path& output);

// `seconds` of stereo noise at 44100 Hz, the same every time: uniform in
// -0.9..0.9 with the Mersenne twister seeded with `seed`.
std::vector<float> stereoNoise(double seconds, unsigned seed);

// The index of the first sample whose bits differ, or -1 when both are the
// same length and every sample is the same.
long long firstDifference(const std::vector<float>& a, const std::vector<float>& b);

}  // namespace velmora::formats
