// The WAV and RF64 files the host program writes. Float files carry the
// extended format header and the sample count that readers expect of them;
// a file whose audio may exceed what a WAV header can count (4 GiB) is
// written as RF64 from the start. The header is written first, with the
// sizes of the frames expected, so that the file can stream into a pipe; a
// sink that can seek gets the sizes corrected at the end when fewer came.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Where the bytes go.
class ByteSink {
public:
    virtual ~ByteSink() = default;
    virtual void write(const void* data, std::size_t bytes) = 0;
    // Overwrites bytes already written; only called when canSeek().
    virtual void writeAt(std::uint64_t offset, const void* data, std::size_t bytes) = 0;
    virtual bool canSeek() const = 0;
};

enum class WavSamples { Float32, Pcm16, Pcm24 };

class WavWriter {
public:
    WavWriter(ByteSink& sink, WavSamples samples, int channels, int sampleRate,
              std::int64_t expectedFrames, bool forceRf64);
    // Appends interleaved frames; integer samples are rounded and clipped.
    void write(const float* interleaved, std::int64_t frames);
    // Ends the audio and corrects the sizes where needed and possible.
    void finish();
    bool rf64() const { return isRf64; }
    // Whether a file of this many frames needs RF64.
    static bool needsRf64(WavSamples samples, int channels, std::int64_t frames);

private:
    std::vector<unsigned char> header(std::int64_t frames) const;

    ByteSink& sink;
    WavSamples samples;
    int channels;
    int sampleRate;
    int sampleBytes;
    bool isRf64;
    std::int64_t expected;
    std::int64_t written = 0;
    std::vector<unsigned char> bytes;  // the last piece, converted
};
