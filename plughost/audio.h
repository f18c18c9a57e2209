// Audio in and out of the host program: input files, the embedded test
// signals, output files written whole or not at all, and level statistics.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// One channel of audio at a sample rate, read in pieces.
class MonoSource {
public:
    virtual ~MonoSource() = default;
    // Fills `out` with the next `frames` samples; answers how many there were.
    virtual std::int64_t read(float* out, std::int64_t frames) = 0;
    double sampleRate() const { return rate; }
    std::int64_t frames() const { return length; }

protected:
    double rate = 44100.0;
    std::int64_t length = 0;
};

// Any file libsndfile reads, streamed. A file with several channels is mixed
// down to their average, or channel `pick` (counting from 1) is taken; 0 mixes.
std::unique_ptr<MonoSource> openInput(const std::string& path, int pick);

// An embedded test signal: "noise", "saw", "impulse" or "sine:HZ".
std::unique_ptr<MonoSource> makeSignal(const std::string& kind, double seconds, double sampleRate);

enum class OutputFormat { Float32, Pcm16, Pcm24, Flac };
OutputFormat parseOutputFormat(const std::string& name);

// Peak and RMS of each channel.
class LevelMeter {
public:
    explicit LevelMeter(int channels) : peak(channels, 0.0f), sumSquares(channels, 0.0) {}
    // Adds `frames` frames of interleaved samples.
    void add(const float* interleaved, std::int64_t frames);
    double peakOf(int channel) const { return peak[channel]; }
    double rmsOf(int channel) const;

private:
    std::int64_t counted = 0;
    std::vector<float> peak;
    std::vector<double> sumSquares;
};

// An output file that appears under its name only once it is complete: it is
// written to a temporary file beside it and renamed by commit(). Without a
// commit the temporary file is removed. Blocks are interleaved into large
// pieces as they are appended; metering and writing the pieces run on a
// thread of their own, so they overlap with processing.
class OutputFile {
public:
    // `largestBlock` is the most frames a caller appends at once.
    OutputFile(const std::string& path, OutputFormat format, double sampleRate, int channels,
               std::int64_t largestBlock);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Appends `frames` frames, one pointer per channel.
    void append(const float* const* channels, std::int64_t frames);
    // Writes what is gathered, closes the file and gives it its name.
    void commit();
    // The levels of everything written; complete after commit().
    const LevelMeter& levels() const { return meter; }

private:
    struct Piece {
        std::vector<float> samples;  // up to capacity frames, interleaved
        std::int64_t frames = 0;
    };
    Piece newPiece();
    void handOver();
    void writerLoop();
    void finishWriter();

    std::string path;
    int channels;
    std::int64_t capacity;
    std::string temporary;
    void* file = nullptr;
    bool committed = false;
    LevelMeter meter;
    Piece current;

    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Piece> queue;
    std::vector<Piece> spare;  // written pieces, kept for reuse
    bool closing = false;
    std::string failure;  // the writer's error, empty while all is well
    std::thread writer;
};
