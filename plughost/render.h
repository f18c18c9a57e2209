// Rendering a signal through a module, with sample-accurate automation.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "audio.h"
#include "module.h"

struct AutomationEvent {
    std::int64_t frame;
    aeLong index;
    float value;
};

// Reads lines of "SECONDS INDEX VALUE"; blank lines and lines starting with
// '#' are skipped. Events come back in time order, ties in file order.
std::vector<AutomationEvent> readAutomation(const std::string& path, double sampleRate);

struct RenderSettings {
    aeLong blockSize = 512;
    bool replacing = true;
    aeLong program = -1;  // -1: leave the module's current program
    std::vector<std::pair<aeLong, float>> parameters;
    std::vector<AutomationEvent> automation;
    bool progress = false;
};

struct RenderSummary {
    std::int64_t frames = 0;
    double seconds = 0.0;
    double wallSeconds = 0.0;
};

// Drives the instance as a studio host does: sample rate, block size,
// program, parameters, mains on, the blocks, mains off. Throws HostError when
// `interrupted` becomes true.
RenderSummary render(const Plugin& plugin, MonoSource& input, const RenderSettings& settings,
                     OutputFile& output, const std::atomic<bool>& interrupted);

// Checks the channel counts a module announces before buffers are made for them.
void checkChannelCounts(const Plugin& plugin);
