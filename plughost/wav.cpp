#include "wav.h"

#include <bit>
#include <cmath>
#include <cstring>
#include <string>

namespace {

constexpr std::uint16_t kTagPcm = 1;
constexpr std::uint16_t kTagFloat = 3;
constexpr std::uint64_t kMostRiffBytes = 0xFFFFFFFFu;
constexpr std::uint32_t kSizeInDs64 = 0xFFFFFFFFu;  // RF64: the real size is in ds64

class Bytes {
public:
    void text(const char* fourCharacters) { add(fourCharacters, 4); }
    void u16(std::uint16_t v) { little(v, 2); }
    void u32(std::uint32_t v) { little(v, 4); }
    void u64(std::uint64_t v) { little(v, 8); }
    std::vector<unsigned char> data;

private:
    void add(const void* p, std::size_t n) {
        const auto* b = static_cast<const unsigned char*>(p);
        data.insert(data.end(), b, b + n);
    }
    void little(std::uint64_t v, int count) {
        for (int i = 0; i < count; ++i) data.push_back(static_cast<unsigned char>(v >> (8 * i)));
    }
};

int bytesOf(WavSamples s) { return s == WavSamples::Pcm16 ? 2 : (s == WavSamples::Pcm24 ? 3 : 4); }

// Header bytes before the audio: RIFF or RF64 with ds64, fmt, fact (float), data.
std::size_t headerBytes(WavSamples s, bool rf64) {
    const bool isFloat = s == WavSamples::Float32;
    return 12 + (rf64 ? 36 : 0) + 8 + (isFloat ? 18 : 16) + (isFloat ? 12 : 0) + 8;
}

// A sample scaled to a signed integer of `full` steps above zero, rounded to
// the nearest and clipped; NaN gives 0.
std::int32_t toInteger(float v, double full) {
    const double scaled = static_cast<double>(v) * full;
    if (scaled >= full - 1.0) return static_cast<std::int32_t>(full - 1.0);
    if (scaled <= -full) return static_cast<std::int32_t>(-full);
    if (!(scaled == scaled)) return 0;
    return static_cast<std::int32_t>(std::lrint(scaled));
}

}  // namespace

bool WavWriter::needsRf64(WavSamples samples, int channels, std::int64_t frames) {
    const std::uint64_t data = static_cast<std::uint64_t>(frames) *
                               static_cast<std::uint64_t>(channels) *
                               static_cast<std::uint64_t>(bytesOf(samples));
    return headerBytes(samples, false) - 8 + data + (data & 1) > kMostRiffBytes;
}

WavWriter::WavWriter(ByteSink& s, WavSamples kind, int channelCount, int rate,
                     std::int64_t expectedFrames, bool forceRf64)
    : sink(s),
      samples(kind),
      channels(channelCount),
      sampleRate(rate),
      sampleBytes(bytesOf(kind)),
      isRf64(forceRf64 || needsRf64(kind, channelCount, expectedFrames)),
      expected(expectedFrames) {
    const auto h = header(expected);
    sink.write(h.data(), h.size());
}

std::vector<unsigned char> WavWriter::header(std::int64_t frames) const {
    const bool isFloat = samples == WavSamples::Float32;
    const std::uint64_t data = static_cast<std::uint64_t>(frames) *
                               static_cast<std::uint64_t>(channels) *
                               static_cast<std::uint64_t>(sampleBytes);
    const std::uint64_t riff = headerBytes(samples, isRf64) - 8 + data + (data & 1);
    const auto blockAlign = static_cast<std::uint16_t>(channels * sampleBytes);
    Bytes b;
    b.text(isRf64 ? "RF64" : "RIFF");
    b.u32(isRf64 ? kSizeInDs64 : static_cast<std::uint32_t>(riff));
    b.text("WAVE");
    if (isRf64) {
        b.text("ds64");
        b.u32(28);
        b.u64(riff);
        b.u64(data);
        b.u64(static_cast<std::uint64_t>(frames));
        b.u32(0);  // no table of other chunk sizes
    }
    b.text("fmt ");
    b.u32(isFloat ? 18 : 16);
    b.u16(isFloat ? kTagFloat : kTagPcm);
    b.u16(static_cast<std::uint16_t>(channels));
    b.u32(static_cast<std::uint32_t>(sampleRate));
    b.u32(static_cast<std::uint32_t>(sampleRate) * blockAlign);
    b.u16(blockAlign);
    b.u16(static_cast<std::uint16_t>(8 * sampleBytes));
    if (isFloat) {
        b.u16(0);  // no further format bytes
        b.text("fact");
        b.u32(4);
        b.u32(isRf64 ? kSizeInDs64 : static_cast<std::uint32_t>(frames));
    }
    b.text("data");
    b.u32(isRf64 ? kSizeInDs64 : static_cast<std::uint32_t>(data));
    return b.data;
}

void WavWriter::write(const float* in, std::int64_t frames) {
    const auto count = static_cast<std::size_t>(frames * channels);
    written += frames;
    if (samples == WavSamples::Float32 && std::endian::native == std::endian::little) {
        sink.write(in, count * sizeof(float));  // already in the file's byte order
        return;
    }
    bytes.resize(count * static_cast<std::size_t>(sampleBytes));
    unsigned char* to = bytes.data();
    switch (samples) {
        case WavSamples::Float32:
            for (std::size_t i = 0; i < count; ++i) {
                std::uint32_t bits;
                std::memcpy(&bits, &in[i], 4);
                for (int k = 0; k < 4; ++k) *to++ = static_cast<unsigned char>(bits >> (8 * k));
            }
            break;
        case WavSamples::Pcm16:
            for (std::size_t i = 0; i < count; ++i) {
                const auto v = static_cast<std::uint32_t>(toInteger(in[i], 32768.0));
                *to++ = static_cast<unsigned char>(v);
                *to++ = static_cast<unsigned char>(v >> 8);
            }
            break;
        case WavSamples::Pcm24:
            for (std::size_t i = 0; i < count; ++i) {
                const auto v = static_cast<std::uint32_t>(toInteger(in[i], 8388608.0));
                *to++ = static_cast<unsigned char>(v);
                *to++ = static_cast<unsigned char>(v >> 8);
                *to++ = static_cast<unsigned char>(v >> 16);
            }
            break;
    }
    sink.write(bytes.data(), bytes.size());
}

void WavWriter::finish() {
    const std::uint64_t data = static_cast<std::uint64_t>(written) *
                               static_cast<std::uint64_t>(channels) *
                               static_cast<std::uint64_t>(sampleBytes);
    if (data & 1) {
        const unsigned char pad = 0;
        sink.write(&pad, 1);
    }
    if (written != expected && sink.canSeek()) {
        const auto h = header(written);
        sink.writeAt(0, h.data(), h.size());
    }
}
