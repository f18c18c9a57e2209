// Audio into the host program: any file libsndfile reads, decoded as it is
// needed, or an embedded test signal generated as it is needed. Memory stays
// the same however long the input.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

class Source {
public:
    virtual ~Source() = default;
    // Fills out[c][0 .. frames) for each channel; answers how many frames
    // there were (fewer only at the end).
    virtual std::int64_t read(float* const* out, std::int64_t frames) = 0;
    int channels() const { return channelCount; }
    double sampleRate() const { return rate; }
    // The frames the input promises: what a file's header says, even where
    // the file holds fewer.
    std::int64_t frames() const { return length; }

protected:
    int channelCount = 1;
    double rate = 44100.0;
    std::int64_t length = 0;
};

// A file, all of its channels or channel `pick` alone (counting from 1; 0 for all).
std::unique_ptr<Source> openInputFile(const std::string& path, int pick);

// An embedded test signal of one channel: "noise", "saw", "impulse" or "sine:HZ".
std::unique_ptr<Source> makeSignal(const std::string& kind, std::int64_t frames, double rate);

// Throws UsageError when `kind` is not an embedded signal for this rate.
void checkSignal(const std::string& kind, double rate);

// True when libsndfile reads the file as audio.
bool isAudioFile(const std::string& path);
