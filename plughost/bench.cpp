// The `bench` command: frames per second of each processing kind, in blocks
// of noise, after the program and parameter values asked for.
#include <chrono>
#include <cstdio>
#include <iostream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "command.h"
#include "report.h"

namespace {

struct Args {
    std::string module, block = "512", seconds = "1", rate = "44100", mode = "both";
    bool json = false;
    SettingsOptions settings;
};

struct Result {
    bool replacing;
    double framesPerSecond;
};

// Warms up, then processes whole blocks until at least `seconds` have passed.
double measure(const Plugin& plugin, aeLong block, double seconds, bool replacing) {
    const auto frames = static_cast<std::size_t>(block);
    std::vector<std::vector<float>> ins(static_cast<std::size_t>(std::max(plugin.inputs(), 1)),
                                        std::vector<float>(frames));
    std::vector<std::vector<float>> outs(static_cast<std::size_t>(plugin.outputs()),
                                         std::vector<float>(frames));
    std::mt19937 rng(1);
    std::uniform_real_distribution<float> noise(-0.5f, 0.5f);
    for (auto& b : ins)
        for (float& s : b) s = noise(rng);
    std::vector<float*> inPointers, outPointers;
    for (auto& b : ins) inPointers.push_back(b.data());
    for (auto& b : outs) outPointers.push_back(b.data());

    using Clock = std::chrono::steady_clock;
    for (int i = 0; i < 64; ++i)
        plugin.process(inPointers.data(), outPointers.data(), block, replacing);
    std::int64_t done = 0;
    const auto start = Clock::now();
    double elapsed = 0.0;
    while (elapsed < seconds) {
        checkInterrupted();
        for (int i = 0; i < 16; ++i)
            plugin.process(inPointers.data(), outPointers.data(), block, replacing);
        done += 16 * static_cast<std::int64_t>(block);
        elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    }
    return static_cast<double>(done) / elapsed;
}

int runBench(const Args& a) {
    const aeLong block = static_cast<aeLong>(parseWhole("--block", a.block, 1, 65536));
    const double seconds = parseNumber("--seconds", a.seconds, 0.01, 600.0);
    const double rate = static_cast<double>(parseWhole("--rate", a.rate, 1000, 768000));
    const ModuleSettings settings = a.settings.parse(1).front();
    return runGuarded([&] {
        LoadedModule module(a.module);
        Plugin plugin(module);
        checkChannelCounts(plugin);
        applySettings(plugin, settings, a.module);
        std::vector<bool> kinds;
        if (a.mode != "accumulate") {
            if (plugin.canReplace())
                kinds.push_back(true);
            else if (a.mode == "replace")
                throw HostError("module '" + a.module + "' does not offer replacing processing");
        }
        if (a.mode != "replace") kinds.push_back(false);

        plugin.configure(static_cast<float>(rate), block);
        plugin.setMains(true);
        std::vector<Result> results;
        for (bool replacing : kinds)
            results.push_back({replacing, measure(plugin, block, seconds, replacing)});
        plugin.setMains(false);

        std::ostringstream out;
        if (a.json) {
            out << "{\"module\": " << jsonString(a.module) << ", \"rate\": " << rate
                << ", \"block\": " << block << ", \"results\": [";
            for (std::size_t i = 0; i < results.size(); ++i) {
                char line[160];
                std::snprintf(line, sizeof line,
                              "%s\n  {\"mode\": \"%s\", \"framesPerSecond\": %.0f, "
                              "\"realTime\": %.1f}",
                              i ? "," : "", results[i].replacing ? "replace" : "accumulate",
                              results[i].framesPerSecond, results[i].framesPerSecond / rate);
                out << line;
            }
            out << "\n]}\n";
        } else {
            char heading[64];
            std::snprintf(heading, sizeof heading, "x real time at %.0f Hz", rate);
            std::vector<std::vector<std::string>> rows = {{"mode", "block", "frames/s", heading}};
            for (const Result& r : results) {
                char fps[32], times[32];
                std::snprintf(fps, sizeof fps, "%.0f", r.framesPerSecond);
                std::snprintf(times, sizeof times, "%.1f", r.framesPerSecond / rate);
                rows.push_back(
                    {r.replacing ? "replace" : "accumulate", std::to_string(block), fps, times});
            }
            out << table(rows, {false, true, true, true});
        }
        std::cout << out.str();
        return 0;
    });
}

}  // namespace

Command addBenchCommand(CLI::App& app) {
    auto a = std::make_shared<Args>();
    auto* b = app.add_subcommand("bench", "measure processing speed");
    b->add_option("MODULE", a->module, "the module file")->required();
    b->add_option("--block", a->block, "block size in frames, 1 to 65536")->capture_default_str();
    b->add_option("--seconds", a->seconds, "measuring time per processing kind, 0.01 to 600")
        ->capture_default_str();
    b->add_option("--rate", a->rate, "sample rate, for the real-time multiple")
        ->capture_default_str();
    b->add_option("--mode", a->mode, "replace, accumulate or both")
        ->check(CLI::IsMember({"replace", "accumulate", "both"}))
        ->capture_default_str();
    b->add_flag("--json", a->json, "print JSON for scripts");
    a->settings.addTo(*b, false);
    return {b, [a] { return runBench(*a); }};
}
