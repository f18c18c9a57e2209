// Audio out of the host program: which format a name asks for, where the
// audio may go and how it gets there, and the writing itself.
//
// What the user points at is never replaced by anything but the finished
// file:
// - An ordinary file (new, or replacing one the user may write) is written
//   under a temporary name beside it and renamed when complete, so a failed
//   or interrupted render leaves the old file, or none, and no partial one.
//   A replaced file keeps its permissions (and its owner, where the host may
//   give it).
// - A symbolic link is followed to the file it names, which is then written
//   as above; the link stays.
// - A pipe or a character device (and "-", standard output) is written
//   through, as a stream; nothing is created or renamed.
// - A folder, a block device, a terminal and a file the user could not open
//   for writing are refused before any audio is made.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

enum class Container { Wav, Rf64, Aiff, W64, Flac, Ogg };
enum class Encoding { Float32, Pcm16, Pcm24, Vorbis };

struct OutputFormat {
    Container container = Container::Wav;
    Encoding encoding = Encoding::Float32;
};

// The format for an output name and the --format option (empty when not
// given): the extension names the container (.wav, .rf64, .aiff, .w64, .flac,
// .ogg) and --format the samples (float, pcm16, pcm24; flac and vorbis name
// their container too). Throws UsageError when the two contradict each other.
OutputFormat chooseFormat(const std::string& path, const std::string& formatOption);

// "32-bit float WAV", for messages.
std::string describe(const OutputFormat& format);

// Where the output goes, checked and opened before any audio is made. The
// temporary file of an ordinary file exists from here on; whoever holds the
// target removes it unless it was committed.
class OutputTarget {
public:
    // `path` as the user gave it; "-" is standard output.
    explicit OutputTarget(const std::string& path);
    ~OutputTarget();
    OutputTarget(const OutputTarget&) = delete;
    OutputTarget& operator=(const OutputTarget&) = delete;

    const std::string& name() const { return shown; }
    bool toStandardOutput() const { return shown == "-"; }
    // Whether the output is written through as a stream (no seeking back).
    bool isStream() const { return stream; }
    int descriptor() const { return fd; }

    // Gives the finished file its name.
    void commit();
    // Removes the temporary file unless it was committed.
    void discard();

private:
    std::string shown;      // the name the user gave
    std::string finalPath;  // the file it names, links followed
    std::string temporary;  // the file written until commit, for ordinary files
    bool stream = false;
    bool replacing = false;  // an ordinary file exists under the final name
    unsigned mode = 0;       // its permissions, kept
    unsigned owner = 0, group = 0;
    int fd = -1;
    bool committed = false;
};

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

// Encodes interleaved frames into the target.
class AudioWriter {
public:
    virtual ~AudioWriter() = default;
    virtual void write(const float* interleaved, std::int64_t frames) = 0;
    virtual void finish() = 0;
};

// The audio file being written. Blocks are interleaved into large pieces as
// they are appended; metering and writing the pieces run on a thread of
// their own, so they overlap with processing.
class OutputFile {
public:
    // `expectedFrames` is how many frames will come (the header is sized for
    // them); `largestBlock` the most frames a caller appends at once.
    OutputFile(OutputTarget& target, const OutputFormat& format, int sampleRate, int channels,
               std::int64_t expectedFrames, std::int64_t largestBlock);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Appends `frames` frames, one pointer per channel.
    void append(const float* const* channels, std::int64_t frames);
    // Writes what is gathered, ends the file and gives it its name.
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

    OutputTarget& target;
    int channels;
    std::int64_t capacity;
    std::unique_ptr<AudioWriter> encoder;
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
