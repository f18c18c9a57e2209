// Modules in series, each module's outputs feeding the next one's inputs.
//
// One rule joins any two stages, the input file and the first module
// included: where the channel counts match, channel for channel; otherwise
// the channels are mixed down to their average and that one signal feeds
// every input. So mono feeds both inputs of a stereo module, and stereo feeds
// a mono module the average of its two channels.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "module.h"

// Applies the rule to `frames` frames.
void feedChannels(const float* const* from, int fromCount, float* const* to, int toCount,
                  std::int64_t frames);

class Chain {
public:
    // Loads every module and opens one instance of each.
    explicit Chain(const std::vector<std::string>& paths);

    std::size_t size() const { return stages.size(); }
    const Plugin& plugin(std::size_t i) const { return *stages[i].plugin; }
    int inputs() const { return stages.front().plugin->inputs(); }
    int outputs() const { return stages.back().plugin->outputs(); }

    // Sample rate and block size for every module, and buffers for blocks of
    // up to `block` frames. Throws HostError when a module cannot process as asked.
    void prepare(float sampleRate, aeLong block, bool replacing);
    void setMains(bool on) const;
    // Runs `frames` frames of `inChannels` channels through the chain;
    // answers the last module's output channels.
    const float* const* process(const float* const* in, int inChannels, aeLong frames);

private:
    struct Stage {
        std::unique_ptr<LoadedModule> module;
        std::unique_ptr<Plugin> plugin;
        std::vector<std::vector<float>> in, out;
        std::vector<float*> inPointers, outPointers;
    };
    std::vector<Stage> stages;
    bool replacing = true;
};
