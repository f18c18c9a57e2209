#include "output.h"

#include <fcntl.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "module.h"
#include "options.h"
#include "wav.h"

namespace {

constexpr std::int64_t kWriteFrames = 16384;
constexpr int kMostLinks = 40;
constexpr std::uint64_t kMostAiffBytes = 0xFFFFFFFFu - 64;  // its sizes are 32 bits too

std::string systemError() { return std::strerror(errno); }

std::string lowerExtension(const std::string& path) {
    const auto slash = path.find_last_of('/');
    const auto dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    std::string ext = path.substr(dot + 1);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

const char* containerName(Container c) {
    switch (c) {
        case Container::Wav: return "WAV";
        case Container::Rf64: return "RF64";
        case Container::Aiff: return "AIFF";
        case Container::W64: return "W64";
        case Container::Flac: return "FLAC";
        case Container::Ogg: return "Ogg Vorbis";
    }
    return "";
}

bool containerByExtension(const std::string& ext, Container& c) {
    if (ext == "wav" || ext == "wave")
        c = Container::Wav;
    else if (ext == "rf64")
        c = Container::Rf64;
    else if (ext == "aiff" || ext == "aif" || ext == "aifc")
        c = Container::Aiff;
    else if (ext == "w64")
        c = Container::W64;
    else if (ext == "flac")
        c = Container::Flac;
    else if (ext == "ogg" || ext == "oga")
        c = Container::Ogg;
    else
        return false;
    return true;
}

std::string parentFolder(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string fileName(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The file a name leads to through symbolic links, when that file does not
// exist yet (a link that points at nothing yet is followed to what it names).
std::string followLinks(std::string path) {
    for (int hop = 0; hop < kMostLinks; ++hop) {
        struct stat info {};
        if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
        char target[PATH_MAX];
        const ssize_t n = readlink(path.c_str(), target, sizeof target - 1);
        if (n < 0) return path;
        const std::string to(target, static_cast<std::size_t>(n));
        path = to.front() == '/' ? to : parentFolder(path) + "/" + to;
    }
    errno = ELOOP;
    return path;
}

// Shortens a file name to `bytes`, without cutting a UTF-8 character in two.
std::string cutName(const std::string& name, std::size_t bytes) {
    if (name.size() <= bytes) return name;
    std::size_t n = bytes;
    while (n > 0 && (static_cast<unsigned char>(name[n]) & 0xC0) == 0x80) --n;
    return name.substr(0, n);
}

class FdSink : public ByteSink {
public:
    FdSink(int descriptor, bool canSeekBack, std::string shown)
        : fd(descriptor), seekable(canSeekBack), name(std::move(shown)) {}
    void write(const void* data, std::size_t bytes) override {
        const auto* p = static_cast<const char*>(data);
        while (bytes > 0) {
            const ssize_t n = ::write(fd, p, bytes);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) fail();
            p += n;
            bytes -= static_cast<std::size_t>(n);
        }
    }
    void writeAt(std::uint64_t offset, const void* data, std::size_t bytes) override {
        if (pwrite(fd, data, bytes, static_cast<off_t>(offset)) != static_cast<ssize_t>(bytes))
            fail();
    }
    bool canSeek() const override { return seekable; }

private:
    [[noreturn]] void fail() const {
        throw HostError("cannot write output '" + name + "': " + systemError());
    }
    int fd;
    bool seekable;
    std::string name;
};

class WavEncoder : public AudioWriter {
public:
    WavEncoder(const OutputTarget& target, const OutputFormat& format, int rate, int channels,
               std::int64_t frames)
        : sink(target.descriptor(), !target.isStream(), target.name()),
          wav(sink, samplesOf(format.encoding), channels, rate, frames,
              format.container == Container::Rf64) {
        if (wav.rf64() && format.container == Container::Wav)
            std::fprintf(stderr,
                         "plughost: note: '%s' will hold more audio than a WAV header can count "
                         "(4 GiB); it is written as RF64\n",
                         target.name().c_str());
    }
    void write(const float* interleaved, std::int64_t frames) override {
        wav.write(interleaved, frames);
    }
    void finish() override { wav.finish(); }

private:
    static WavSamples samplesOf(Encoding e) {
        return e == Encoding::Pcm16   ? WavSamples::Pcm16
               : e == Encoding::Pcm24 ? WavSamples::Pcm24
                                      : WavSamples::Float32;
    }
    FdSink sink;
    WavWriter wav;
};

class SndfileEncoder : public AudioWriter {
public:
    SndfileEncoder(const OutputTarget& target, const OutputFormat& format, int rate, int channels,
                   std::int64_t frames)
        : name(target.name()) {
        SF_INFO info{};
        info.samplerate = rate;
        info.channels = channels;
        int container = SF_FORMAT_FLAC;
        switch (format.container) {
            case Container::Aiff: container = SF_FORMAT_AIFF; break;
            case Container::W64: container = SF_FORMAT_W64; break;
            case Container::Ogg: container = SF_FORMAT_OGG; break;
            default: break;
        }
        const int samples = format.encoding == Encoding::Pcm16    ? SF_FORMAT_PCM_16
                            : format.encoding == Encoding::Pcm24  ? SF_FORMAT_PCM_24
                            : format.encoding == Encoding::Vorbis ? SF_FORMAT_VORBIS
                                                                  : SF_FORMAT_FLOAT;
        info.format = container | samples;
        if (format.container == Container::Aiff) {
            const int bytes =
                samples == SF_FORMAT_PCM_16 ? 2 : (samples == SF_FORMAT_PCM_24 ? 3 : 4);
            if (static_cast<std::uint64_t>(frames) * static_cast<std::uint64_t>(channels * bytes) >
                kMostAiffBytes)
                throw HostError("cannot write output '" + name +
                                "': an AIFF file holds at most 4 GiB of audio; write .wav (RF64 "
                                "beyond 4 GiB), .w64 or .flac");
        }
        file = sf_open_fd(target.descriptor(), SFM_WRITE, &info, SF_FALSE);
        if (!file)
            throw HostError("cannot write output '" + name + "' as " + describe(format) + ": " +
                            sf_strerror(nullptr));
        // Integer formats clip instead of wrapping around.
        if (format.encoding == Encoding::Pcm16 || format.encoding == Encoding::Pcm24)
            sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    }
    ~SndfileEncoder() override {
        if (file) sf_close(file);
    }
    void write(const float* interleaved, std::int64_t frames) override {
        if (sf_writef_float(file, interleaved, frames) != frames)
            throw HostError("cannot write output '" + name + "': " + sf_strerror(file));
    }
    void finish() override {
        const int closed = sf_close(file);
        file = nullptr;
        if (closed != 0)
            throw HostError("cannot write output '" + name + "': " + sf_error_number(closed));
    }

private:
    std::string name;
    SNDFILE* file = nullptr;
};

}  // namespace

OutputFormat chooseFormat(const std::string& path, const std::string& option) {
    Container byName = Container::Wav;
    const bool named = path != "-" && containerByExtension(lowerExtension(path), byName);
    OutputFormat f;
    if (option.empty()) {
        f.container = byName;
        f.encoding = byName == Container::Flac  ? Encoding::Pcm24
                     : byName == Container::Ogg ? Encoding::Vorbis
                                                : Encoding::Float32;
        return f;
    }
    if (option == "float")
        f.encoding = Encoding::Float32;
    else if (option == "pcm16")
        f.encoding = Encoding::Pcm16;
    else if (option == "pcm24")
        f.encoding = Encoding::Pcm24;
    else if (option == "flac")
        f = {Container::Flac, Encoding::Pcm24};
    else if (option == "vorbis")
        f = {Container::Ogg, Encoding::Vorbis};
    else
        throw UsageError("--format '" + option +
                         "' is not one of float, pcm16, pcm24, flac, vorbis");

    const bool namesContainer = option == "flac" || option == "vorbis";
    if (!named) return f;
    const bool fits = namesContainer ? byName == f.container
                                     : (byName == Container::Flac ? f.encoding != Encoding::Float32
                                                                  : byName != Container::Ogg);
    if (!fits)
        throw UsageError("--format " + option + " contradicts the name '" + path +
                         "', which asks for " + containerName(byName) +
                         "; leave one of them out or make them agree");
    if (!namesContainer) f.container = byName;
    return f;
}

std::string describe(const OutputFormat& f) {
    std::string samples;
    switch (f.encoding) {
        case Encoding::Float32: samples = "32-bit float "; break;
        case Encoding::Pcm16: samples = "16-bit "; break;
        case Encoding::Pcm24: samples = "24-bit "; break;
        case Encoding::Vorbis: break;
    }
    return samples + containerName(f.container);
}

OutputTarget::OutputTarget(const std::string& path) : shown(path) {
    if (path.empty()) throw UsageError("--output is empty");
    if (path == "-") {
        if (isatty(STDOUT_FILENO))
            throw HostError("standard output is a terminal; send it to a file or a pipe");
        fd = STDOUT_FILENO;
        stream = true;
        return;
    }
    const std::string why = "cannot write output '" + path + "': ";
    struct stat info {};
    if (stat(path.c_str(), &info) == 0) {
        if (S_ISDIR(info.st_mode)) throw HostError(why + "it is a folder");
        if (S_ISBLK(info.st_mode))
            throw HostError(why +
                            "it is a block device; plughost writes only to files, pipes "
                            "and character devices");
        if (!S_ISREG(info.st_mode)) {
            fd = open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
            if (fd < 0) throw HostError(why + systemError());
            if (isatty(fd)) {
                close(fd);
                fd = -1;
                throw HostError(why + "it is a terminal");
            }
            stream = true;
            return;
        }
        char* real = realpath(path.c_str(), nullptr);
        if (!real) throw HostError(why + systemError());
        finalPath = real;
        std::free(real);
        // Only a file the user may write is replaced.
        const int probe = open(finalPath.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
        if (probe < 0)
            throw HostError(
                why + systemError() +
                (errno == EACCES ? " (plughost replaces only files you may write)" : ""));
        close(probe);
        replacing = true;
        mode = info.st_mode & 07777;
        owner = info.st_uid;
        group = info.st_gid;
    } else if (errno == ENOENT) {
        finalPath = followLinks(path);
        if (errno == ELOOP) throw HostError(why + systemError());
    } else {
        throw HostError(why + systemError());
    }

    // The temporary file, beside the final one so that the rename stays on
    // one file system; its name says what it is and fits the folder's limit.
    const std::string folder = parentFolder(finalPath);
    const long limit = pathconf(folder.c_str(), _PC_NAME_MAX);
    const std::size_t most = limit > 0 ? static_cast<std::size_t>(limit) : 255;
    for (int attempt = 0; fd < 0; ++attempt) {
        const std::string suffix = ".plughost-partial-" + std::to_string(getpid()) +
                                   (attempt ? "-" + std::to_string(attempt) : "");
        temporary = folder + "/" +
                    cutName(fileName(finalPath), most > suffix.size() ? most - suffix.size() : 0) +
                    suffix;
        fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) {
            const std::string error = systemError();
            temporary.clear();
            throw HostError(why + "cannot create a file in '" + folder + "': " + error);
        }
    }
}

OutputTarget::~OutputTarget() {
    discard();
    if (fd >= 0 && fd != STDOUT_FILENO) close(fd);
}

void OutputTarget::commit() {
    if (stream) {
        committed = true;
        return;
    }
    if (replacing) {
        fchmod(fd, static_cast<mode_t>(mode));
        // Giving a file away takes privileges; without them the file is ours.
        if (geteuid() == 0 && fchown(fd, static_cast<uid_t>(owner), static_cast<gid_t>(group)) != 0)
            std::fprintf(stderr, "plughost: warning: '%s' could not keep its owner: %s\n",
                         shown.c_str(), std::strerror(errno));
    }
    const int closed = close(fd);
    fd = -1;
    if (closed != 0) throw HostError("cannot write output '" + shown + "': " + systemError());
    // What the name leads to may have changed since the start; only an
    // ordinary file (or nothing) is replaced.
    struct stat info {};
    if (lstat(finalPath.c_str(), &info) == 0 && !S_ISREG(info.st_mode))
        throw HostError("cannot write output '" + shown +
                        "': it is no longer an ordinary file; nothing was replaced");
    if (std::rename(temporary.c_str(), finalPath.c_str()) != 0)
        throw HostError("cannot write output '" + shown + "': " + systemError());
    committed = true;
}

void OutputTarget::discard() {
    if (!committed && !temporary.empty()) unlink(temporary.c_str());
}

OutputFile::OutputFile(OutputTarget& t, const OutputFormat& format, int sampleRate,
                       int channelCount, std::int64_t expectedFrames, std::int64_t largestBlock)
    : target(t),
      channels(channelCount),
      capacity(std::max(kWriteFrames, largestBlock)),
      meter(channelCount),
      current(newPiece()) {
    if (format.container == Container::Wav || format.container == Container::Rf64)
        encoder =
            std::make_unique<WavEncoder>(target, format, sampleRate, channels, expectedFrames);
    else
        encoder =
            std::make_unique<SndfileEncoder>(target, format, sampleRate, channels, expectedFrames);
    writer = std::thread(&OutputFile::writerLoop, this);
}

OutputFile::~OutputFile() { finishWriter(); }

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
        std::string error;
        try {
            encoder->write(piece.samples.data(), piece.frames);
        } catch (const std::exception& e) {
            error = e.what();
        }
        std::lock_guard lock(mutex);
        if (!error.empty()) {
            failure = error;
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
    encoder->finish();
    target.commit();
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
