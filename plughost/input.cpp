#include "input.h"

#include <sndfile.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

#include "module.h"
#include "options.h"

namespace {

constexpr std::int64_t kReadFrames = 16384;

// Bytes per sample of the uncompressed encodings, 0 for the others.
int bytesPerSample(int format) {
    switch (format & SF_FORMAT_SUBMASK) {
        case SF_FORMAT_PCM_S8:
        case SF_FORMAT_PCM_U8:
        case SF_FORMAT_ULAW:
        case SF_FORMAT_ALAW: return 1;
        case SF_FORMAT_PCM_16: return 2;
        case SF_FORMAT_PCM_24: return 3;
        case SF_FORMAT_PCM_32:
        case SF_FORMAT_FLOAT: return 4;
        case SF_FORMAT_DOUBLE: return 8;
        default: return 0;
    }
}

// libsndfile shortens a file whose audio chunk is shorter than its header
// says to the frames present, and notes the header's size in its log as
// "data : 88200 (should be 39956)". The frames the header promised, or
// `frames` when the log notes nothing.
std::int64_t promisedFrames(SNDFILE* file, const SF_INFO& info) {
    const int frameBytes = bytesPerSample(info.format) * info.channels;
    if (frameBytes == 0) return info.frames;
    char log[8192] = {};
    sf_command(file, SFC_GET_LOG_INFO, log, sizeof log);
    for (const char* at = log; (at = std::strstr(at, "(should be")) != nullptr; ++at) {
        const char* line = at;
        while (line > log && line[-1] != '\n') --line;
        const std::string chunk(line, static_cast<std::size_t>(at - line));
        if (chunk.rfind("data", 0) != 0 && chunk.rfind("SSND", 0) != 0) continue;
        const auto colon = chunk.find(':');
        if (colon == std::string::npos) continue;
        const long long declared = std::strtoll(chunk.c_str() + colon + 1, nullptr, 10);
        return std::max<std::int64_t>(info.frames, declared / frameBytes);
    }
    return info.frames;
}

// Decodes the file on a thread of its own, a few chunks ahead of the blocks
// taken from it, so decoding overlaps with processing. The chunks are large,
// so a run of small blocks does not cost one system call each.
class FileSource : public Source {
public:
    FileSource(SNDFILE* f, const SF_INFO& info, int pickChannel)
        : file(f), fileChannels(info.channels), pick(pickChannel) {
        rate = info.samplerate;
        channelCount = pick > 0 ? 1 : fileChannels;
        length = promisedFrames(f, info);
    }
    ~FileSource() override {
        {
            std::lock_guard lock(mutex);
            stopping = true;
        }
        changed.notify_all();
        if (decoder.joinable()) decoder.join();
        sf_close(file);
    }

    void start() { decoder = std::thread(&FileSource::decodeLoop, this); }

    std::int64_t read(float* const* out, std::int64_t frames) override {
        std::int64_t done = 0;
        while (done < frames) {
            if (next == chunkFrames() && !takeChunk()) break;
            const std::int64_t n = std::min(frames - done, chunkFrames() - next);
            const float* from = current.data() + next * channelCount;
            if (channelCount == 1) {
                std::copy_n(from, n, out[0] + done);
            } else {
                for (std::int64_t i = 0; i < n; ++i)
                    for (int c = 0; c < channelCount; ++c) out[c][done + i] = *from++;
            }
            next += n;
            done += n;
        }
        return done;
    }

private:
    static constexpr std::size_t kChunksAhead = 4;

    std::int64_t chunkFrames() const {
        return static_cast<std::int64_t>(current.size()) / channelCount;
    }

    // Hands the used chunk back for reuse and waits for the next one; false
    // at the end of the file.
    bool takeChunk() {
        std::unique_lock lock(mutex);
        if (current.capacity() > 0) spare.push_back(std::move(current));
        current = {};
        next = 0;
        changed.notify_all();
        changed.wait(lock, [this] { return !ready.empty() || finished; });
        if (ready.empty()) return false;
        current = std::move(ready.front());
        ready.pop_front();
        changed.notify_all();
        return true;
    }

    void decodeLoop() {
        for (;;) {
            std::vector<float> chunk;
            {
                std::unique_lock lock(mutex);
                changed.wait(lock, [this] { return ready.size() < kChunksAhead || stopping; });
                if (stopping) return;
                if (!spare.empty()) {
                    chunk = std::move(spare.back());
                    spare.pop_back();
                }
            }
            const bool more = decode(chunk);
            std::lock_guard lock(mutex);
            if (more)
                ready.push_back(std::move(chunk));
            else
                finished = true;
            changed.notify_all();
            if (!more) return;
        }
    }

    // The next chunk of interleaved frames, every channel or the one picked;
    // false when the file has no more.
    bool decode(std::vector<float>& chunk) {
        sf_count_t got = 0;
        if (pick == 0) {
            chunk.resize(static_cast<std::size_t>(kReadFrames * fileChannels));
            got = sf_readf_float(file, chunk.data(), kReadFrames);
        } else {
            chunk.resize(static_cast<std::size_t>(kReadFrames));
            work.resize(static_cast<std::size_t>(kReadFrames * fileChannels));
            got = sf_readf_float(file, work.data(), kReadFrames);
            for (sf_count_t n = 0; n < got; ++n)
                chunk[static_cast<std::size_t>(n)] =
                    work[static_cast<std::size_t>(n * fileChannels + pick - 1)];
        }
        chunk.resize(static_cast<std::size_t>(std::max<sf_count_t>(got, 0) * channelCount));
        return got > 0;
    }

    SNDFILE* file;
    int fileChannels;
    int pick;
    std::vector<float> work;  // interleaved frames as read, for the decoder

    std::vector<float> current;  // the chunk blocks are taken from
    std::int64_t next = 0;       // its first frame not yet taken

    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::vector<float>> ready;   // decoded, in order
    std::vector<std::vector<float>> spare;  // used, for reuse
    bool finished = false;                  // the decoder reached the end
    bool stopping = false;
    std::thread decoder;
};

enum class Signal { Noise, Saw, Impulse, Sine };

// Each signal is a function of the frame number, or of the frames before it,
// computed as the frames are taken.
class SignalSource : public Source {
public:
    SignalSource(Signal k, std::int64_t frames, double sampleRate, double hz)
        : kind(k), frequency(hz) {
        rate = sampleRate;
        length = frames;
    }

    std::int64_t read(float* const* out, std::int64_t frames) override {
        const std::int64_t n = std::min(frames, length - position);
        float* to = out[0];
        for (std::int64_t i = 0; i < n; ++i) to[i] = sample(position + i);
        position += n;
        return n;
    }

private:
    float sample(std::int64_t frame) {
        const auto n = static_cast<double>(frame);
        switch (kind) {
            case Signal::Noise: return noise(rng);
            case Signal::Saw: {
                const double period = rate / 110.0;
                return static_cast<float>(std::fmod(n, period) / period - 0.5);
            }
            case Signal::Impulse: return frame == 0 ? 1.0f : 0.0f;
            case Signal::Sine: break;
        }
        return static_cast<float>(0.5 * std::sin(2.0 * M_PI * frequency * n / rate));
    }

    Signal kind;
    double frequency;
    std::int64_t position = 0;
    std::mt19937 rng{1};
    std::uniform_real_distribution<float> noise{-0.5f, 0.5f};
};

double sineFrequency(const std::string& kind, double rate) {
    const char* begin = kind.c_str() + 5;
    char* end = nullptr;
    const double hz = std::strtod(begin, &end);
    if (end == begin || *end != '\0' || !(hz > 0.0) || !(hz < rate / 2))
        throw UsageError("--signal '" + kind +
                         "': the frequency must be a number of Hz above 0 and below half the "
                         "sample rate");
    return hz;
}

// The signal `kind` names, with the sine's frequency; throws UsageError for
// any other text.
Signal signalOf(const std::string& kind, double rate, double& hz) {
    hz = 0.0;
    if (kind == "noise") return Signal::Noise;
    if (kind == "saw") return Signal::Saw;
    if (kind == "impulse") return Signal::Impulse;
    if (kind.rfind("sine:", 0) != 0)
        throw UsageError("--signal '" + kind + "' is not one of noise, saw, impulse, sine:HZ");
    hz = sineFrequency(kind, rate);
    return Signal::Sine;
}

}  // namespace

std::unique_ptr<Source> openInputFile(const std::string& path, int pick) {
    struct stat status {};
    if (stat(path.c_str(), &status) != 0)
        throw HostError("cannot read input '" + path + "': " + std::strerror(errno));
    if (S_ISDIR(status.st_mode))
        throw HostError("cannot read input '" + path + "': it is a folder");
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) throw HostError("cannot read input '" + path + "': " + sf_strerror(nullptr));
    auto source = std::make_unique<FileSource>(file, info, pick);
    if (info.frames <= 0 || info.channels <= 0)
        throw HostError("input '" + path + "' holds no audio frames");
    if (pick < 0 || pick > info.channels)
        throw HostError("--channel " + std::to_string(pick) + " is out of range: input '" + path +
                        "' has " + std::to_string(info.channels) + " channel(s)");
    source->start();
    return source;
}

void checkSignal(const std::string& kind, double rate) {
    double hz = 0.0;
    signalOf(kind, rate, hz);
}

std::unique_ptr<Source> makeSignal(const std::string& kind, std::int64_t frames, double rate) {
    double hz = 0.0;
    const Signal signal = signalOf(kind, rate, hz);
    return std::make_unique<SignalSource>(signal, frames, rate, hz);
}

bool isAudioFile(const std::string& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file) sf_close(file);
    return file != nullptr;
}
