// Pieces of the host program on their own: the WAV and RF64 writer, and the
// shortest text of a float.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "report.h"
#include "wav.h"

namespace {

// Keeps every byte; can seek back or not.
class MemorySink : public ByteSink {
public:
    explicit MemorySink(bool canSeekBack) : seekable(canSeekBack) {}
    void write(const void* data, std::size_t n) override {
        const auto* b = static_cast<const unsigned char*>(data);
        bytes.insert(bytes.end(), b, b + n);
    }
    void writeAt(std::uint64_t offset, const void* data, std::size_t n) override {
        std::memcpy(bytes.data() + offset, data, n);
    }
    bool canSeek() const override { return seekable; }
    std::vector<unsigned char> bytes;
    bool seekable;
};

std::uint64_t little(const std::vector<unsigned char>& b, std::size_t at, int count) {
    std::uint64_t v = 0;
    for (int i = count - 1; i >= 0; --i) v = (v << 8) | b[at + static_cast<std::size_t>(i)];
    return v;
}

std::string text(const std::vector<unsigned char>& b, std::size_t at) {
    return std::string(reinterpret_cast<const char*>(b.data()) + at, 4);
}

// Reads the bytes back with libsndfile, as any reader would.
std::vector<float> readBack(const std::vector<unsigned char>& bytes, SF_INFO& info) {
    char name[] = "/tmp/wav-test-XXXXXX";
    const int fd = mkstemp(name);
    EXPECT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    close(fd);
    info = {};
    SNDFILE* f = sf_open(name, SFM_READ, &info);
    std::vector<float> samples;
    if (f) {
        samples.resize(static_cast<std::size_t>(info.frames * info.channels));
        sf_readf_float(f, samples.data(), info.frames);
        sf_close(f);
    }
    unlink(name);
    return samples;
}

// The WAV layout of float audio: RIFF size = 4 + (8 + 18) fmt + (8 + 4) fact
// + 8 + data, which must fit 32 bits.
TEST(WavWriter, Rf64ExactlyWhenTheSizesOverflowTheWavHeader) {
    const std::uint64_t mostData = 0xFFFFFFFFull - 50;
    const auto mostFrames = static_cast<std::int64_t>(mostData / 8);
    EXPECT_FALSE(WavWriter::needsRf64(WavSamples::Float32, 2, mostFrames));
    EXPECT_TRUE(WavWriter::needsRf64(WavSamples::Float32, 2, mostFrames + 1));
    // 16-bit PCM: 4 + (8 + 16) + 8 + data.
    const auto mostPcm = static_cast<std::int64_t>((0xFFFFFFFFull - 36) / 2);
    EXPECT_FALSE(WavWriter::needsRf64(WavSamples::Pcm16, 1, mostPcm));
    EXPECT_TRUE(WavWriter::needsRf64(WavSamples::Pcm16, 1, mostPcm + 1));
}

// A file announced beyond 4 GiB starts as RF64 with the announced sizes; when
// fewer frames come, a sink that can seek gets sizes that match them.
TEST(WavWriter, Rf64HeaderIsSizedForTheFramesAnnouncedAndCorrectedWhenFewerCome) {
    const std::int64_t announced = 14400ll * 44100;
    const float frames[] = {0.5f, -0.25f, 0.125f, 1.0f, -1.0f, 0.0f};
    for (bool seekable : {false, true}) {
        MemorySink sink(seekable);
        WavWriter wav(sink, WavSamples::Float32, 2, 44100, announced, false);
        EXPECT_TRUE(wav.rf64());
        EXPECT_EQ(text(sink.bytes, 0), "RF64");
        EXPECT_EQ(little(sink.bytes, 4, 4), 0xFFFFFFFFu);
        EXPECT_EQ(text(sink.bytes, 12), "ds64");
        EXPECT_EQ(little(sink.bytes, 28, 8), static_cast<std::uint64_t>(announced) * 8);
        EXPECT_EQ(little(sink.bytes, 36, 8), static_cast<std::uint64_t>(announced));
        wav.write(frames, 3);
        wav.finish();
        const std::uint64_t data = seekable ? 24 : static_cast<std::uint64_t>(announced) * 8;
        EXPECT_EQ(little(sink.bytes, 28, 8), data) << seekable;
        EXPECT_EQ(little(sink.bytes, 20, 8), sink.bytes.size() - 8 + (seekable ? 0 : data - 24));
        if (seekable) {
            SF_INFO info;
            const auto samples = readBack(sink.bytes, info);
            EXPECT_EQ(info.format, SF_FORMAT_RF64 | SF_FORMAT_FLOAT);
            EXPECT_EQ(samples, std::vector<float>(std::begin(frames), std::end(frames)));
        }
    }
}

// Integer samples: scaled by 2^15 (2^23), rounded to the nearest (ties to
// even), clipped at full scale; NaN becomes 0.
TEST(WavWriter, IntegerSamplesAreRoundedAndClipped) {
    const struct {
        float in;
        std::int32_t pcm16, pcm24;
    } cases[] = {
        {0.0f, 0, 0},
        {0.25f, 8192, 2097152},
        {1.5f / 32768, 2, 384},
        {2.5f / 32768, 2, 640},
        {-1.5f / 32768, -2, -384},
        {1.0f, 32767, 8388607},
        {-1.0f, -32768, -8388608},
        {3.0f, 32767, 8388607},
        {-1e30f, -32768, -8388608},
        {std::numeric_limits<float>::quiet_NaN(), 0, 0},
        {std::numeric_limits<float>::infinity(), 32767, 8388607},
    };
    for (const auto& c : cases) {
        MemorySink s16(true), s24(true);
        WavWriter w16(s16, WavSamples::Pcm16, 1, 48000, 1, false);
        WavWriter w24(s24, WavSamples::Pcm24, 1, 48000, 1, false);
        w16.write(&c.in, 1);
        w24.write(&c.in, 1);
        const std::size_t at = 44;  // RIFF, fmt of 16 bytes, data
        ASSERT_EQ(text(s16.bytes, 36), "data");
        EXPECT_EQ(static_cast<std::int16_t>(little(s16.bytes, at, 2)), c.pcm16) << c.in;
        const auto raw24 = static_cast<std::int32_t>(little(s24.bytes, at, 3) << 8) >> 8;
        EXPECT_EQ(raw24, c.pcm24) << c.in;
    }
}

// Audio of an odd number of bytes is followed by a pad byte, which the
// RIFF size counts and the data size does not.
TEST(WavWriter, OddAudioGetsItsPadByte) {
    MemorySink sink(true);
    WavWriter wav(sink, WavSamples::Pcm24, 1, 44100, 1, false);
    const float one = 0.5f;
    wav.write(&one, 1);
    wav.finish();
    EXPECT_EQ(sink.bytes.size(), 44u + 3 + 1);
    EXPECT_EQ(little(sink.bytes, 40, 4), 3u);
    EXPECT_EQ(little(sink.bytes, 4, 4), sink.bytes.size() - 8);
    SF_INFO info;
    EXPECT_EQ(readBack(sink.bytes, info), std::vector<float>{0.5f});
}

TEST(Texts, ShortestFloatReadsBackAsTheSameValue) {
    const struct {
        float value;
        const char* text;
    } cases[] = {
        {0.1f, "0.1"},
        {0.25f, "0.25"},
        {0.5263158f, "0.5263158"},
        {0.99f, "0.99"},
        {0.0f, "0"},
        {-0.0f, "-0"},
        {1e-40f, "1e-40"},
        {3.4028235e38f, "3.4028235e+38"},
        {16777217.0f, "16777216"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(shortestFloat(c.value), c.text);
        EXPECT_EQ(std::strtof(shortestFloat(c.value).c_str(), nullptr), c.value);
    }
    EXPECT_EQ(jsonNumber(std::numeric_limits<float>::quiet_NaN()), "null");
    EXPECT_EQ(trimmed("  PAN   "), "PAN");
    EXPECT_EQ(trimmed("    "), "");
}

}  // namespace
