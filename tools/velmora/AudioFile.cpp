#include "AudioFile.h"

#include <sndfile.h>

#include <algorithm>
#include <cctype>
#include <system_error>

#include "ToolError.h"

namespace velmora::tool {

namespace fs = std::filesystem;

namespace {

std::string lowerExtension(const fs::path& path) {
    std::string ext = path.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    return ext;
}

std::string quoted(const fs::path& path) { return "'" + path.string() + "'"; }

}  // namespace

OutputFormat outputFormatFor(const fs::path& output) {
    const std::string ext = lowerExtension(output);
    if (ext == ".wav") return {SF_FORMAT_WAV | SF_FORMAT_FLOAT, false, "32-bit float WAV"};
    if (ext == ".aif" || ext == ".aiff" || ext == ".aifc")
        return {SF_FORMAT_AIFF | SF_FORMAT_FLOAT, false, "32-bit float AIFF"};
    if (ext == ".caf") return {SF_FORMAT_CAF | SF_FORMAT_FLOAT, false, "32-bit float CAF"};
    if (ext == ".au") return {SF_FORMAT_AU | SF_FORMAT_FLOAT, false, "32-bit float AU"};
    if (ext == ".w64") return {SF_FORMAT_W64 | SF_FORMAT_FLOAT, false, "32-bit float W64"};
    if (ext == ".flac") return {SF_FORMAT_FLAC | SF_FORMAT_PCM_24, true, "24-bit FLAC"};
    if (ext == ".ogg" || ext == ".oga") return {SF_FORMAT_OGG | SF_FORMAT_VORBIS, false, "Ogg Vorbis"};
    throw ToolError("cannot write " + quoted(output) + ": unknown output format '" + ext +
                    "' (use .wav, .aiff, .flac, .ogg, .caf, .au or .w64)");
}

OutputFormat sizedFor(const OutputFormat& format, std::int64_t frames, int channels) {
    // A WAV header counts bytes in 32 bits; longer renders (about 3 hours of
    // stereo float at 44.1 kHz) or renders of unknown length become RF64,
    // which libsndfile turns back into a plain WAV header if the file stays small.
    constexpr std::int64_t wavLimit = 0xFFFFFFFFll - (1 << 16);
    if ((format.sndfileFormat & SF_FORMAT_TYPEMASK) != SF_FORMAT_WAV) return format;
    if (frames >= 0 && frames < wavLimit / (4 * std::max(channels, 1))) return format;
    return {SF_FORMAT_RF64 | (format.sndfileFormat & SF_FORMAT_SUBMASK), format.integerSamples,
            "32-bit float RF64 (WAV for files over 4 GiB)"};
}

void checkOutputFormat(const OutputFormat& format, const fs::path& output, int channels, int sampleRate) {
    SF_INFO info{};
    info.channels = channels;
    info.samplerate = sampleRate;
    // The WAV fallback of RF64 takes what WAV takes.
    info.format = (format.sndfileFormat & SF_FORMAT_TYPEMASK) == SF_FORMAT_RF64
                      ? (SF_FORMAT_WAV | (format.sndfileFormat & SF_FORMAT_SUBMASK))
                      : format.sndfileFormat;
    if (!sf_format_check(&info))
        throw ToolError("cannot write " + quoted(output) + ": " + format.description + " cannot hold " +
                        std::to_string(channels) + " channel(s) at " + std::to_string(sampleRate) + " Hz");
}

AudioReader::AudioReader(const fs::path& path) : path_(path) {
    std::error_code ec;
    const auto status = fs::status(path, ec);
    if (!fs::exists(status)) throw ToolError("cannot read " + quoted(path) + ": no such file");
    if (fs::is_directory(status)) throw ToolError("cannot read " + quoted(path) + ": it is a directory");
    SF_INFO info{};
    file_ = sf_open(path.c_str(), SFM_READ, &info);
    if (file_ == nullptr) throw ToolError("cannot read " + quoted(path) + " as an audio file: " + sf_strerror(nullptr));
    channels_ = info.channels;
    sampleRate_ = info.samplerate;
    frames_ = info.frames;
}

AudioReader::~AudioReader() {
    if (file_ != nullptr) sf_close(file_);
}

int AudioReader::read(float* interleaved, int frames) {
    const sf_count_t n = sf_readf_float(file_, interleaved, frames);
    if (n < frames && sf_error(file_) != SF_ERR_NO_ERROR)
        throw ToolError("cannot read " + quoted(path_) + ": " + sf_strerror(file_));
    return static_cast<int>(n);
}

AudioWriter::AudioWriter(int fd, const fs::path& output, const OutputFormat& format, int channels, int sampleRate)
    : output_(output) {
    SF_INFO info{};
    info.channels = channels;
    info.samplerate = sampleRate;
    info.format = format.sndfileFormat;
    file_ = sf_open_fd(fd, SFM_WRITE, &info, SF_FALSE);
    if (file_ == nullptr)
        throw ToolError("cannot write " + quoted(output) + " as " + format.description + ": " + sf_strerror(nullptr));
    if ((format.sndfileFormat & SF_FORMAT_TYPEMASK) == SF_FORMAT_RF64)
        sf_command(file_, SFC_RF64_AUTO_DOWNGRADE, nullptr, SF_TRUE);
    // Integer encodings clip samples beyond full scale; without this they wrap around.
    if (format.integerSamples) sf_command(file_, SFC_SET_CLIPPING, nullptr, SF_TRUE);
}

AudioWriter::~AudioWriter() {
    if (file_ != nullptr) sf_close(file_);
}

void AudioWriter::write(const float* interleaved, int frames) {
    if (sf_writef_float(file_, interleaved, frames) != frames)
        throw ToolError("cannot write " + quoted(output_) + ": " + sf_strerror(file_));
}

void AudioWriter::close() {
    SNDFILE* file = file_;
    file_ = nullptr;
    const int error = sf_close(file);
    if (error != 0) throw ToolError("cannot finish " + quoted(output_) + ": " + sf_error_number(error));
}

}  // namespace velmora::tool
