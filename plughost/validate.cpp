// The `validate` command: a module checked from outside, through its record
// only, category by category. Each category runs in a child process of its
// own, as the validators plug-in developers use do, so that a module that
// crashes fails that category and the others still run.
#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <functional>
#include <iostream>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "command.h"
#include "report.h"

namespace {

// Buffer sizes a host provides for texts, zero byte included.
constexpr std::size_t kNameSize = 13, kLabelSize = 17, kDisplaySize = 20, kProgramNameSize = 24;

struct Outcome {
    bool passed = true;
    std::string detail;
    std::string information;  // a figure that is no verdict
    void fail(const std::string& why) {
        if (passed) detail = why;
        passed = false;
    }
};

using Channels = std::vector<std::vector<float>>;

std::vector<float> noise(std::size_t frames, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> dist(-0.5f, 0.5f);
    std::vector<float> v(frames);
    for (float& s : v) s = dist(rng);
    return v;
}

// Processes `input` (fed to every input) in blocks of the given lengths,
// cycling through them; outputs start at `start`.
Channels run(const Plugin& p, const std::vector<float>& input,
             const std::vector<std::size_t>& blocks, bool replacing, float start = 0.0f,
             bool inPlace = false) {
    const auto outputs = static_cast<std::size_t>(p.outputs());
    Channels out(outputs, std::vector<float>(input.size(), start));
    std::vector<std::vector<float>> in(
        std::max<std::size_t>(static_cast<std::size_t>(p.inputs()), 1));
    std::size_t pos = 0;
    for (std::size_t b = 0; pos < input.size(); ++b) {
        const std::size_t len = std::min(blocks[b % blocks.size()], input.size() - pos);
        std::vector<float*> ins, outs;
        for (auto& c : out) outs.push_back(c.data() + pos);
        for (auto& c : in) {
            c.assign(input.begin() + static_cast<std::ptrdiff_t>(pos),
                     input.begin() + static_cast<std::ptrdiff_t>(pos + len));
            ins.push_back(c.data());
        }
        if (inPlace) {
            std::copy_n(in[0].begin(), len, outs[0]);
            ins[0] = outs[0];
        }
        p.process(ins.data(), outs.data(), static_cast<aeLong>(len), replacing);
        pos += len;
    }
    return out;
}

// The first sample that is not finite or beyond full scale, as a reason.
std::string unbounded(const Channels& out, float start = 0.0f) {
    for (std::size_t c = 0; c < out.size(); ++c)
        for (std::size_t n = 0; n < out[c].size(); ++n) {
            const double v = static_cast<double>(out[c][n]) - start;
            if (!(std::fabs(v) <= 1.0 + 1e-5))
                return "channel " + std::to_string(c) + " sample " + std::to_string(n) + " is " +
                       std::to_string(out[c][n]);
        }
    return "";
}

bool textWithin(const char* buffer, std::size_t size) {
    return std::memchr(buffer, 0, size) != nullptr;
}

struct Category {
    const char* name;
    std::function<void(const LoadedModule&, Outcome&)> check;
};

// What a host saves of an instance: the program and every announced value.
struct Saved {
    aeLong program = 0;
    std::vector<float> values;
};

Saved readBack(const Plugin& p) {
    Saved s;
    s.program = static_cast<aeLong>(p.dispatch(effGetProgram));
    for (aeLong i = 0; i < p.record().numParams; ++i) s.values.push_back(p.getParameter(i));
    return s;
}

// A random program, then random values for every announced parameter;
// answers what was set.
Saved configureAtRandom(const Plugin& p, std::mt19937& rng) {
    Saved s;
    p.configure(44100.0f, 512);
    if (p.record().numPrograms > 0) {
        s.program = static_cast<aeLong>(rng() % static_cast<unsigned>(p.record().numPrograms));
        p.dispatch(effSetProgram, 0, s.program);
    }
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    for (aeLong i = 0; i < p.record().numParams; ++i) {
        s.values.push_back(unit(rng));
        p.setParameter(i, s.values.back());
    }
    p.setMains(true);
    return s;
}

void restoreAsHostsDo(const Plugin& p, const Saved& s) {
    p.configure(44100.0f, 512);
    p.setMains(true);
    for (std::size_t i = 0; i < s.values.size(); ++i)
        p.setParameter(static_cast<aeLong>(i), s.values[i]);
    p.setMains(true);
}

void compareValues(const Saved& expected, const Saved& actual, const std::string& what,
                   Outcome& o) {
    for (std::size_t i = 0; i < expected.values.size(); ++i)
        if (!(actual.values[i] == expected.values[i])) {
            char text[200];
            std::snprintf(text, sizeof text, "%s: parameter %zu reads back %.9g instead of %.9g",
                          what.c_str(), i, static_cast<double>(actual.values[i]),
                          static_cast<double>(expected.values[i]));
            o.fail(text);
            return;
        }
}

double largestDifference(const Channels& a, const Channels& b) {
    double largest = 0.0;
    for (std::size_t c = 0; c < a.size(); ++c)
        for (std::size_t n = 0; n < a[c].size(); ++n) {
            const double d = std::fabs(static_cast<double>(a[c][n]) - b[c][n]);
            largest = d > largest || d != d ? d : largest;
        }
    return largest;
}

const Category kCategories[] = {
    {"record",
     [](const LoadedModule& m, Outcome& o) {
         Plugin p(m);
         const AEffect& e = p.record();
         if (e.magic != kEffectMagic) o.fail("wrong magic");
         if (e.numInputs < 0 || e.numInputs > 64) o.fail("inputs " + std::to_string(e.numInputs));
         if (e.numOutputs < 1 || e.numOutputs > 64)
             o.fail("outputs " + std::to_string(e.numOutputs));
         if (e.numParams < 0 || e.numPrograms < 0) o.fail("negative parameter or program count");
         if (!e.dispatcher || !e.process || !e.setParameter || !e.getParameter)
             o.fail("a function entry is null");
         if ((e.flags & effFlagsCanReplacing) && !e.processReplacing)
             o.fail("replacing announced but its entry is null");
         o.detail = std::to_string(e.numInputs) + " in, " + std::to_string(e.numOutputs) +
                    " out, " + std::to_string(e.numParams) + " parameters, " +
                    std::to_string(e.numPrograms) + " programs";
     }},
    {"open/close x100",
     [](const LoadedModule& m, Outcome& o) {
         for (int i = 0; i < 100; ++i) {
             Plugin p(m);
             p.setMains(true);
             p.setMains(false);
         }
         o.detail = "100 instances opened and closed";
     }},
    {"rates and block sizes",
     [](const LoadedModule& m, Outcome& o) {
         const auto input = noise(20000, 1);
         for (float rate : {22050.0f, 44100.0f, 48000.0f, 88200.0f, 96000.0f, 192000.0f})
             for (std::size_t block : {1, 7, 64, 511, 512, 1000, 4096, 8192})
                 for (bool replacing : {true, false}) {
                     Plugin p(m);
                     if (replacing && !p.canReplace()) continue;
                     p.configure(rate, static_cast<aeLong>(block));
                     p.setMains(true);
                     const std::string why = unbounded(run(p, input, {block}, replacing));
                     if (!why.empty())
                         o.fail(std::to_string(static_cast<int>(rate)) + " Hz, block " +
                                std::to_string(block) + ": " + why);
                 }
         o.detail = o.passed ? "22050 to 192000 Hz, blocks 1 to 8192" : o.detail;
     }},
    {"accumulate adds",
     [](const LoadedModule& m, Outcome& o) {
         const auto input = noise(5000, 2);
         Plugin a(m), b(m);
         const Channels silence = run(a, input, {512}, false, 0.0f);
         const Channels held = run(b, input, {512}, false, 0.5f);
         for (std::size_t c = 0; c < silence.size(); ++c)
             for (std::size_t n = 0; n < input.size(); ++n)
                 if (std::fabs(static_cast<double>(held[c][n]) - 0.5 - silence[c][n]) > 1e-6) {
                     o.fail("channel " + std::to_string(c) + " sample " + std::to_string(n) +
                            ": into 0.5 gave " + std::to_string(held[c][n]) + ", into silence " +
                            std::to_string(silence[c][n]));
                     return;
                 }
         o.detail = "output into 0.5 is output into silence plus 0.5";
     }},
    {"input is an output",
     [](const LoadedModule& m, Outcome& o) {
         const auto input = noise(5000, 3);
         for (bool replacing : {true, false}) {
             Plugin a(m), b(m);
             if (replacing && !a.canReplace()) continue;
             // Accumulating into the input itself adds the output to the input.
             const Channels separate = run(a, input, {512}, replacing, 0.0f);
             const Channels shared = run(b, input, {512}, replacing, 0.0f, true);
             for (std::size_t n = 0; n < input.size(); ++n) {
                 const double expected =
                     replacing ? separate[0][n] : static_cast<double>(separate[0][n]) + input[n];
                 if (std::fabs(shared[0][n] - expected) > 1e-6) {
                     o.fail(std::string(replacing ? "replacing" : "accumulating") + ", sample " +
                            std::to_string(n) + " differs");
                     return;
                 }
             }
         }
         o.detail = "same output with the input in an output buffer";
     }},
    {"blocks change nothing",
     [](const LoadedModule& m, Outcome& o) {
         const auto input = noise(30000, 4);
         Plugin a(m), b(m);
         const bool replacing = a.canReplace();
         std::vector<std::size_t> random;
         std::mt19937 rng(5);
         for (int i = 0; i < 200; ++i) random.push_back(1 + rng() % 700);
         if (run(a, input, {30000}, replacing) != run(b, input, random, replacing))
             o.fail("a stream processed in random blocks differs from the whole");
         o.detail = o.passed ? "whole stream and random blocks give identical samples" : o.detail;
     }},
    {"parameter fuzz",
     [](const LoadedModule& m, Outcome& o) {
         std::mt19937 rng(6);
         std::uniform_real_distribution<float> wide(-1.0f, 2.0f);
         const float odd[] = {std::numeric_limits<float>::quiet_NaN(),
                              std::numeric_limits<float>::infinity(),
                              -std::numeric_limits<float>::infinity(),
                              1e30f,
                              -1e30f,
                              1e-40f};
         int rounds = 0;
         for (int round = 0; round < 40; ++round, ++rounds) {
             Plugin p(m);
             for (aeLong i = 0; i < p.record().numParams; ++i)
                 p.setParameter(i, round % 4 == 3 ? odd[rng() % std::size(odd)] : wide(rng));
             const std::string why = unbounded(run(p, noise(4000, 7), {256}, p.canReplace()));
             if (!why.empty()) o.fail("round " + std::to_string(round) + ": " + why);
             for (aeLong i = 0; i < p.record().numParams; ++i)
                 if (!std::isfinite(p.getParameter(i)))
                     o.fail("parameter " + std::to_string(i) +
                            " reads back a value that is not finite");
         }
         o.detail =
             o.passed ? std::to_string(rounds) + " rounds inside and outside 0 to 1" : o.detail;
     }},
    {"texts",
     [](const LoadedModule& m, Outcome& o) {
         Plugin p(m);
         char buffer[256];
         auto check = [&](aeLong op, aeLong index, std::size_t size, const char* what) {
             std::memset(buffer, 'x', sizeof buffer);
             buffer[sizeof buffer - 1] = '\0';
             p.dispatch(op, index, 0, buffer);
             const bool touched = std::strspn(buffer, "x") != sizeof buffer - 1;
             if (touched && !textWithin(buffer, size))
                 o.fail(std::string(what) + " of parameter " + std::to_string(index) +
                        " is not terminated within " + std::to_string(size) + " bytes");
         };
         for (float v : {0.0f, 0.5f, 1.0f, -3.0f, 7.0f})
             for (aeLong i = 0; i < p.record().numParams; ++i) {
                 p.setParameter(i, v);
                 check(effGetParamName, i, kNameSize, "name");
                 check(effGetParamLabel, i, kLabelSize, "label");
                 check(effGetParamDisplay, i, kDisplaySize, "display");
             }
         for (aeLong prog = 0; prog < p.record().numPrograms; ++prog) {
             p.dispatch(effSetProgram, 0, prog);
             check(effGetProgramName, prog, kProgramNameSize, "program name");
         }
         o.detail =
             o.passed ? "names, labels, displays and program names within their buffers" : o.detail;
     }},
    {"programs",
     [](const LoadedModule& m, Outcome& o) {
         Plugin p(m);
         const aeLong count = p.record().numPrograms;
         for (aeLong prog = 0; prog < count; ++prog) {
             p.dispatch(effSetProgram, 0, prog);
             if (p.dispatch(effGetProgram) != prog)
                 o.fail("program " + std::to_string(prog) + " not selected");
             std::string name = "Check " + std::to_string(prog);
             p.dispatch(effSetProgramName, 0, 0, name.data());
         }
         for (aeLong prog = 0; prog < count; ++prog) {
             p.dispatch(effSetProgram, 0, prog);
             if (p.programName() != "Check " + std::to_string(prog))
                 o.fail("program " + std::to_string(prog) + " reads back the name '" +
                        p.programName() + "'");
         }
         o.detail = o.passed ? std::to_string(count) + " programs selected and named" : o.detail;
     }},
    {"second thread",
     [](const LoadedModule& m, Outcome& o) {
         Plugin p(m);
         p.setMains(true);
         std::atomic<bool> stop{false};
         std::thread control([&] {
             std::mt19937 rng(8);
             std::uniform_real_distribution<float> v(0.0f, 1.0f);
             char text[256];
             while (!stop)
                 for (aeLong i = 0; i < p.record().numParams; ++i) {
                     p.setParameter(i, v(rng));
                     p.dispatch(effGetParamDisplay, i, 0, text);
                 }
         });
         std::string why;
         for (int i = 0; i < 50 && why.empty(); ++i)
             why = unbounded(run(p, noise(4096, 9), {128}, p.canReplace()));
         stop = true;
         control.join();
         if (!why.empty()) o.fail(why);
         o.detail =
             o.passed ? "parameters changed from a second thread during processing" : o.detail;
     }},
    {"real-time budget",
     [](const LoadedModule& m, Outcome& o) {
         constexpr aeLong kBlock = 512;
         constexpr double kRate = 44100.0;
         Plugin p(m);
         p.configure(static_cast<float>(kRate), kBlock);
         p.setMains(true);
         const auto input = noise(kBlock, 10);
         std::vector<std::vector<float>> in(std::max<aeLong>(p.inputs(), 1), input),
             out(static_cast<std::size_t>(p.outputs()), std::vector<float>(kBlock));
         std::vector<float*> ins, outs;
         for (auto& c : in) ins.push_back(c.data());
         for (auto& c : out) outs.push_back(c.data());
         double worst = 0.0;
         for (int i = 0; i < 3000; ++i) {
             const auto t0 = std::chrono::steady_clock::now();
             p.process(ins.data(), outs.data(), kBlock, p.canReplace());
             worst = std::max(
                 worst,
                 std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
         }
         const double budget = kBlock / kRate;
         char text[128];
         std::snprintf(text, sizeof text, "worst block %.1f us of a %.0f us budget (%.1f%%)",
                       worst * 1e6, budget * 1e6, 100.0 * worst / budget);
         o.detail = text;
         if (worst >= budget) o.fail(text);
     }},
    {"state",
     [](const LoadedModule& m, Outcome& o) {
         // Two instances set differently and alive at once, saved by reading
         // back, then each restored into a fresh instance as hosts restore a
         // session: sample rate and block size, mains on, every announced
         // parameter in index order, mains on again. No program is selected.
         std::mt19937 rng(11);
         Plugin a(m), b(m);
         const Saved setA = configureAtRandom(a, rng);
         const Saved savedA = readBack(a);
         configureAtRandom(b, rng);
         const Saved savedB = readBack(b);
         if (savedA.program != setA.program)
             o.fail("program " + std::to_string(setA.program) + " was selected, but " +
                    std::to_string(savedA.program) + " reads back");
         compareValues(savedA, readBack(a), "the first instance, once the second was set", o);
         Plugin restoredA(m), restoredB(m);
         restoreAsHostsDo(restoredA, savedA);
         restoreAsHostsDo(restoredB, savedB);
         compareValues(savedA, readBack(restoredA), "the first instance, restored", o);
         compareValues(savedB, readBack(restoredB), "the second instance, restored", o);
         if (o.passed)
             o.detail = std::to_string(savedA.values.size()) +
                        " values of each of two instances read back alike after a restore";
         const auto input = noise(44100, 12);
         double largest = 0.0;
         for (auto [original, restored] : {std::pair{&a, &restoredA}, std::pair{&b, &restoredB}}) {
             const bool replacing = original->canReplace();
             largest =
                 std::max(largest, largestDifference(run(*original, input, {512}, replacing),
                                                     run(*restored, input, {512}, replacing)));
         }
         char text[160];
         std::snprintf(text, sizeof text,
                       largest == 0.0
                           ? "restored instances sound the same as the originals over 1 s "
                             "of noise"
                           : "restored instances differ from the originals by up to %g "
                             "over 1 s of noise",
                       largest);
         o.information = text;
     }},
};

// A category's outcome as the child reports it: a first line of "pass",
// "fail" or "not a module", the detail, then the information.
std::string serialise(const char* verdict, const Outcome& o) {
    return std::string(verdict) + "\n" + o.detail + "\n" + o.information;
}

struct Verdict {
    Outcome outcome;
    bool notAModule = false;
    bool hung = false;  // did not finish within the time limit
};

Verdict runCategory(const std::string& path, const Category& c, double timeLimit) {
    const ChildOutcome child = runInChild(
        [&](std::string& report) {
            Outcome o;
            try {
                LoadedModule module(path);
                c.check(module, o);
                report = serialise(o.passed ? "pass" : "fail", o);
            } catch (const NotAModule& e) {
                o.fail(e.what());
                report = serialise("not a module", o);
            } catch (const std::exception& e) {
                o.fail(e.what());
                report = serialise("fail", o);
            }
            return 0;
        },
        SIGKILL, timeLimit);
    Verdict v;
    if (child.timedOut) {
        char text[96];
        std::snprintf(text, sizeof text, "did not finish within %g s; the module was stopped",
                      timeLimit);
        v.outcome.fail(text);
        v.hung = true;
        return v;
    }
    if (child.crashed()) {
        v.outcome.fail(crashText(child.signal));
        return v;
    }
    const auto first = child.report.find('\n');
    const auto second = child.report.find('\n', first == std::string::npos ? 0 : first + 1);
    if (first == std::string::npos || second == std::string::npos) {
        v.outcome.fail("the check ended without a verdict (exit status " +
                       std::to_string(child.status) + ")");
        return v;
    }
    const std::string verdict = child.report.substr(0, first);
    v.outcome.passed = verdict == "pass";
    v.notAModule = verdict == "not a module";
    v.outcome.detail = child.report.substr(first + 1, second - first - 1);
    v.outcome.information = child.report.substr(second + 1);
    return v;
}

struct Args {
    std::string module;
    std::string timeout = "60";
    bool json = false;
};

int runValidate(const Args& a) {
    const double timeLimit = parseNumber("--timeout", a.timeout, 0.1, 86400.0);
    bool all = true, notAModule = false, hung = false;
    std::vector<std::pair<const char*, Verdict>> results;
    for (const Category& c : kCategories) {
        Verdict v = runCategory(a.module, c, timeLimit);
        checkInterrupted();
        all = all && v.outcome.passed;
        // Without a record nothing else can be checked.
        notAModule = &c == &kCategories[0] && !v.outcome.passed;
        results.emplace_back(c.name, v);
        if (!a.json) {
            char line[1024];
            std::snprintf(line, sizeof line, "%s  %-22s %s\n", v.outcome.passed ? "PASS" : "FAIL",
                          c.name, v.outcome.detail.c_str());
            std::cout << line;
            if (!v.outcome.information.empty())
                std::cout << "      " << std::string(22, ' ') << " " << v.outcome.information
                          << "\n";
            std::cout.flush();
        }
        // A module that does not return from one check is not checked further.
        hung = v.hung;
        if (notAModule || hung) break;
    }
    if (a.json) {
        std::cout << "{\"module\": " << jsonString(a.module) << ", \"categories\": [";
        for (std::size_t i = 0; i < results.size(); ++i) {
            const Outcome& o = results[i].second.outcome;
            std::cout << (i ? "," : "") << "\n  {\"category\": " << jsonString(results[i].first)
                      << ", \"passed\": " << (o.passed ? "true" : "false")
                      << ", \"detail\": " << jsonString(o.detail);
            if (!o.information.empty())
                std::cout << ", \"information\": " << jsonString(o.information);
            std::cout << "}";
        }
        std::cout << "\n], \"notAModule\": " << (notAModule ? "true" : "false")
                  << ", \"stopped\": " << (hung ? "true" : "false")
                  << ", \"passed\": " << (all ? "true" : "false") << "}\n";
    } else if (notAModule) {
        std::cout << "not a module of this interface; nothing else was checked\n";
    } else if (hung) {
        std::cout << "stopped: the module did not finish a check\n";
    } else {
        std::cout << (all ? "all categories passed\n" : "some categories failed\n");
    }
    return notAModule ? kExitNotAModule : (all ? 0 : kExitFailure);
}

}  // namespace

Command addValidateCommand(CLI::App& app) {
    auto a = std::make_shared<Args>();
    auto* v = app.add_subcommand(
        "validate",
        "check the module category by category, each in a child process (exit status 0: all "
        "passed, 1: a check failed, 3: not a module)");
    v->add_option("MODULE", a->module, "the module file")->required();
    v->add_option("--timeout", a->timeout,
                  "seconds a category may take before the module is stopped (then nothing "
                  "else is checked)")
        ->capture_default_str();
    v->add_flag("--json", a->json, "print JSON for scripts");
    return {v, [a] { return runValidate(*a); }};
}
