#include "render.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace {

constexpr aeLong kMostChannels = 64;

void drawProgress(std::int64_t done, std::int64_t total) {
    constexpr int kWidth = 40;
    const int filled = static_cast<int>(kWidth * done / std::max<std::int64_t>(total, 1));
    std::fprintf(stderr, "\r[%.*s%*s] %3d%%", filled, "########################################",
                 kWidth - filled, "",
                 static_cast<int>(100 * done / std::max<std::int64_t>(total, 1)));
    std::fflush(stderr);
}

}  // namespace

std::vector<AutomationEvent> readAutomation(const std::string& path, double sampleRate) {
    std::ifstream in(path);
    if (!in) throw HostError("cannot read automation file '" + path + "'");
    std::vector<AutomationEvent> events;
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        const auto first = line.find_first_not_of(" \t\r");
        if (first == std::string::npos || line[first] == '#') continue;
        std::istringstream fields(line);
        double seconds = 0.0;
        long long index = 0;
        double value = 0.0;
        std::string rest;
        if (!(fields >> seconds >> index >> value) || (fields >> rest) || !std::isfinite(seconds) ||
            seconds < 0.0 || index < INT32_MIN || index > INT32_MAX || !std::isfinite(value))
            throw HostError("automation file '" + path + "', line " + std::to_string(number) +
                            ": expected SECONDS INDEX VALUE, got '" + line + "'");
        events.push_back({std::llround(seconds * sampleRate), static_cast<aeLong>(index),
                          static_cast<float>(value)});
    }
    std::stable_sort(
        events.begin(), events.end(),
        [](const AutomationEvent& a, const AutomationEvent& b) { return a.frame < b.frame; });
    return events;
}

void checkChannelCounts(const Plugin& plugin) {
    if (plugin.inputs() < 0 || plugin.inputs() > kMostChannels || plugin.outputs() < 1 ||
        plugin.outputs() > kMostChannels)
        throw HostError("the module announces " + std::to_string(plugin.inputs()) +
                        " input(s) and " + std::to_string(plugin.outputs()) +
                        " output(s); this host takes 0 to 64 inputs and 1 to 64 outputs");
}

RenderSummary render(const Plugin& plugin, MonoSource& input, const RenderSettings& settings,
                     OutputFile& output, const std::atomic<bool>& interrupted) {
    checkChannelCounts(plugin);
    if (settings.replacing && !plugin.canReplace())
        throw HostError("the module does not offer replacing processing; use --mode accumulate");

    const auto block = static_cast<std::size_t>(settings.blockSize);
    const auto inputs = static_cast<std::size_t>(plugin.inputs());
    const auto outputs = static_cast<std::size_t>(plugin.outputs());
    std::vector<std::vector<float>> inBuffers(std::max<std::size_t>(inputs, 1),
                                              std::vector<float>(block));
    std::vector<float*> inPointers;
    for (auto& b : inBuffers) inPointers.push_back(b.data());
    // The module writes into buffers of one block, which stay in the cache;
    // written straight into the output's large pieces, every store would
    // miss it and the module would wait on memory.
    std::vector<std::vector<float>> outBuffers(outputs, std::vector<float>(block));
    std::vector<float*> outPointers;
    for (auto& b : outBuffers) outPointers.push_back(b.data());

    plugin.configure(static_cast<float>(input.sampleRate()), settings.blockSize);
    if (settings.program >= 0) plugin.dispatch(effSetProgram, 0, settings.program);
    for (auto [index, value] : settings.parameters) plugin.setParameter(index, value);
    plugin.setMains(true);

    const auto start = std::chrono::steady_clock::now();
    auto lastDrawn = start;
    const std::int64_t total = input.frames();
    std::size_t nextEvent = 0;
    std::int64_t pos = 0;
    while (pos < total) {
        if (interrupted) throw HostError("interrupted; no output written");
        // A block ends at the block size, the end of the input or the next automation event.
        while (nextEvent < settings.automation.size() &&
               settings.automation[nextEvent].frame <= pos) {
            plugin.setParameter(settings.automation[nextEvent].index,
                                settings.automation[nextEvent].value);
            ++nextEvent;
        }
        std::int64_t end = std::min<std::int64_t>(pos + settings.blockSize, total);
        if (nextEvent < settings.automation.size())
            end = std::min(end, settings.automation[nextEvent].frame);
        auto frames = static_cast<std::size_t>(end - pos);

        const std::int64_t got = input.read(inBuffers[0].data(), static_cast<std::int64_t>(frames));
        if (got <= 0) break;  // the file was shorter than it said
        frames = static_cast<std::size_t>(got);
        end = pos + got;
        for (std::size_t c = 1; c < inBuffers.size(); ++c)
            std::copy_n(inBuffers[0].begin(), frames, inBuffers[c].begin());
        if (!settings.replacing)
            for (auto& b : outBuffers) std::fill_n(b.begin(), frames, 0.0f);
        plugin.process(inPointers.data(), outPointers.data(), static_cast<aeLong>(frames),
                       settings.replacing);
        output.append(outPointers.data(), static_cast<std::int64_t>(frames));
        pos = end;

        if (settings.progress) {
            const auto now = std::chrono::steady_clock::now();
            if (now - lastDrawn > std::chrono::milliseconds(100) || pos == total) {
                drawProgress(pos, total);
                lastDrawn = now;
            }
        }
    }
    plugin.setMains(false);
    if (settings.progress) std::fputc('\n', stderr);

    RenderSummary summary;
    summary.frames = pos;
    summary.seconds = static_cast<double>(pos) / input.sampleRate();
    summary.wallSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return summary;
}
