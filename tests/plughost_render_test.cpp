// `plughost render` end to end: what reaches the module, in which order and
// at which frame, and what comes out.
#include <sys/resource.h>

#include <csignal>

#include "plughost_harness.h"

namespace {

// Long enough for several chunks of reading and several pieces of writing, so
// blocks straddle both. The parameters stand on both sides of the input file:
// each --param takes one value.
TEST_F(Plughost, RenderEqualsDirectProcessing) {
    const auto input = noise(40000);
    writeAudio(path("in.wav"), input, 1);
    const Outcome r = run("render " + kZur + " --param 5=0.5 " + path("in.wav") + " -o " +
                          path("out.wav") + " --block 300 --param 0=0.4 -q");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_NE(r.out.find("frames 40000"), std::string::npos) << r.out;
    const Audio rendered = readAudio(path("out.wav"));
    EXPECT_EQ(rendered.channels, 2);
    const auto direct =
        processDirectly(input, blocksOf(40000, 300), [](Instance& z, std::size_t pos) {
            if (pos == 0) {
                z.set(5, 0.5f);
                z.set(0, 0.4f);
            }
        });
    EXPECT_EQ(rendered.samples, direct);
}

// The summary's levels against the file written: an odd frame count leaves
// a tail after the metering's groups of samples, and a pan off centre makes
// the channels differ.
TEST_F(Plughost, SummaryGivesThePeakAndRmsOfEachChannel) {
    const Outcome r = run("render " + kZur + " --rate 1000 --seconds 40.001 --param 6=0.2 -q -o " +
                          path("out.wav"));
    ASSERT_EQ(r.status, 0) << r.err;
    const Audio rendered = readAudio(path("out.wav"));
    ASSERT_EQ(rendered.channels, 2);
    ASSERT_EQ(rendered.samples.size(), 2u * 40001);
    double peak[2] = {}, sum[2] = {};
    for (std::size_t n = 0; n < rendered.samples.size(); ++n) {
        const double v = rendered.samples[n];
        peak[n % 2] = std::max(peak[n % 2], std::fabs(v));
        sum[n % 2] += v * v;
    }
    double shown[4] = {};
    const auto at = r.out.find("peak ");
    ASSERT_NE(at, std::string::npos) << r.out;
    ASSERT_EQ(std::sscanf(r.out.c_str() + at, "peak %lf %lf; RMS %lf %lf", &shown[0], &shown[1],
                          &shown[2], &shown[3]),
              4)
        << r.out;
    for (int c = 0; c < 2; ++c) {
        EXPECT_NEAR(shown[c], peak[c], 1e-6) << "peak of channel " << c;
        EXPECT_NEAR(shown[2 + c], std::sqrt(sum[c] / 40001), 1e-6) << "RMS of channel " << c;
    }
    EXPECT_GT(std::fabs(shown[2] - shown[3]), 0.01) << r.out;  // the channels do differ
}

// Lines out of order, comments, an extended index the module names (no
// warning) and an event past the end (a warning, not applied).
TEST_F(Plughost, AutomationSplitsTheBlockAtItsFrame) {
    const auto input = noise(1500);
    writeAudio(path("in.wav"), input, 1);
    std::ofstream(path("auto.txt")) << "# time index value\n\n"
                                       "0.02 1111 1.0  # to 2-pole\n"
                                       "0.01 6 1.0\n"
                                       "5 1:6 0.0\n";
    const Outcome r = run("render " + kZur + " " + path("in.wav") + " -o " + path("out.wav") +
                          " --automate " + path("auto.txt") + " -q");
    ASSERT_EQ(r.status, 0) << r.err;
    // 0.01 s is frame 441 and 0.02 s frame 882 at 44100 Hz.
    const auto direct =
        processDirectly(input, {441, 71, 370, 142, 476}, [](Instance& z, std::size_t pos) {
            if (pos == 441) z.set(6, 1.0f);
            if (pos == 882) z.set(1111, 1.0f);
        });
    EXPECT_EQ(readAudio(path("out.wav")).samples, direct);
    EXPECT_EQ(r.err.find("1111"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("1 automation event(s) from line 5 on fall after the end"),
              std::string::npos)
        << r.err;
}

TEST_F(Plughost, AccumulateIntoSilenceMatchesReplaceInTwoPoleMode) {
    const std::string common =
        "render " + kZur + " --signal saw --seconds 0.5 --param 1111=1 --param 5=0.5 -q";
    ASSERT_EQ(run(common + " -o " + path("replace.wav")).status, 0);
    ASSERT_EQ(run(common + " --mode accumulate -o " + path("accumulate.wav")).status, 0);
    const auto replaced = readAudio(path("replace.wav")).samples;
    EXPECT_EQ(replaced.size(), 2u * 22050);
    EXPECT_EQ(readAudio(path("accumulate.wav")).samples, replaced);
}

// ZUR takes one input: a stereo file is mixed down to the average of its
// channels, unless one channel is picked.
TEST_F(Plughost, SeveralInputChannelsAreMixedDownOrPicked) {
    const auto a = noise(20000, 1), b = noise(20000, 2);  // more than one chunk read
    std::vector<float> stereo, mixed;
    for (std::size_t n = 0; n < a.size(); ++n) {
        stereo.push_back(a[n]);
        stereo.push_back(b[n]);
        mixed.push_back(static_cast<float>((static_cast<double>(a[n]) + b[n]) / 2.0));
    }
    writeAudio(path("stereo.wav"), stereo, 2);
    writeAudio(path("mixed.wav"), mixed, 1);
    writeAudio(path("right.wav"), b, 1);
    const std::string m = "render " + kZur + " ";
    ASSERT_EQ(run(m + path("stereo.wav") + " -q -o " + path("o1.wav")).status, 0);
    ASSERT_EQ(run(m + path("mixed.wav") + " -q -o " + path("o2.wav")).status, 0);
    ASSERT_EQ(run(m + path("stereo.wav") + " --channel 2 -q -o " + path("o3.wav")).status, 0);
    ASSERT_EQ(run(m + path("right.wav") + " -q -o " + path("o4.wav")).status, 0);
    EXPECT_EQ(readAudio(path("o1.wav")).samples, readAudio(path("o2.wav")).samples);
    EXPECT_EQ(readAudio(path("o3.wav")).samples, readAudio(path("o4.wav")).samples);
}

// A module of two inputs gets a stereo file channel for channel, and a mono
// file on both inputs.
TEST_F(Plughost, InputChannelsMatchingTheModuleAreFedChannelForChannel) {
    const std::string through = kFakes + "/fake_stereo_through.so";
    std::vector<float> stereo = noise(3000, 7);
    writeAudio(path("stereo.wav"), stereo, 2);
    const auto mono = noise(1500, 8);
    writeAudio(path("mono.wav"), mono, 1);
    ASSERT_EQ(
        run("render " + through + " " + path("stereo.wav") + " -q -o " + path("s.wav")).status, 0);
    ASSERT_EQ(run("render " + through + " " + path("mono.wav") + " -q -o " + path("m.wav")).status,
              0);
    EXPECT_EQ(readAudio(path("s.wav")).samples, stereo);
    std::vector<float> doubled;
    for (float s : mono) doubled.insert(doubled.end(), {s, s});
    EXPECT_EQ(readAudio(path("m.wav")).samples, doubled);
}

// Two instances in series: the first one's stereo output reaches the second's
// one input as the average of its channels; each takes its own parameters.
TEST_F(Plughost, ChainFeedsEachModuleFromTheOneBefore) {
    const auto input = noise(5000, 9);
    writeAudio(path("in.wav"), input, 1);
    const Outcome r =
        run("render " + kZur + " " + kZur + " " + path("in.wav") +
            " --param 1:5=0.5 --param 2:6=0.2 --program 2:3 -q -o " + path("out.wav"));
    ASSERT_EQ(r.status, 0) << r.err;

    Module module;
    Instance first(module), second(module);
    first.set(5, 0.5f);
    second.dispatch(op::setProgram, 0, 3);
    second.set(6, 0.2f);
    std::vector<float> direct, l1, r1, mid, l2, r2, in;
    std::size_t pos = 0;
    for (std::size_t len : blocksOf(input.size(), 512)) {
        in.assign(input.begin() + static_cast<std::ptrdiff_t>(pos),
                  input.begin() + static_cast<std::ptrdiff_t>(pos + len));
        l1.assign(len, 0.0f), r1.assign(len, 0.0f), l2.assign(len, 0.0f), r2.assign(len, 0.0f);
        first.replace(in.data(), l1.data(), r1.data(), static_cast<aeLong>(len));
        mid.resize(len);
        for (std::size_t n = 0; n < len; ++n)
            mid[n] = static_cast<float>((static_cast<double>(l1[n]) + r1[n]) / 2.0);
        second.replace(mid.data(), l2.data(), r2.data(), static_cast<aeLong>(len));
        for (std::size_t n = 0; n < len; ++n) direct.insert(direct.end(), {l2[n], r2[n]});
        pos += len;
    }
    EXPECT_EQ(readAudio(path("out.wav")).samples, direct);

    // Matching counts pass channel for channel: ZUR then a pass-through is ZUR.
    ASSERT_EQ(run("render " + kZur + " " + kFakes + "/fake_stereo_through.so " + path("in.wav") +
                  " -q -o " + path("through.wav"))
                  .status,
              0);
    ASSERT_EQ(run("render " + kZur + " " + path("in.wav") + " -q -o " + path("alone.wav")).status,
              0);
    EXPECT_EQ(readAudio(path("through.wav")).samples, readAudio(path("alone.wav")).samples);

    const Outcome beyond =
        run("render " + kZur + " " + path("in.wav") + " --param 2:5=0.5 -q -o " + path("x.wav"));
    EXPECT_EQ(beyond.status, 2);
    EXPECT_NE(beyond.err.find("addresses module 2, but the chain has 1"), std::string::npos)
        << beyond.err;
}

// The tail is silence run through the module after the input: the filter's
// ring goes on instead of being cut off.
TEST_F(Plughost, TailProcessesSilenceAfterTheInput) {
    const auto input = noise(1000, 4);
    writeAudio(path("in.wav"), input, 1);
    const Outcome r =
        run("render " + kZur + " " + path("in.wav") + " --tail 0.1 -q -o " + path("out.wav"));
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<float> padded = input;
    padded.resize(1000 + 4410, 0.0f);
    const auto rendered = readAudio(path("out.wav")).samples;
    EXPECT_EQ(rendered,
              processDirectly(padded, blocksOf(padded.size(), 512), [](Instance&, std::size_t) {}));
    EXPECT_NE(rendered.back(), 0.0f);
}

// libsndfile cuts a WAV file short of its header to the frames present; a
// FLAC file ends early while reading. Both are rendered as far as they go,
// with a warning giving both counts.
TEST_F(Plughost, TruncatedInputWarnsAndRendersWhatIsThere) {
    const auto input = noise(20000, 3);
    writeAudio(path("in.wav"), input, 1);
    const auto wavBytes = fs::file_size(path("in.wav"));
    fs::resize_file(path("in.wav"), wavBytes - 12000 * 4 - 2);  // 7999 whole frames stay
    writeAudio(path("in.flac"), input, 1, SF_FORMAT_FLAC | SF_FORMAT_PCM_24);
    fs::resize_file(path("in.flac"), fs::file_size(path("in.flac")) / 2);

    for (const char* name : {"in.wav", "in.flac"}) {
        const Outcome r = run("render " + kZur + " " + path(name) + " -q -o " + path("out.wav"));
        ASSERT_EQ(r.status, 0) << name << r.err;
        const auto rendered = readAudio(path("out.wav")).samples;
        const std::size_t frames = rendered.size() / 2;
        EXPECT_GT(frames, 0u) << name;
        EXPECT_LT(frames, 20000u) << name;
        const std::string warning =
            "ends after " + std::to_string(frames) + " frames; its header promises 20000";
        EXPECT_NE(r.err.find(warning), std::string::npos) << name << ": " << r.err;
        EXPECT_EQ(r.err.find("warning", r.err.find("warning") + 1), std::string::npos) << r.err;
        EXPECT_NE(r.out.find("frames " + std::to_string(frames) + ","), std::string::npos) << r.out;
    }
    EXPECT_EQ(readAudio(path("out.wav")).samples.size() % 2, 0u);
}

// The embedded signal is made as it is needed: an hour of it starts at once,
// memory stays small, and Ctrl-C stops it promptly.
TEST_F(Plughost, LongEmbeddedSignalStreamsAndStopsOnCtrlC) {
    const pid_t pid = spawn({"render", kZur, "--seconds", "3600", "-q", "-o", path("out.wav")});
    const auto start = std::chrono::steady_clock::now();
    while (filesNamed("plughost-partial").empty() &&
           std::chrono::steady_clock::now() - start < std::chrono::seconds(5))
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    kill(pid, SIGINT);
    EXPECT_EQ(waitFor(pid, 2.0), 130) << slurp(path("stderr.txt"));
    EXPECT_TRUE(filesNamed("out.wav").empty());
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    EXPECT_LT(usage.ru_maxrss, 200 * 1024) << "kilobytes at most, in the largest child";
}

}  // namespace
