// The `render` command: audio from a file or an embedded signal through a
// module, or a chain of modules, into a file, a pipe or standard output. The
// host drives each instance as a studio host does: sample rate, block size,
// program, parameters, mains on, the blocks, mains off. Automation events
// take effect at their exact frame (the block is split there), and a tail of
// silence may follow the input so that the effect's ring is not cut off.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "automation.h"
#include "chain.h"
#include "command.h"
#include "input.h"
#include "output.h"

namespace {

struct Args {
    std::vector<std::string> files;  // the modules, then the input file
    std::string output, signal = "noise", mode = "replace", format, automate;
    std::string seconds = "10", rate = "44100", channel = "0", block = "512", tail = "0";
    SettingsOptions settings;
    bool quiet = false;
    CLI::App* app = nullptr;
};

// What the command line asks for, checked before anything is loaded.
struct Plan {
    std::vector<std::string> modules;
    std::string input;  // empty: the embedded signal
    std::string signal;
    std::string automate;  // the automation file, or empty
    double seconds = 0.0, rate = 0.0, tail = 0.0;
    int channel = 0;
    aeLong block = 0;
    bool replacing = true;
    OutputFormat format;
    std::vector<ModuleSettings> settings;
};

// A module is a shared object; a name that does not exist yet counts as one
// when it ends like one.
bool looksLikeModule(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return path.size() > 3 && path.compare(path.size() - 3, 3, ".so") == 0;
    char magic[4] = {};
    in.read(magic, 4);
    return in.gcount() == 4 && magic[0] == 0x7F && magic[1] == 'E' && magic[2] == 'L' &&
           magic[3] == 'F';
}

Plan planOf(const Args& a) {
    Plan p;
    p.modules = a.files;
    if (p.modules.size() >= 2 && !looksLikeModule(p.modules.back())) {
        p.input = p.modules.back();
        p.modules.pop_back();
    }
    const bool file = !p.input.empty();
    for (const char* option : {"--seconds", "--rate", "--signal"})
        if (file && a.app->count(option))
            throw UsageError(
                std::string(option) +
                " sets up the embedded signal; it has no effect with the input file '" + p.input +
                "'");
    if (!file && a.app->count("--channel"))
        throw UsageError("--channel picks a channel of an input file; the embedded signal has one");

    p.signal = a.signal;
    p.seconds = parseNumber("--seconds", a.seconds, 0.0, 86400.0);
    p.rate = static_cast<double>(parseWhole("--rate", a.rate, 1000, 768000));
    p.tail = parseNumber("--tail", a.tail, 0.0, 86400.0);
    if (file && a.app->count("--channel"))
        p.channel = static_cast<int>(parseWhole("--channel", a.channel, 1, 4096));
    p.automate = a.automate;
    p.block = static_cast<aeLong>(parseWhole("--block", a.block, 1, 65536));
    p.replacing = a.mode == "replace";
    p.format = chooseFormat(a.output, a.format);
    p.settings = a.settings.parse(p.modules.size());
    if (!file) {
        checkSignal(p.signal, p.rate);
        if (std::llround(p.seconds * p.rate) < 1)
            throw UsageError("--seconds " + a.seconds + " gives no frames at " + a.rate + " Hz");
    }
    return p;
}

// Loads the chain; a module that will not load but is an audio file was
// most likely given in the input's place.
std::unique_ptr<Chain> loadChain(const Plan& p) {
    try {
        return std::make_unique<Chain>(p.modules);
    } catch (const NotAModule& e) {
        for (const std::string& m : p.modules)
            if (isAudioFile(m))
                throw HostError("'" + m +
                                "' is an audio file, not a module: the modules come first, the "
                                "input last (render MODULE... [INPUT] -o OUTPUT)");
        throw;
    }
}

void drawProgress(std::int64_t done, std::int64_t total) {
    constexpr int kWidth = 40;
    const std::int64_t whole = std::max<std::int64_t>(total, 1);
    const int filled = static_cast<int>(kWidth * done / whole);
    std::fprintf(stderr, "\r[%.*s%*s] %3d%%", filled, "########################################",
                 kWidth - filled, "", static_cast<int>(100 * done / whole));
    std::fflush(stderr);
}

int render(const Plan& p, OutputTarget& target, bool quiet) {
    const std::unique_ptr<Source> source =
        p.input.empty() ? makeSignal(p.signal, std::llround(p.seconds * p.rate), p.rate)
                        : openInputFile(p.input, p.channel);
    const double rate = source->sampleRate();
    std::vector<AutomationEvent> events;
    if (!p.automate.empty()) events = readAutomation(p.automate, rate);

    const std::unique_ptr<Chain> chain = loadChain(p);
    for (std::size_t i = 0; i < chain->size(); ++i)
        applySettings(chain->plugin(i), p.settings[i], p.modules[i]);
    for (const AutomationEvent& e : events) {
        if (static_cast<std::size_t>(e.module) >= chain->size())
            throw HostError("automation file '" + p.automate + "', line " + std::to_string(e.line) +
                            ": module " + std::to_string(e.module + 1) +
                            " is beyond the chain of " + std::to_string(chain->size()));
        warnAboutParameter(chain->plugin(static_cast<std::size_t>(e.module)), e.index, e.value,
                           "automation line " + std::to_string(e.line));
    }
    chain->prepare(static_cast<float>(rate), p.block, p.replacing);

    const std::int64_t promised = source->frames();
    const std::int64_t tail = std::llround(p.tail * rate);
    std::int64_t total = promised + tail;
    OutputFile output(target, p.format, static_cast<int>(std::lround(rate)), chain->outputs(),
                      total, p.block);

    const int channels = source->channels();
    std::vector<std::vector<float>> in(static_cast<std::size_t>(channels),
                                       std::vector<float>(static_cast<std::size_t>(p.block)));
    std::vector<float*> inPointers;
    for (auto& b : in) inPointers.push_back(b.data());

    const bool progress = !quiet && isatty(STDERR_FILENO);
    const auto start = std::chrono::steady_clock::now();
    auto lastDrawn = start;
    std::size_t nextEvent = 0;
    std::int64_t pos = 0, taken = 0;
    bool inputEnded = false;
    chain->setMains(true);
    while (pos < total) {
        checkInterrupted();
        for (; nextEvent < events.size() && events[nextEvent].frame <= pos; ++nextEvent) {
            const AutomationEvent& e = events[nextEvent];
            chain->plugin(static_cast<std::size_t>(e.module)).setParameter(e.index, e.value);
        }
        // A block ends at the block size, the end of the output or the next event.
        std::int64_t frames = std::min<std::int64_t>(p.block, total - pos);
        if (nextEvent < events.size()) frames = std::min(frames, events[nextEvent].frame - pos);

        const std::int64_t got = inputEnded ? 0 : source->read(inPointers.data(), frames);
        taken += got;
        if (!inputEnded && got < frames) {
            inputEnded = true;
            if (taken < promised) {
                std::fprintf(stderr,
                             "plughost: warning: input '%s' ends after %lld frames; its header "
                             "promises %lld\n",
                             p.input.c_str(), static_cast<long long>(taken),
                             static_cast<long long>(promised));
                total = taken + tail;
                frames = std::min(frames, total - pos);
                if (frames <= 0) break;
            }
        }
        for (auto& b : in) std::fill(b.begin() + got, b.begin() + frames, 0.0f);  // the tail

        const float* const* out =
            chain->process(inPointers.data(), channels, static_cast<aeLong>(frames));
        output.append(out, frames);
        pos += frames;

        if (progress) {
            const auto now = std::chrono::steady_clock::now();
            if (now - lastDrawn > std::chrono::milliseconds(100) || pos == total) {
                drawProgress(pos, total);
                lastDrawn = now;
            }
        }
    }
    chain->setMains(false);
    if (progress) std::fputc('\n', stderr);
    if (nextEvent < events.size())
        std::fprintf(stderr,
                     "plughost: warning: %zu automation event(s) from line %d on fall after the "
                     "end of the output and were not applied\n",
                     events.size() - nextEvent, events[nextEvent].line);
    output.commit();

    const double seconds = static_cast<double>(pos) / rate;
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    // With the audio on standard output, the summary goes with the messages.
    FILE* summary = target.toStandardOutput() ? stderr : stdout;
    std::fprintf(summary, "frames %lld, %.3f s of audio; peak", static_cast<long long>(pos),
                 seconds);
    for (int c = 0; c < chain->outputs(); ++c)
        std::fprintf(summary, " %.6f", output.levels().peakOf(c));
    std::fprintf(summary, "; RMS");
    for (int c = 0; c < chain->outputs(); ++c)
        std::fprintf(summary, " %.6f", output.levels().rmsOf(c));
    std::fprintf(summary, "; wall %.3f s, %.1fx real time\n", wall,
                 wall > 0 ? seconds / wall : 0.0);
    return 0;
}

int runRender(const Args& a) {
    Plan plan = planOf(a);
    OutputTarget target(a.output);
    // Should plughost itself be killed, the child still removes what it was writing.
    const int status = runGuarded(
        [&] {
            try {
                return render(plan, target, a.quiet);
            } catch (...) {
                target.discard();
                throw;
            }
        },
        nullptr, SIGTERM);
    // Whatever happened in the child: no partial file stays behind.
    target.discard();
    return status;
}

}  // namespace

Command addRenderCommand(CLI::App& app) {
    auto a = std::make_shared<Args>();
    auto* r = app.add_subcommand(
        "render", "render audio through a module, or a chain of modules, into a file");
    a->app = r;
    r->add_option("MODULE... [INPUT]", a->files,
                  "the module files, in the order the audio goes through them, then the input "
                  "file (any format libsndfile reads); without an input file, the embedded signal")
        ->required();
    r->add_option("-o,--output", a->output,
                  "output file, pipe or device; '-' for standard output. The format follows the "
                  "extension: .wav, .rf64, .aiff, .w64, .flac, .ogg (others: WAV)")
        ->required()
        ->allow_extra_args(false);
    r->add_option("--signal", a->signal,
                  "embedded input without an input file: noise, saw, impulse or sine:HZ")
        ->capture_default_str();
    r->add_option("--seconds", a->seconds, "length of the embedded signal, up to 86400")
        ->capture_default_str();
    r->add_option("--rate", a->rate, "sample rate of the embedded signal, 1000 to 768000 Hz")
        ->capture_default_str();
    r->add_option("--channel", a->channel,
                  "take only this channel of the input file, from 1 (by default a file with as "
                  "many channels as the first module has inputs is fed channel for channel, "
                  "others are mixed down)");
    r->add_option("--tail", a->tail, "seconds of silence processed after the input ends")
        ->capture_default_str();
    r->add_option("--block", a->block, "block size in frames, 1 to 65536")->capture_default_str();
    r->add_option("--mode", a->mode, "replace or accumulate")
        ->check(CLI::IsMember({"replace", "accumulate"}))
        ->capture_default_str();
    a->settings.addTo(*r, true);
    r->add_option("--automate", a->automate,
                  "file of 'SECONDS [M:]INDEX VALUE' lines, each applied at its exact frame");
    r->add_option("--format", a->format,
                  "samples: float, pcm16 or pcm24; or flac, vorbis (default: float, 24-bit for "
                  ".flac)");
    r->add_flag("-q,--quiet", a->quiet, "no progress bar (the summary line stays)");
    return {r, [a] { return runRender(*a); }};
}
