#include "chain.h"

#include <algorithm>

void feedChannels(const float* const* from, int fromCount, float* const* to, int toCount,
                  std::int64_t frames) {
    if (toCount == 0) return;
    if (fromCount == toCount) {
        for (int c = 0; c < toCount; ++c) std::copy_n(from[c], frames, to[c]);
        return;
    }
    for (std::int64_t n = 0; n < frames; ++n) {
        double sum = 0.0;
        for (int c = 0; c < fromCount; ++c) sum += from[c][n];
        to[0][n] = fromCount > 0 ? static_cast<float>(sum / fromCount) : 0.0f;
    }
    for (int c = 1; c < toCount; ++c) std::copy_n(to[0], frames, to[c]);
}

Chain::Chain(const std::vector<std::string>& paths) {
    for (const std::string& path : paths) {
        Stage s;
        s.module = std::make_unique<LoadedModule>(path);
        s.plugin = std::make_unique<Plugin>(*s.module);
        checkChannelCounts(*s.plugin);
        stages.push_back(std::move(s));
    }
}

void Chain::prepare(float sampleRate, aeLong block, bool replace) {
    replacing = replace;
    const auto frames = static_cast<std::size_t>(block);
    for (std::size_t i = 0; i < stages.size(); ++i) {
        Stage& s = stages[i];
        if (replacing && !s.plugin->canReplace())
            throw HostError("module '" + s.module->path() +
                            "' does not offer replacing processing; use --mode accumulate");
        s.in.assign(static_cast<std::size_t>(std::max(s.plugin->inputs(), 1)),
                    std::vector<float>(frames));
        s.out.assign(static_cast<std::size_t>(s.plugin->outputs()), std::vector<float>(frames));
        s.inPointers.clear();
        s.outPointers.clear();
        for (auto& b : s.in) s.inPointers.push_back(b.data());
        for (auto& b : s.out) s.outPointers.push_back(b.data());
        s.plugin->configure(sampleRate, block);
    }
}

void Chain::setMains(bool on) const {
    for (const Stage& s : stages) s.plugin->setMains(on);
}

const float* const* Chain::process(const float* const* in, int inChannels, aeLong frames) {
    const float* const* from = in;
    int fromCount = inChannels;
    for (Stage& s : stages) {
        feedChannels(from, fromCount, s.inPointers.data(), s.plugin->inputs(), frames);
        // Accumulating processing adds to what the outputs hold: silence here.
        if (!replacing)
            for (auto& b : s.out) std::fill_n(b.begin(), frames, 0.0f);
        s.plugin->process(s.inPointers.data(), s.outPointers.data(), frames, replacing);
        from = s.outPointers.data();
        fromCount = s.plugin->outputs();
    }
    return from;
}
