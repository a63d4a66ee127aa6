#include "AudioFile.h"

#include <fcntl.h>
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <system_error>

#include "HeaderLength.h"
#include "OggSerial.h"
#include "ToolError.h"

namespace velmora::tool {

namespace fs = std::filesystem;

namespace {

// Frames per chunk between velmora and libsndfile, whatever the block size.
constexpr int chunkFrames = 1 << 16;

struct Container {
    const char* extensions;  // space-separated
    int format;
    const char* name;
    bool integerOnly;  // FLAC: 16 or 24 bits
    bool lossy;        // Ogg Vorbis
};

constexpr Container containers[] = {
    {".wav", SF_FORMAT_WAV, "WAV", false, false},
    {".aif .aiff .aifc", SF_FORMAT_AIFF, "AIFF", false, false},
    {".caf", SF_FORMAT_CAF, "CAF", false, false},
    {".au", SF_FORMAT_AU, "AU", false, false},
    {".w64", SF_FORMAT_W64, "W64", false, false},
    {".flac", SF_FORMAT_FLAC, "FLAC", true, false},
    {".ogg .oga", SF_FORMAT_OGG, "Ogg Vorbis", false, true},
};

constexpr int textFields[] = {SF_STR_TITLE, SF_STR_COPYRIGHT, SF_STR_SOFTWARE, SF_STR_ARTIST,      SF_STR_COMMENT,
                              SF_STR_DATE,  SF_STR_ALBUM,     SF_STR_LICENSE,  SF_STR_TRACKNUMBER, SF_STR_GENRE};

std::string lowerExtension(const fs::path& path) {
    std::string ext = path.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    return ext;
}

std::string inQuotes(const std::string& name) { return "'" + name + "'"; }

const Container& containerFor(const fs::path& output) {
    const std::string ext = lowerExtension(output);
    for (const Container& c : containers) {
        const std::string list = std::string(" ") + c.extensions + " ";
        if (!ext.empty() && list.find(" " + ext + " ") != std::string::npos) return c;
    }
    throw ToolError("cannot write " + inQuotes(output.string()) + ": unknown output format '" + ext +
                    "' (use .wav, .aiff, .flac, .ogg, .caf, .au or .w64)");
}

// The depth that keeps what the input holds: 8- and 16-bit input give 16
// bits, 24 gives 24, 32 gives 32, and float or compressed input float.
SampleDepth depthOfInput(int inputFormat) {
    switch (inputFormat & SF_FORMAT_SUBMASK) {
        case SF_FORMAT_PCM_S8:
        case SF_FORMAT_PCM_U8:
        case SF_FORMAT_PCM_16: return SampleDepth::pcm16;
        case SF_FORMAT_PCM_24: return SampleDepth::pcm24;
        case SF_FORMAT_PCM_32: return SampleDepth::pcm32;
        default: return SampleDepth::float32;
    }
}

int encodingOf(SampleDepth depth) {
    switch (depth) {
        case SampleDepth::pcm16: return SF_FORMAT_PCM_16;
        case SampleDepth::pcm24: return SF_FORMAT_PCM_24;
        case SampleDepth::pcm32: return SF_FORMAT_PCM_32;
        default: return SF_FORMAT_FLOAT;
    }
}

std::string depthText(SampleDepth depth) {
    return depth == SampleDepth::float32 ? "32-bit float" : std::to_string(bitsOf(depth)) + "-bit";
}

AudioTags readTags(SNDFILE* file) {
    AudioTags tags;
    for (int field : textFields)
        if (const char* text = sf_get_string(file, field)) tags.emplace_back(field, text);
    return tags;
}

}  // namespace

std::optional<SampleDepth> parseSampleDepth(const std::string& text) {
    if (text == "16") return SampleDepth::pcm16;
    if (text == "24") return SampleDepth::pcm24;
    if (text == "32") return SampleDepth::pcm32;
    if (text == "float") return SampleDepth::float32;
    return std::nullopt;
}

OutputFormat outputFormatFor(const fs::path& output, std::optional<SampleDepth> requested, int inputFormat) {
    const Container& c = containerFor(output);
    if (c.lossy) {
        if (requested)
            throw ToolError("cannot write " + inQuotes(output.string()) +
                            ": Ogg Vorbis has no bit depth; leave out --bits");
        return {c.format | SF_FORMAT_VORBIS, SampleDepth::float32, true, c.name};
    }
    SampleDepth depth = requested.value_or(inputFormat == 0 ? SampleDepth::float32 : depthOfInput(inputFormat));
    if (c.integerOnly && (depth == SampleDepth::pcm32 || depth == SampleDepth::float32)) {
        if (requested)
            throw ToolError("cannot write " + inQuotes(output.string()) + ": " + c.name + " holds 16 or 24 bits");
        depth = SampleDepth::pcm24;
    }
    return {c.format | encodingOf(depth), depth, false, depthText(depth) + " " + c.name};
}

OutputFormat sizedFor(const OutputFormat& format, std::int64_t frames, int channels) {
    // A WAV header counts bytes in 32 bits; longer renders (about 3 hours of
    // stereo float at 44.1 kHz) or renders of unknown length become RF64,
    // which libsndfile turns back into a plain WAV header if the file stays small.
    constexpr std::int64_t wavLimit = 0xFFFFFFFFll - (1 << 16);
    if ((format.sndfileFormat & SF_FORMAT_TYPEMASK) != SF_FORMAT_WAV) return format;
    if (frames >= 0 && frames < wavLimit / (std::int64_t(4) * std::max(channels, 1))) return format;
    OutputFormat rf64 = format;
    rf64.sndfileFormat = SF_FORMAT_RF64 | (format.sndfileFormat & SF_FORMAT_SUBMASK);
    rf64.description = depthText(format.depth) + " RF64 (WAV for files over 4 GiB)";
    return rf64;
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
        throw ToolError("cannot write " + inQuotes(output.string()) + ": " + format.description + " cannot hold " +
                        std::to_string(channels) + " channel(s) at " + std::to_string(sampleRate) + " Hz");
}

AudioReader::AudioReader(const fs::path& path) : name_(path.string()) {
    std::error_code ec;
    const auto status = fs::status(path, ec);
    if (!fs::exists(status)) throw ToolError("cannot read " + inQuotes(name_) + ": no such file");
    if (fs::is_directory(status)) throw ToolError("cannot read " + inQuotes(name_) + ": it is a directory");
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw ToolError("cannot read " + inQuotes(name_) + ": " + std::generic_category().message(errno));
    openDescriptor(fd);
}

AudioReader::AudioReader(int fd, const std::string& name) : name_(name) { openDescriptor(fd); }

void AudioReader::openDescriptor(int fd) {
    const std::int64_t announced = headerFrames(fd);
    SF_INFO info{};
    file_ = sf_open_fd(fd, SFM_READ, &info, SF_TRUE);
    if (file_ == nullptr) {
        ::close(fd);
        throw ToolError("cannot read " + inQuotes(name_) + " as an audio file: " + sf_strerror(nullptr));
    }
    channels_ = info.channels;
    sampleRate_ = info.samplerate;
    format_ = info.format;
    frames_ = info.frames;
    announced_ = std::max(frames_, announced);
    tags_ = readTags(file_);
}

AudioReader::~AudioReader() {
    if (file_ != nullptr) sf_close(file_);
}

int AudioReader::read(float* interleaved, int frames) {
    const sf_count_t n = sf_readf_float(file_, interleaved, frames);
    if (n < frames && sf_error(file_) != SF_ERR_NO_ERROR)
        throw ToolError("cannot read " + inQuotes(name_) + ": " + sf_strerror(file_));
    return static_cast<int>(n);
}

AudioWriter::AudioWriter(int fd, const fs::path& output, const OutputFormat& format, int channels, int sampleRate,
                         const AudioTags& tags)
    : output_(output), format_(format), fd_(fd), channels_(channels), quantizer_(format.depth) {
    SF_INFO info{};
    info.channels = channels;
    info.samplerate = sampleRate;
    info.format = format.sndfileFormat;
    file_ = sf_open_fd(fd, SFM_WRITE, &info, SF_FALSE);
    if (file_ == nullptr)
        throw ToolError("cannot write " + inQuotes(output.string()) + " as " + format.description + ": " +
                        sf_strerror(nullptr));
    const int type = format.sndfileFormat & SF_FORMAT_TYPEMASK;
    if (type == SF_FORMAT_RF64) sf_command(file_, SFC_RF64_AUTO_DOWNGRADE, nullptr, SF_TRUE);
    // The PEAK chunk of float WAV and AIFF carries the time of writing. The
    // command's value travels in its size argument; sent where there is no
    // PEAK chunk (RF64, integer samples) it would add one.
    if ((type == SF_FORMAT_WAV || type == SF_FORMAT_AIFF) && format.depth == SampleDepth::float32 && !format.lossy)
        sf_command(file_, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
    for (const auto& [field, text] : tags) sf_set_string(file_, field, text.c_str());
    pending_.reserve(static_cast<std::size_t>(chunkFrames) * channels);
}

AudioWriter::~AudioWriter() {
    if (file_ != nullptr) sf_close(file_);
}

void AudioWriter::write(const float* interleaved, int frames) {
    const std::size_t chunk = static_cast<std::size_t>(chunkFrames) * channels_;
    const std::size_t count = static_cast<std::size_t>(frames) * channels_;
    for (std::size_t done = 0; done < count;) {
        const std::size_t n = std::min(count - done, chunk - pending_.size());
        pending_.insert(pending_.end(), interleaved + done, interleaved + done + n);
        done += n;
        if (pending_.size() == chunk) flush();
    }
}

void AudioWriter::flush() {
    if (pending_.empty()) return;
    const sf_count_t frames = static_cast<sf_count_t>(pending_.size() / channels_);
    sf_count_t written = 0;
    if (format_.depth == SampleDepth::float32) {
        written = sf_writef_float(file_, pending_.data(), frames);
    } else {
        integers_.resize(pending_.size());
        quantizer_.quantize(pending_.data(), integers_.data(), pending_.size());
        written = sf_writef_int(file_, integers_.data(), frames);
    }
    if (written != frames) throw ToolError("cannot write " + inQuotes(output_.string()) + ": " + sf_strerror(file_));
    pending_.clear();
}

void AudioWriter::close() {
    flush();
    SNDFILE* file = file_;
    file_ = nullptr;
    const int error = sf_close(file);
    if (error != 0) throw ToolError("cannot finish " + inQuotes(output_.string()) + ": " + sf_error_number(error));
    if (format_.lossy) fixOggSerial(fd_, output_.c_str());
}

}  // namespace velmora::tool
