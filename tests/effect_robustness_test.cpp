// What the effect does with what a hostile host sends: values that are not
// numbers, NaN and infinite samples, extreme settings, long silence.
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "zur_probe.h"

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

std::vector<float> noise(std::size_t frames, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> dist(-0.5f, 0.5f);
    std::vector<float> v(frames);
    for (float& s : v) s = dist(rng);
    return v;
}

struct Stereo {
    std::vector<float> left, right;
};

Stereo run(ZURProbe& z, std::vector<float> in, bool replacing, float start = 0.0f) {
    Stereo out{std::vector<float>(in.size(), start), std::vector<float>(in.size(), start)};
    float* inputs[] = {in.data()};
    float* outputs[] = {out.left.data(), out.right.data()};
    if (replacing)
        z.processReplacing(inputs, outputs, static_cast<aeLong>(in.size()));
    else
        z.process(inputs, outputs, static_cast<aeLong>(in.size()));
    return out;
}

::testing::AssertionResult allFiniteAndBounded(const Stereo& s, float start = 0.0f) {
    for (const auto* channel : {&s.left, &s.right})
        for (std::size_t n = 0; n < channel->size(); ++n) {
            const double added = static_cast<double>((*channel)[n]) - start;
            if (!std::isfinite(added) || std::fabs(added) > 1.0 + 1e-6)
                return ::testing::AssertionFailure() << "sample " << n << " is " << (*channel)[n];
        }
    return ::testing::AssertionSuccess();
}

// Everything a host can read back, as text.
std::string hostView(ZURProbe& z) {
    std::string view;
    char text[64];
    for (aeLong index : {0, 1, 2, 3, 4, 5, 6, 7, 1111, 2000, 2001}) {
        view += std::to_string(z.getParameter(index)) + "|";
        z.getParameterDisplay(index, text);
        view += std::string(text) + "|";
    }
    const ZURProgram& p = z.programs[0];
    for (float f :
         {p.fres, p.resonance, p.q, p.pan, p.sweepRange, p.sweepTime, p.poleSwitch, p.sweep, p.mix})
        view += std::to_string(f) + ",";
    return view;
}

TEST(Robustness, ValuesThatAreNotNumbersAreIgnored) {
    for (float bad : {kNaN, kInf, -kInf})
        for (aeLong index : {0, 1, 2, 3, 4, 5, 6, 7, 1111}) {
            ZURProbe z;
            const std::string before = hostView(z);
            const float freq = z.curFreq, gain = z.sec1Gain;
            z.setParameter(index, bad);
            EXPECT_EQ(hostView(z), before) << "index " << index << " value " << bad;
            EXPECT_EQ(z.curFreq, freq);
            EXPECT_EQ(z.sec1Gain, gain);
        }
}

struct Mode {
    float poles;  // value of the pole switch
    float sweep;
    bool replacing;
};

const Mode kModes[] = {{0.0f, 0.0f, true},  {0.0f, 0.5f, false}, {0.0f, 0.9f, true},
                       {0.0f, 0.9f, false}, {1.0f, 0.0f, true},  {1.0f, 0.5f, false},
                       {1.0f, 0.9f, true},  {1.0f, 0.9f, false}};

void setMode(ZURProbe& z, const Mode& m) {
    z.setParameter(ZUR::kPoleSwitchIndex, m.poles);
    z.setParameter(5, m.sweep);
    z.setParameter(7, 0.3f);
}

TEST(Robustness, NonFiniteInputNeverReachesTheOutputAndTheFilterRecovers) {
    for (const Mode& m : kModes)
        for (float bad : {kNaN, kInf, -kInf, 3e38f}) {
            ZURProbe hit, clean;
            setMode(hit, m);
            setMode(clean, m);
            const auto before = noise(700, 1), after = noise(3000, 2);
            run(hit, before, m.replacing);
            run(clean, before, m.replacing);

            std::vector<float> spike = {bad};
            const Stereo at = run(hit, spike, m.replacing, 0.5f);
            EXPECT_TRUE(allFiniteAndBounded(at, m.replacing ? 0.0f : 0.5f)) << bad;
            if (!std::isfinite(bad)) {
                // That frame is silent: nothing written, nothing added.
                const float silent = m.replacing ? 0.0f : 0.5f;
                EXPECT_EQ(at.left[0], silent) << bad;
                EXPECT_EQ(at.right[0], silent) << bad;
            }
            // The same frame of silence, then the reset that a non-finite state gets.
            run(clean, {0.0f}, m.replacing);
            if (!std::isfinite(bad)) clean.suspend();

            const Stereo recovered = run(hit, after, m.replacing);
            EXPECT_TRUE(allFiniteAndBounded(recovered));
            if (!std::isfinite(bad)) {
                const Stereo fresh = run(clean, after, m.replacing);
                EXPECT_EQ(recovered.left, fresh.left)
                    << "poles " << m.poles << " sweep " << m.sweep << " value " << bad;
                EXPECT_EQ(recovered.right, fresh.right)
                    << "poles " << m.poles << " sweep " << m.sweep << " value " << bad;
            }
        }
}

// A section runs away: the state it reads next is as large as a float holds,
// so the state it stores overflows to infinity. The frame that reads that
// state is silent, and from the next frame on the user hears exactly what an
// instance whose rings were cleared at that frame gives. Section 2 alone can
// run away (in 4-pole mode), and must be caught on its own.
TEST(Robustness, ARunawayOfEitherSectionIsSilencedAndTheFilterStartsAfresh) {
    const struct {
        float poles;
        int section;
    } runaways[] = {{1.0f, 1}, {0.0f, 1}, {0.0f, 2}};
    for (const auto& c : runaways)
        for (bool replacing : {true, false})
            for (float sweep : {0.0f, 0.9f}) {
                const std::string row = "poles " + std::to_string(c.poles) + " section " +
                                        std::to_string(c.section) +
                                        (replacing ? " replacing" : " accumulating") + " sweep " +
                                        std::to_string(sweep);
                ZURProbe hit, clean;
                for (ZURProbe* z : {&hit, &clean}) setMode(*z, {c.poles, sweep, replacing});
                const auto before = noise(700, 11), after = noise(3000, 12);
                run(hit, before, replacing);
                run(clean, before, replacing);

                const auto r = static_cast<std::size_t>(hit.bufPos);
                (c.section == 1 ? hit.sec1Z1 : hit.sec2Z1)[r] = 3e38f;
                const Stereo overflowing = run(hit, {0.25f}, replacing);
                EXPECT_TRUE(allFiniteAndBounded(overflowing)) << row;
                const Stereo at = run(hit, {0.25f}, replacing, 0.5f);
                const float silent = replacing ? 0.0f : 0.5f;
                EXPECT_EQ(at.left[0], silent) << row;
                EXPECT_EQ(at.right[0], silent) << row;

                run(clean, {0.25f, 0.25f}, replacing);
                clean.suspend();
                const Stereo recovered = run(hit, after, replacing);
                const Stereo fresh = run(clean, after, replacing);
                EXPECT_EQ(recovered.left, fresh.left) << row;
                EXPECT_EQ(recovered.right, fresh.right) << row;
            }
}

TEST(Robustness, ExtremeSettingsGiveFiniteBoundedOutputAndNormalOnesComeBack) {
    const struct {
        aeLong index;
        float extreme;
        float normal;
    } cases[] = {
        {2, 3e38f, 0.1f},   {1, 3e38f, 0.25f}, {1, -3e38f, 0.25f}, {0, 3e38f, 0.25f},
        {0, -3e38f, 0.25f}, {4, -3e38f, 0.2f}, {4, 3e38f, 0.2f},   {6, 1e30f, 0.5f},
        {6, -1e30f, 0.5f},  {7, 1e30f, 0.0f},  {7, -1e30f, 0.0f},  {3, 3e38f, 0.2f},
        {3, 1e-30f, 0.2f},  {5, 1e30f, 0.9f},  {5, -1e30f, 0.9f},  {1111, 1e30f, 0.0f},
    };
    for (const Mode& m : kModes)
        for (const auto& c : cases) {
            ZURProbe z;
            setMode(z, m);
            z.setParameter(c.index, c.extreme);
            EXPECT_TRUE(allFiniteAndBounded(run(z, noise(5000, 3), m.replacing, 0.5f),
                                            m.replacing ? 0.0f : 0.5f))
                << "index " << c.index << " = " << c.extreme;
            z.setParameter(c.index, c.normal);
            setMode(z, m);
            const Stereo back = run(z, noise(5000, 4), m.replacing);
            EXPECT_TRUE(allFiniteAndBounded(back));
            double energy = 0.0;
            for (float s : back.left) energy += static_cast<double>(s) * s;
            EXPECT_GT(energy, 1e-3) << "silent after index " << c.index << " = " << c.extreme;
        }
}

TEST(Robustness, NoStateIsSubnormalAfterTenSecondsOfSilence) {
    for (const Mode& m : kModes) {
        ZURProbe z;
        setMode(z, m);
        run(z, noise(4410, 5), m.replacing);  // some signal first, then silence
        for (int second = 0; second < 10; ++second)
            run(z, std::vector<float>(44100, 0.0f), m.replacing);
        for (float* ring : {z.sec1Z1.get(), z.sec1Z2.get(), z.sec2Z1.get(), z.sec2Z2.get()})
            for (int i = 0; i < ZUR::kRingSize; ++i)
                ASSERT_NE(std::fpclassify(ring[i]), FP_SUBNORMAL)
                    << "poles " << m.poles << " sweep " << m.sweep << " slot " << i;
        // The offset keeps section 1 at a small DC level instead of decaying towards zero.
        EXPECT_NE(z.sec1Z1[static_cast<std::size_t>(z.bufPos)], 0.0f);
    }
}

}  // namespace
