#include "info.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "render.h"

namespace {

// A JSON string; bytes outside ASCII are read as Latin-1.
std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c >= 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string number(double v) {
    if (!std::isfinite(v)) return "null";
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", v);
    return text;
}

struct Parameter {
    aeLong index;
    std::string name, label, display;
    float value;
};

std::vector<Parameter> parametersOf(const Plugin& plugin) {
    std::vector<Parameter> params;
    for (aeLong i = 0; i < plugin.record().numParams; ++i)
        params.push_back({i, plugin.parameterName(i), plugin.parameterLabel(i),
                          plugin.parameterDisplay(i), plugin.getParameter(i)});
    return params;
}

std::vector<std::string> programNamesOf(const Plugin& plugin) {
    std::vector<std::string> names;
    const auto current = static_cast<aeLong>(plugin.dispatch(effGetProgram));
    for (aeLong p = 0; p < plugin.record().numPrograms; ++p) {
        plugin.dispatch(effSetProgram, 0, p);
        names.push_back(plugin.programName());
    }
    plugin.dispatch(effSetProgram, 0, current);
    return names;
}

}  // namespace

void printInfo(const Plugin& plugin, bool json, std::ostream& out) {
    const AEffect& e = plugin.record();
    const auto params = parametersOf(plugin);  // before the program walk changes them
    const auto programs = programNamesOf(plugin);
    const auto flags = flagNames(e.flags);
    char magic[16];
    std::snprintf(magic, sizeof magic, "0x%08X", static_cast<unsigned>(e.magic));

    if (json) {
        out << "{\n  \"magic\": " << jsonString(magic) << ",\n  \"uniqueID\": " << e.uniqueID
            << ",\n  \"uniqueIDText\": " << jsonString(fourCharText(e.uniqueID))
            << ",\n  \"version\": " << e.version << ",\n  \"inputs\": " << e.numInputs
            << ",\n  \"outputs\": " << e.numOutputs << ",\n  \"flags\": " << e.flags
            << ",\n  \"flagNames\": [";
        for (std::size_t i = 0; i < flags.size(); ++i)
            out << (i ? ", " : "") << jsonString(flags[i]);
        out << "],\n  \"parameters\": [";
        for (std::size_t i = 0; i < params.size(); ++i) {
            const Parameter& p = params[i];
            out << (i ? "," : "") << "\n    {\"index\": " << p.index
                << ", \"name\": " << jsonString(p.name) << ", \"label\": " << jsonString(p.label)
                << ", \"value\": " << number(p.value) << ", \"display\": " << jsonString(p.display)
                << "}";
        }
        out << "\n  ],\n  \"programs\": [";
        for (std::size_t i = 0; i < programs.size(); ++i)
            out << (i ? ", " : "") << jsonString(programs[i]);
        out << "]\n}\n";
        return;
    }

    out << "magic       " << magic << "\n"
        << "identifier  '" << fourCharText(e.uniqueID) << "' (" << e.uniqueID << ")\n"
        << "version     " << e.version << "\n"
        << "inputs      " << e.numInputs << "\n"
        << "outputs     " << e.numOutputs << "\n"
        << "flags       " << e.flags;
    for (const auto& f : flags) out << ' ' << f;
    out << "\n\nparameters (" << params.size() << ")\n";
    for (const Parameter& p : params) {
        char line[256];
        std::snprintf(line, sizeof line, "  %3d  %-16s %-18s %-10s [%s]\n",
                      static_cast<int>(p.index), ("'" + p.name + "'").c_str(),
                      ("'" + p.label + "'").c_str(), number(p.value).c_str(), p.display.c_str());
        out << line;
    }
    out << "\nprograms (" << programs.size() << ")\n";
    for (std::size_t i = 0; i < programs.size(); ++i)
        out << "  " << i << "  " << programs[i] << "\n";
}

void printBench(const Plugin& plugin, double sampleRate, aeLong blockSize, double seconds,
                std::ostream& out) {
    checkChannelCounts(plugin);
    const auto block = static_cast<std::size_t>(blockSize);
    std::vector<std::vector<float>> ins(std::max<aeLong>(plugin.inputs(), 1),
                                        std::vector<float>(block));
    std::vector<std::vector<float>> outs(static_cast<std::size_t>(plugin.outputs()),
                                         std::vector<float>(block));
    std::mt19937 rng(1);
    std::uniform_real_distribution<float> noise(-0.5f, 0.5f);
    for (auto& b : ins)
        for (float& s : b) s = noise(rng);
    std::vector<float*> inPointers, outPointers;
    for (auto& b : ins) inPointers.push_back(b.data());
    for (auto& b : outs) outPointers.push_back(b.data());

    plugin.configure(static_cast<float>(sampleRate), blockSize);
    plugin.setMains(true);
    for (bool replacing : {true, false}) {
        if (replacing && !plugin.canReplace()) continue;
        using Clock = std::chrono::steady_clock;
        // Warm up, then measure whole blocks until the time is reached.
        for (int i = 0; i < 64; ++i)
            plugin.process(inPointers.data(), outPointers.data(), blockSize, replacing);
        std::int64_t frames = 0;
        const auto start = Clock::now();
        double elapsed = 0.0;
        while (elapsed < seconds) {
            for (int i = 0; i < 16; ++i)
                plugin.process(inPointers.data(), outPointers.data(), blockSize, replacing);
            frames += 16 * blockSize;
            elapsed = std::chrono::duration<double>(Clock::now() - start).count();
        }
        const double fps = static_cast<double>(frames) / elapsed;
        char line[160];
        std::snprintf(line, sizeof line,
                      "%-10s block %5d: %12.0f frames/s, %8.1f x real time at %.0f Hz\n",
                      replacing ? "replace" : "accumulate", static_cast<int>(blockSize), fps,
                      fps / sampleRate, sampleRate);
        out << line;
    }
    plugin.setMains(false);
}
