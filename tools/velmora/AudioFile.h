// Audio files through libsndfile: a reader of whole files, and a writer
// into an already open descriptor (a SafeOutput's temporary file) in a
// container chosen by the output's extension and a sample depth chosen by
// --bits or by the input file.
//
// Identical renders give identical files: no time stamps (libsndfile's
// PEAK chunk is left out, Ogg streams get a fixed serial number) and a
// dither whose noise starts from the same seed in every file.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "SampleQuantizer.h"

typedef struct sf_private_tag SNDFILE;

namespace velmora::tool {

// --bits: "16", "24", "32" or "float"; nullopt for anything else.
std::optional<SampleDepth> parseSampleDepth(const std::string& text);

struct OutputFormat {
    int sndfileFormat = 0;  // SF_FORMAT_* container | encoding
    SampleDepth depth = SampleDepth::float32;
    bool lossy = false;       // Ogg Vorbis: no depth of its own
    std::string description;  // "16-bit WAV", "32-bit float WAV"
};

// The format for OUTPUT's extension (case-insensitive): .wav, .aif/.aiff,
// .flac, .ogg, .caf, .au, .w64. The depth is `requested` when given, else
// the input's (`inputFormat`, libsndfile's SF_FORMAT_* of the input file, 0
// when there is none: 32-bit float), else the nearest the container holds
// (FLAC: 24 bits for float input). Throws ToolError for an unknown
// extension or a depth the container cannot hold.
OutputFormat outputFormatFor(const std::filesystem::path& output, std::optional<SampleDepth> requested,
                             int inputFormat);

// The format for a file of `frames` frames (-1: unknown length): a WAV
// that could outgrow its 32-bit header is written as RF64 instead.
OutputFormat sizedFor(const OutputFormat& format, std::int64_t frames, int channels);

// Throws ToolError when the format cannot hold this channel count and rate.
void checkOutputFormat(const OutputFormat& format, const std::filesystem::path& output, int channels, int sampleRate);

// Text fields (title, artist, date ...) carried from input to output.
using AudioTags = std::vector<std::pair<int, std::string>>;

class AudioReader {
public:
    // Opens any file libsndfile reads; throws ToolError with the reason.
    explicit AudioReader(const std::filesystem::path& path);
    // Reads from an open descriptor (closed by the reader), named `name`
    // in messages.
    AudioReader(int fd, const std::string& name);
    ~AudioReader();
    AudioReader(const AudioReader&) = delete;
    AudioReader& operator=(const AudioReader&) = delete;

    int channels() const noexcept { return channels_; }
    int sampleRate() const noexcept { return sampleRate_; }
    int format() const noexcept { return format_; }
    // The frames libsndfile found in the file.
    std::int64_t frames() const noexcept { return frames_; }
    // The frames the file's header announces (WAV, AIFF), or frames()
    // where the header says no more than libsndfile found.
    std::int64_t announcedFrames() const noexcept { return announced_; }
    const AudioTags& tags() const noexcept { return tags_; }

    // Reads up to `frames` interleaved frames; returns how many were read
    // (0 at the end). Throws ToolError on a read error.
    int read(float* interleaved, int frames);

private:
    void openDescriptor(int fd);

    std::string name_;
    SNDFILE* file_ = nullptr;
    int channels_ = 0;
    int sampleRate_ = 0;
    int format_ = 0;
    std::int64_t frames_ = 0;
    std::int64_t announced_ = 0;
    AudioTags tags_;
};

class AudioWriter {
public:
    // Writes into `fd` (not closed by the writer). Throws ToolError.
    AudioWriter(int fd, const std::filesystem::path& output, const OutputFormat& format, int channels, int sampleRate,
                const AudioTags& tags = {});
    ~AudioWriter();
    AudioWriter(const AudioWriter&) = delete;
    AudioWriter& operator=(const AudioWriter&) = delete;

    // Takes interleaved frames; they reach the file in large chunks.
    void write(const float* interleaved, int frames);
    // Finishes the file (header sizes); throws ToolError on failure.
    void close();
    // Samples beyond full scale that an integer depth clipped.
    std::int64_t clippedSamples() const noexcept { return quantizer_.clipped(); }

private:
    void flush();

    std::filesystem::path output_;
    OutputFormat format_;
    int fd_;
    int channels_;
    SNDFILE* file_ = nullptr;
    SampleQuantizer quantizer_;
    std::vector<float> pending_;
    std::vector<int> integers_;
};

}  // namespace velmora::tool
