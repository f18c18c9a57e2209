#include "audio.h"

#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>

#include "module.h"

namespace {

constexpr std::int64_t kWriteFrames = 16384;
constexpr std::int64_t kReadFrames = 16384;

// Decodes the file on a thread of its own, a few chunks ahead of the blocks
// taken from it, so decoding overlaps with processing. The chunks are large,
// so a run of small blocks does not cost one system call each.
class FileSource : public MonoSource {
public:
    FileSource(SNDFILE* f, const SF_INFO& info, int pickChannel)
        : file(f), channels(info.channels), pick(pickChannel) {
        rate = info.samplerate;
        length = info.frames;
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

    std::int64_t read(float* out, std::int64_t frames) override {
        std::int64_t done = 0;
        while (done < frames) {
            if (next == static_cast<std::int64_t>(current.size()) && !takeChunk()) break;
            const std::int64_t n =
                std::min(frames - done, static_cast<std::int64_t>(current.size()) - next);
            std::copy_n(current.begin() + next, n, out + done);
            next += n;
            done += n;
        }
        return done;
    }

private:
    static constexpr std::size_t kChunksAhead = 4;

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

    // The next chunk of frames, the one channel or all of them mixed down;
    // false when the file has no more.
    bool decode(std::vector<float>& chunk) {
        chunk.resize(static_cast<std::size_t>(kReadFrames));
        sf_count_t got = 0;
        if (channels == 1) {
            got = sf_readf_float(file, chunk.data(), kReadFrames);
        } else {
            work.resize(static_cast<std::size_t>(kReadFrames * channels));
            got = sf_readf_float(file, work.data(), kReadFrames);
            for (sf_count_t n = 0; n < got; ++n) {
                const float* frame = &work[static_cast<std::size_t>(n * channels)];
                if (pick > 0) {
                    chunk[static_cast<std::size_t>(n)] = frame[pick - 1];
                } else {
                    double sum = 0.0;
                    for (int c = 0; c < channels; ++c) sum += frame[c];
                    chunk[static_cast<std::size_t>(n)] = static_cast<float>(sum / channels);
                }
            }
        }
        chunk.resize(static_cast<std::size_t>(std::max<sf_count_t>(got, 0)));
        return got > 0;
    }

    SNDFILE* file;
    int channels;
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

class BufferSource : public MonoSource {
public:
    BufferSource(std::vector<float> s, double sampleRate) : samples(std::move(s)) {
        rate = sampleRate;
        length = static_cast<std::int64_t>(samples.size());
    }
    std::int64_t read(float* out, std::int64_t frames) override {
        const std::int64_t n = std::min(frames, length - position);
        std::copy_n(samples.begin() + position, n, out);
        position += n;
        return n;
    }

private:
    std::vector<float> samples;
    std::int64_t position = 0;
};

}  // namespace

std::unique_ptr<MonoSource> openInput(const std::string& path, int pick) {
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

std::unique_ptr<MonoSource> makeSignal(const std::string& kind, double seconds, double sampleRate) {
    const auto frames = static_cast<std::size_t>(std::llround(seconds * sampleRate));
    if (frames == 0) throw HostError("--seconds " + std::to_string(seconds) + " gives no frames");
    std::vector<float> samples(frames);
    if (kind == "noise") {
        std::mt19937 rng(1);
        std::uniform_real_distribution<float> dist(-0.5f, 0.5f);
        for (float& s : samples) s = dist(rng);
    } else if (kind == "saw") {
        const double period = sampleRate / 110.0;
        for (std::size_t n = 0; n < frames; ++n)
            samples[n] =
                static_cast<float>(std::fmod(static_cast<double>(n), period) / period - 0.5);
    } else if (kind == "impulse") {
        samples[0] = 1.0f;
    } else if (kind.rfind("sine:", 0) == 0) {
        char* end = nullptr;
        const double hz = std::strtod(kind.c_str() + 5, &end);
        if (end == kind.c_str() + 5 || *end != '\0' || !(hz > 0.0) || hz >= sampleRate / 2)
            throw HostError("--signal '" + kind +
                            "': the frequency must be a number of Hz above 0 and below half the "
                            "sample rate");
        for (std::size_t n = 0; n < frames; ++n)
            samples[n] = static_cast<float>(
                0.5 * std::sin(2.0 * M_PI * hz * static_cast<double>(n) / sampleRate));
    } else {
        throw HostError("--signal '" + kind + "' is not one of noise, saw, impulse, sine:HZ");
    }
    return std::make_unique<BufferSource>(std::move(samples), sampleRate);
}

OutputFormat parseOutputFormat(const std::string& name) {
    if (name == "float") return OutputFormat::Float32;
    if (name == "pcm16") return OutputFormat::Pcm16;
    if (name == "pcm24") return OutputFormat::Pcm24;
    if (name == "flac") return OutputFormat::Flac;
    throw HostError("--format '" + name + "' is not one of float, pcm16, pcm24, flac");
}

OutputFile::OutputFile(const std::string& target, OutputFormat format, double sampleRate,
                       int channelCount, std::int64_t largestBlock)
    : path(target),
      channels(channelCount),
      capacity(std::max(kWriteFrames, largestBlock)),
      temporary(target + ".partial-" + std::to_string(getpid())),
      meter(channelCount),
      current(newPiece()) {
    SF_INFO info{};
    info.samplerate = static_cast<int>(std::lround(sampleRate));
    info.channels = channels;
    switch (format) {
        case OutputFormat::Float32: info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT; break;
        case OutputFormat::Pcm16: info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16; break;
        case OutputFormat::Pcm24: info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_24; break;
        case OutputFormat::Flac: info.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_24; break;
    }
    SNDFILE* handle = sf_open(temporary.c_str(), SFM_WRITE, &info);
    if (!handle) throw HostError("cannot write output '" + path + "': " + sf_strerror(nullptr));
    // Integer formats clip instead of wrapping around.
    if (format != OutputFormat::Float32) sf_command(handle, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    file = handle;
    writer = std::thread(&OutputFile::writerLoop, this);
}

OutputFile::~OutputFile() {
    finishWriter();
    if (file) sf_close(static_cast<SNDFILE*>(file));
    if (!committed) std::remove(temporary.c_str());
}

OutputFile::Piece OutputFile::newPiece() {
    Piece p;
    p.samples.resize(static_cast<std::size_t>(capacity * channels));
    return p;
}

void OutputFile::append(const float* const* data, std::int64_t frames) {
    if (current.frames + frames > capacity) handOver();
    float* to = current.samples.data() + current.frames * channels;
    for (std::int64_t n = 0; n < frames; ++n)
        for (int c = 0; c < channels; ++c) *to++ = data[c][n];
    current.frames += frames;
}

void OutputFile::handOver() {
    if (current.frames == 0) return;
    Piece next;
    {
        std::unique_lock lock(mutex);
        if (!failure.empty()) throw HostError(failure);
        // A few pieces in flight are enough to keep the writer busy.
        changed.wait(lock, [this] { return queue.size() < 4 || !failure.empty(); });
        if (!failure.empty()) throw HostError(failure);
        queue.push_back(std::move(current));
        changed.notify_all();
        if (!spare.empty()) {
            next = std::move(spare.back());
            spare.pop_back();
        }
    }
    if (next.samples.empty()) next = newPiece();
    next.frames = 0;
    current = std::move(next);
}

void OutputFile::writerLoop() {
    for (;;) {
        Piece piece;
        {
            std::unique_lock lock(mutex);
            changed.wait(lock, [this] { return !queue.empty() || closing; });
            if (queue.empty()) return;
            piece = std::move(queue.front());
            queue.pop_front();
            changed.notify_all();
        }
        // Metered just before it is written: the writing then finds the piece
        // in this thread's cache.
        meter.add(piece.samples.data(), piece.frames);
        const bool ok = sf_writef_float(static_cast<SNDFILE*>(file), piece.samples.data(),
                                        piece.frames) == piece.frames;
        std::lock_guard lock(mutex);
        if (!ok) {
            failure =
                "cannot write output '" + path + "': " + sf_strerror(static_cast<SNDFILE*>(file));
            queue.clear();
            changed.notify_all();
            return;
        }
        spare.push_back(std::move(piece));
    }
}

void OutputFile::finishWriter() {
    if (!writer.joinable()) return;
    {
        std::lock_guard lock(mutex);
        closing = true;
        changed.notify_all();
    }
    writer.join();
}

void OutputFile::commit() {
    handOver();
    finishWriter();
    if (!failure.empty()) throw HostError(failure);
    const int closed = sf_close(static_cast<SNDFILE*>(file));
    file = nullptr;
    if (closed != 0)
        throw HostError("cannot write output '" + path + "': " + sf_error_number(closed));
    if (std::rename(temporary.c_str(), path.c_str()) != 0)
        throw HostError("cannot write output '" + path + "': rename failed");
    committed = true;
}

void LevelMeter::add(const float* x, std::int64_t frames) {
    const auto channels = static_cast<std::int64_t>(peak.size());
    const std::int64_t samples = frames * channels;
    // Eight running maxima and sums, so that no step waits on the one before;
    // with a channel count that divides eight, lane k always holds channel
    // k % channels.
    constexpr std::int64_t kLanes = 8;
    std::int64_t n = 0;
    if (kLanes % channels == 0) {
        float p[kLanes];
        double s[kLanes];
        for (std::int64_t k = 0; k < kLanes; ++k) {
            p[k] = peak[k % channels];
            s[k] = 0.0;
        }
        for (; n + kLanes <= samples; n += kLanes)
            for (std::int64_t k = 0; k < kLanes; ++k) {
                const float v = x[n + k];
                const float magnitude = std::fabs(v);
                p[k] = p[k] < magnitude ? magnitude : p[k];
                s[k] += static_cast<double>(v) * static_cast<double>(v);
            }
        for (std::int64_t k = 0; k < kLanes; ++k) {
            peak[k % channels] = std::max(peak[k % channels], p[k]);
            sumSquares[k % channels] += s[k];
        }
    }
    for (; n < samples; ++n) {
        const float v = x[n];
        const auto c = static_cast<std::size_t>(n % channels);
        peak[c] = std::max(peak[c], std::fabs(v));
        sumSquares[c] += static_cast<double>(v) * static_cast<double>(v);
    }
    counted += frames;
}

double LevelMeter::rmsOf(int channel) const {
    return counted > 0 ? std::sqrt(sumSquares[channel] / static_cast<double>(counted)) : 0.0;
}
