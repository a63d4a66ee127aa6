// Audio files through libsndfile: a reader that streams a file block by
// block, and a writer into an already open descriptor (a SafeOutput's
// temporary file), in a format chosen by the output file's extension.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

typedef struct sf_private_tag SNDFILE;

namespace velmora::tool {

struct OutputFormat {
    int sndfileFormat;        // SF_FORMAT_* container | encoding
    bool integerSamples;      // clip to -1..1 instead of wrapping
    std::string description;  // "32-bit float WAV"
};

// The format for OUTPUT's extension (case-insensitive): .wav, .aif/.aiff,
// .flac, .ogg, .caf, .au, .w64. Throws ToolError for anything else.
OutputFormat outputFormatFor(const std::filesystem::path& output);

// The format for a file of `frames` frames (-1: unknown length): a WAV
// that could outgrow its 32-bit header is written as RF64 instead.
OutputFormat sizedFor(const OutputFormat& format, std::int64_t frames, int channels);

// Throws ToolError when the format cannot hold this channel count and rate.
void checkOutputFormat(const OutputFormat& format, const std::filesystem::path& output, int channels, int sampleRate);

class AudioReader {
public:
    // Opens any file libsndfile reads; throws ToolError with the reason.
    explicit AudioReader(const std::filesystem::path& path);
    ~AudioReader();
    AudioReader(const AudioReader&) = delete;
    AudioReader& operator=(const AudioReader&) = delete;

    int channels() const noexcept { return channels_; }
    int sampleRate() const noexcept { return sampleRate_; }
    std::int64_t frames() const noexcept { return frames_; }

    // Reads up to `frames` interleaved frames; returns how many were read
    // (0 at the end). Throws ToolError on a read error.
    int read(float* interleaved, int frames);

private:
    std::filesystem::path path_;
    SNDFILE* file_ = nullptr;
    int channels_ = 0;
    int sampleRate_ = 0;
    std::int64_t frames_ = 0;
};

class AudioWriter {
public:
    // Writes into `fd` (not closed by the writer). Throws ToolError.
    AudioWriter(int fd, const std::filesystem::path& output, const OutputFormat& format, int channels, int sampleRate);
    ~AudioWriter();
    AudioWriter(const AudioWriter&) = delete;
    AudioWriter& operator=(const AudioWriter&) = delete;

    void write(const float* interleaved, int frames);
    // Finishes the file (header sizes); throws ToolError on failure.
    void close();

private:
    std::filesystem::path output_;
    SNDFILE* file_ = nullptr;
};

}  // namespace velmora::tool
