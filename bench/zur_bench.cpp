// Speed of the signal path against the limit of its recursion.
//
// Each frame's output depends on the previous frame's state, so the path
// cannot run faster than the latency of that dependency chain. The limit
// kernels below are that chain alone, with exactly the effect's numerics
// (double intermediates, every stored state rounded to float), state in
// registers, constant coefficients and nothing else. Every case of the effect
// is reported as a ratio to the kernel with the same number of sections,
// measured in the same run.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "zur.h"

namespace {

std::vector<float> noise(std::size_t frames) {
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> dist(-0.5f, 0.5f);
    std::vector<float> v(frames);
    for (float& s : v) s = dist(rng);
    return v;
}

// Coefficients of the effect right after creation, near 0.1 of the Nyquist frequency.
constexpr float kG1 = 0.09996765f, kA11 = -1.855377f, kA12 = 0.9553450f;
constexpr float kG2 = 0.08101302f, kA21 = -1.840698f, kA22 = 0.9217106f;

template <bool fourPole>
[[gnu::noinline]] void limitKernel(const float* in, float* out0, float* out1, int frames,
                                   float* state) {
    float z1 = state[0], z2 = state[1], q1 = state[2], q2 = state[3];
    for (int n = 0; n < frames; ++n) {
        const double u = (static_cast<double>(in[n]) + 0.0001) * kG1;
        const float s1 = z1;
        const double y1 = u + s1;
        const float next2 = static_cast<float>(-kA12 * y1);
        z1 = static_cast<float>(z2 - kA11 * y1);
        z2 = next2;
        if constexpr (fourPole) {
            const float s2 = q1;
            const double y2 = kG2 * static_cast<double>(s1) + s2;
            const float section2Next2 = static_cast<float>(-kA22 * y2);
            q1 = static_cast<float>(q2 - kA21 * y2);
            q2 = section2Next2;
            const auto o = static_cast<float>(u + s2);
            out0[n] = o;
            out1[n] = o;
        } else {
            out0[n] = static_cast<float>(y1);
            out1[n] = static_cast<float>(y1);
        }
    }
    state[0] = z1;
    state[1] = z2;
    state[2] = q1;
    state[3] = q2;
}

void setRate(benchmark::State& state, int block) {
    state.SetItemsProcessed(state.iterations() * block);
    // Frames per iteration, for the summary's time per frame.
    state.counters["frames"] = block;
}

template <bool fourPole>
void BM_Limit(benchmark::State& state) {
    const int block = static_cast<int>(state.range(0));
    const auto in = noise(static_cast<std::size_t>(block));
    std::vector<float> out0(in.size()), out1(in.size());
    float st[4] = {};
    for (auto _ : state) {
        limitKernel<fourPole>(in.data(), out0.data(), out1.data(), block, st);
        benchmark::DoNotOptimize(out0.data());
    }
    setRate(state, block);
}

// Effect cases: range(0) block, range(1) 4-pole?, range(2) sweep 0/1/2,
// range(3) replacing?, range(4) silent input?
void BM_Effect(benchmark::State& state) {
    const int block = static_cast<int>(state.range(0));
    ZUR effect(nullptr);
    effect.setParameter(ZUR::kPoleSwitchIndex, state.range(1) ? 0.0f : 1.0f);
    effect.setParameter(5, state.range(2) == 0 ? 0.0f : state.range(2) == 1 ? 0.5f : 0.9f);
    auto in = noise(static_cast<std::size_t>(block));
    if (state.range(4)) std::fill(in.begin(), in.end(), 0.0f);
    std::vector<float> out0(in.size()), out1(in.size());
    float* inputs[] = {in.data()};
    float* outputs[] = {out0.data(), out1.data()};
    const bool replacing = state.range(3) != 0;
    for (auto _ : state) {
        if (replacing)
            effect.processReplacing(inputs, outputs, block);
        else
            effect.process(inputs, outputs, block);
        benchmark::DoNotOptimize(out0.data());
    }
    setRate(state, block);
}

}  // namespace

// The fastest repetition: on a shared machine other work only ever adds time,
// so the minimum is the steadiest estimate of what the code itself costs.
double fastest(const std::vector<double>& times) {
    return times.empty() ? 0.0 : *std::min_element(times.begin(), times.end());
}

BENCHMARK_TEMPLATE(BM_Limit, true)
    ->Name("limit/4pole")
    ->Arg(32)
    ->Arg(512)
    ->Arg(4096)
    ->ComputeStatistics("min", fastest);
BENCHMARK_TEMPLATE(BM_Limit, false)
    ->Name("limit/2pole")
    ->Arg(32)
    ->Arg(512)
    ->Arg(4096)
    ->ComputeStatistics("min", fastest);
BENCHMARK(BM_Effect)
    ->Name("zur")
    ->ComputeStatistics("min", fastest)
    ->ArgNames({"block", "4pole", "sweep", "replace", "silent"})
    ->ArgsProduct({{32, 512, 4096}, {0, 1}, {0, 1, 2}, {0, 1}, {0}})
    ->Args({512, 1, 0, 1, 1})
    ->Args({512, 1, 2, 1, 1})
    ->Args({512, 0, 2, 1, 1});

namespace {

// Collects the time per frame of every case while the console shows them:
// with repetitions their fastest, else the single run.
class Collector : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.error_occurred ||
                (run.run_type == Run::RT_Aggregate && run.aggregate_name != "min") ||
                (run.run_type == Run::RT_Iteration && run.repetitions > 1))
                continue;
            const auto frames = run.counters.find("frames");
            if (frames == run.counters.end()) continue;
            nsPerFrame[run.run_name.str()] = run.GetAdjustedRealTime() / frames->second.value;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> nsPerFrame;
};

std::string effectName(int block, bool fourPole, int sweep, bool replace, bool silent) {
    return "zur/block:" + std::to_string(block) + "/4pole:" + (fourPole ? "1" : "0") +
           "/sweep:" + std::to_string(sweep) + "/replace:" + (replace ? "1" : "0") +
           "/silent:" + (silent ? "1" : "0");
}

// The ratios and the three targets, all at block size 512 unless stated.
bool printSummary(const std::map<std::string, double>& t) {
    auto at = [&](const std::string& name) {
        const auto it = t.find(name);
        return it == t.end() ? 0.0 : it->second;
    };
    bool ok = true;
    std::printf("\n%-44s %9s %11s %12s %9s\n", "case (block 512)", "ns/frame", "Mframes/s",
                "x real time", "vs limit");
    const char* sweeps[] = {"OFF", "Triangle", "Sin"};
    for (int poles : {4, 2})
        for (int replace : {1, 0})
            for (int sweep = 0; sweep < 3; ++sweep) {
                const double ns = at(effectName(512, poles == 4, sweep, replace, false));
                const double limit =
                    at(std::string("limit/") + (poles == 4 ? "4pole" : "2pole") + "/512");
                if (ns == 0.0 || limit == 0.0) continue;
                const double ratio = ns / limit;
                const bool good = ratio <= 1.3;
                ok = ok && good;
                char label[64];
                std::snprintf(label, sizeof label, "%d-pole %s, sweep %s", poles,
                              replace ? "processReplacing" : "process", sweeps[sweep]);
                std::printf("%-44s %9.3f %11.1f %12.0f %8.2fx %s\n", label, ns, 1e3 / ns,
                            1e9 / ns / 44100.0, ratio, good ? "" : "  over 1.3");
            }
    std::printf("\nblock 32 against block 4096, per frame (target at most 1.25):\n");
    for (int poles : {4, 2})
        for (int sweep = 0; sweep < 3; ++sweep) {
            const double small = at(effectName(32, poles == 4, sweep, true, false));
            const double large = at(effectName(4096, poles == 4, sweep, true, false));
            if (small == 0.0 || large == 0.0) continue;
            const bool good = small / large <= 1.25;
            ok = ok && good;
            std::printf("  %d-pole, sweep %-8s %6.2fx%s\n", poles, sweeps[sweep], small / large,
                        good ? "" : "  over 1.25");
        }
    std::printf("\nsilent input against noise, per frame (target at most 1.10):\n");
    for (auto [poles, sweep] : {std::pair{4, 0}, std::pair{4, 2}, std::pair{2, 2}}) {
        const double silent = at(effectName(512, poles == 4, sweep, true, true));
        const double noisy = at(effectName(512, poles == 4, sweep, true, false));
        if (silent == 0.0 || noisy == 0.0) continue;
        const bool good = silent / noisy <= 1.10;
        ok = ok && good;
        std::printf("  %d-pole, sweep %-8s %6.2fx%s\n", poles, sweeps[sweep], silent / noisy,
                    good ? "" : "  over 1.10");
    }
    std::printf("\n%s\n", ok ? "all targets met" : "some targets missed");
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    Collector collector;
    benchmark::RunSpecifiedBenchmarks(&collector);
    benchmark::Shutdown();
    printSummary(collector.nsPerFrame);
    return 0;
}
