// plughost: a command-line host for effect modules of this interface. It
// loads a module as a studio host does and uses only what the record offers.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <iostream>

#include "audio.h"
#include "info.h"
#include "module.h"
#include "render.h"
#include "validate.h"

namespace {

std::atomic<bool> interrupted{false};

void onSignal(int) { interrupted = true; }

std::pair<aeLong, float> parseParameter(const std::string& text) {
    const auto eq = text.find('=');
    char* end = nullptr;
    if (eq != std::string::npos) {
        const long index = std::strtol(text.c_str(), &end, 10);
        if (end == text.c_str() + eq && eq > 0 && index >= INT32_MIN && index <= INT32_MAX) {
            const char* valueText = text.c_str() + eq + 1;
            const float value = std::strtof(valueText, &end);
            if (end != valueText && *end == '\0' && std::isfinite(value))
                return {static_cast<aeLong>(index), value};
        }
    }
    throw HostError("--param '" + text + "': expected INDEX=VALUE, e.g. 5=0.5");
}

struct RenderArgs {
    std::string module, input, output, signal = "noise", mode = "replace", format = "float",
                                       automate;
    double seconds = 10.0, rate = 44100.0;
    int channel = 0, block = 512, program = -1;
    std::vector<std::string> params;
    bool quiet = false;
};

int runRender(const RenderArgs& a) {
    const std::unique_ptr<MonoSource> input =
        a.input.empty() ? makeSignal(a.signal, a.seconds, a.rate) : openInput(a.input, a.channel);
    RenderSettings settings;
    settings.blockSize = a.block;
    settings.replacing = a.mode == "replace";
    for (const auto& p : a.params) settings.parameters.push_back(parseParameter(p));
    if (!a.automate.empty()) settings.automation = readAutomation(a.automate, input->sampleRate());
    settings.progress = !a.quiet && isatty(STDERR_FILENO);
    const OutputFormat format = parseOutputFormat(a.format);

    LoadedModule module(a.module);
    Plugin plugin(module);
    if (a.program >= plugin.record().numPrograms)
        throw HostError("--program " + std::to_string(a.program) +
                        " is out of range: the module has " +
                        std::to_string(plugin.record().numPrograms) + " program(s)");
    settings.program = a.program;
    auto warnUnannounced = [&](aeLong index) {
        if (index < 0 || index >= plugin.record().numParams)
            std::fprintf(stderr, "plughost: warning: parameter %d is not announced by the module\n",
                         static_cast<int>(index));
    };
    for (auto [index, value] : settings.parameters) warnUnannounced(index);
    for (const auto& e : settings.automation) warnUnannounced(e.index);
    checkChannelCounts(plugin);

    OutputFile output(a.output, format, input->sampleRate(), plugin.outputs(), a.block);
    const RenderSummary s = render(plugin, *input, settings, output, interrupted);
    output.commit();

    std::printf("frames %lld, %.3f s of audio; peak", static_cast<long long>(s.frames), s.seconds);
    for (int c = 0; c < plugin.outputs(); ++c) std::printf(" %.6f", output.levels().peakOf(c));
    std::printf("; RMS");
    for (int c = 0; c < plugin.outputs(); ++c) std::printf(" %.6f", output.levels().rmsOf(c));
    std::printf("; wall %.3f s, %.1fx real time\n", s.wallSeconds,
                s.wallSeconds > 0 ? s.seconds / s.wallSeconds : 0.0);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"plughost: load an effect module, inspect it and render audio through it"};
    app.require_subcommand(1);

    std::string infoModule;
    bool json = false;
    auto* info = app.add_subcommand("info", "describe the record, parameters and programs");
    info->add_option("MODULE", infoModule, "the module file")->required();
    info->add_flag("--json", json, "print JSON for scripts");

    RenderArgs r;
    auto* render = app.add_subcommand("render", "render audio through the module");
    render->add_option("MODULE", r.module, "the module file")->required();
    render->add_option("INPUT", r.input, "input audio file (any format libsndfile reads)");
    render->add_option("-o,--output", r.output, "output file")->required();
    render
        ->add_option("--signal", r.signal,
                     "embedded input without INPUT: noise, saw, impulse, sine:HZ")
        ->capture_default_str();
    render->add_option("--seconds", r.seconds, "length of the embedded input")
        ->check(CLI::Range(1e-6, 86400.0))
        ->capture_default_str();
    render->add_option("--rate", r.rate, "sample rate of the embedded input")
        ->check(CLI::Range(1000.0, 768000.0))
        ->capture_default_str();
    render->add_option("--channel", r.channel, "input channel to take, from 1 (default: mix all)")
        ->check(CLI::Range(1, 4096));
    render->add_option("--block", r.block, "block size in frames")
        ->check(CLI::Range(1, 65536))
        ->capture_default_str();
    render->add_option("--mode", r.mode, "replace or accumulate")
        ->check(CLI::IsMember({"replace", "accumulate"}))
        ->capture_default_str();
    render->add_option("--program", r.program, "program to select first")
        ->check(CLI::Range(0, 1 << 30));
    render->add_option("--param", r.params, "INDEX=VALUE, applied in order after the program");
    render->add_option("--automate", r.automate, "file of 'SECONDS INDEX VALUE' lines");
    render->add_option("--format", r.format, "float, pcm16, pcm24 or flac")
        ->check(CLI::IsMember({"float", "pcm16", "pcm24", "flac"}))
        ->capture_default_str();
    render->add_flag("-q,--quiet", r.quiet, "no progress bar");

    std::string benchModule;
    int benchBlock = 512;
    double benchSeconds = 1.0, benchRate = 44100.0;
    auto* bench = app.add_subcommand("bench", "measure processing speed");
    bench->add_option("MODULE", benchModule, "the module file")->required();
    bench->add_option("--block", benchBlock, "block size in frames")
        ->check(CLI::Range(1, 65536))
        ->capture_default_str();
    bench->add_option("--seconds", benchSeconds, "measuring time per case")
        ->check(CLI::Range(0.01, 600.0))
        ->capture_default_str();
    bench->add_option("--rate", benchRate, "sample rate for the real-time multiple")
        ->check(CLI::Range(1000.0, 768000.0))
        ->capture_default_str();

    std::string validateModulePath;
    bool validateJson = false;
    auto* validate = app.add_subcommand("validate", "check the module category by category");
    validate->add_option("MODULE", validateModulePath, "the module file")->required();
    validate->add_flag("--json", validateJson, "print JSON for scripts");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == 0) return app.exit(e);  // --help
        std::fprintf(stderr, "plughost: error: %s (see --help)\n", e.what());
        return 2;
    }

    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    try {
        if (*info) {
            LoadedModule module(infoModule);
            Plugin plugin(module);
            printInfo(plugin, json, std::cout);
        } else if (*render) {
            return runRender(r);
        } else if (*validate) {
            LoadedModule module(validateModulePath);
            return validateModule(module, validateJson, std::cout) ? 0 : 1;
        } else if (*bench) {
            LoadedModule module(benchModule);
            Plugin plugin(module);
            printBench(plugin, benchRate, benchBlock, benchSeconds, std::cout);
        }
    } catch (const HostError& e) {
        std::fprintf(stderr, "plughost: error: %s\n", e.what());
        return 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "plughost: error: %s\n", e.what());
        return 1;
    }
    return 0;
}
