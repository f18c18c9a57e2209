// The effect against the second reading of its formulas, over grids of
// inputs and long sequences of calls, compared exactly: a change in the last
// bit of any stored value fails.
#include <random>
#include <vector>

#include "reference_probe.h"

namespace {

TEST(Reference, TablesEqualTheirFormulas) {
    for (int i = 0; i < 512; ++i) {
        ASSERT_EQ(ZURProbe::CotTable[static_cast<std::size_t>(i)],
                  reference::tables().cotangent[static_cast<std::size_t>(i)])
            << i;
        ASSERT_EQ(ZURProbe::CosTable[static_cast<std::size_t>(i)],
                  reference::tables().cosine[static_cast<std::size_t>(i)])
            << i;
    }
}

TEST(Reference, CotangentEqualsTheInterpolationEverywhere) {
    for (int k = -16; k <= 8400; ++k) {
        const float x = static_cast<float>(k) / 8192.0f + 1e-5f * static_cast<float>(k % 7);
        ASSERT_EQ(ZURProbe::cot(x), reference::cot(x)) << x;
    }
}

// Both orders, resonance down to the floor (and into the 2-pole range without
// a resonance peak), Q over its range, frequencies from the lowest to beyond
// the ceiling; with the sweep on (only the frequency is capped) and off (the
// resting frequency or the width is).
TEST(Reference, FilterDesignOverAGrid) {
    const float resonances[] = {0.03f, 0.05f, 0.09f, 0.1027f, 0.103f, 0.11f, 0.17f,
                                0.25f, 0.33f, 0.5f,  0.61f,   0.77f,  0.9f,  1.0f};
    const float qs[] = {0.05f, 0.1f, 0.27f, 0.5f, 0.83f, 1.0f};
    int rows = 0;
    for (std::int32_t order : {0, 1})
        for (std::int32_t mode : {0, 2})
            for (float res : resonances)
                for (float q : qs)
                    for (int f = 0; f < 30; ++f) {
                        reference::Design d = reference::Design::constructed();
                        d.twoPole = order;
                        d.lfoMode = mode;
                        d.resonance = res;
                        d.q = q;
                        d.curFreq = 0.002f + 0.017f * static_cast<float>(f * f) / 30.0f;
                        d.fresFreq = d.curFreq * 0.9f;
                        d.fmax = d.curFreq * 1.7f;
                        ZURProbe z;
                        writeDesign(z, d);
                        z.CalcAB();
                        z.CalcFil();
                        d.calcAB();
                        d.calcFil();
                        ASSERT_TRUE(sameDesign(z, d))
                            << "order " << order << " mode " << mode << " resonance " << res
                            << " q " << q << " frequency " << d.curFreq;
                        ++rows;
                    }
    EXPECT_EQ(rows, 2 * 2 * 14 * 6 * 30);
}

TEST(Reference, ConstructionLeavesTheStateOfTheFormulas) {
    ZURProbe z;
    EXPECT_TRUE(sameDesign(z, reference::Design::constructed()));
}

// A long sequence of parameter values and program selections, the same for
// the effect and the formulas; every field compared after every call. The
// values cover the mode boundaries, out-of-range and huge values; the bank
// of programs is kept here as the formulas keep it (the values as sent).
TEST(Reference, ParameterMappingFollowsEveryCall) {
    std::mt19937 rng(14);
    const float landmarks[] = {0.0f, 1e-4f,   0.1f,    0.25f,   0.3448f, 0.3449f,
                               0.5f, 0.5263f, 0.5264f, 0.6896f, 0.6897f, 0.99f,
                               1.0f, 1.5f,    -0.2f,   1e6f,    -1e6f,   0.015f};
    const std::int32_t indices[] = {0, 1, 2, 3, 4, 5, 6, 7, 1111};
    std::uniform_real_distribution<float> unit(-0.1f, 1.1f);
    // fres, resonance, mix, q, pole switch, pan, time, range, sweep: in the order sent.
    std::vector<std::array<float, 9>> bank(
        16, {0.25f, 0.25f, 0.0f, 0.1f, 0.0f, 0.5f, 0.2f, 0.2f, 0.9f});
    auto slot = [](std::int32_t index) {
        switch (index) {
            case 0: return 0;
            case 1: return 1;
            case 7: return 2;
            case 2: return 3;
            case 1111: return 4;
            case 6: return 5;
            case 3: return 6;
            case 4: return 7;
            default: return 8;
        }
    };
    ZURProbe z;
    reference::Design d = reference::Design::constructed();
    std::size_t program = 0;
    for (int call = 0; call < 4000; ++call) {
        if (call % 61 == 60) {
            program = rng() % 16;
            const auto& p = bank[program];
            z.setProgram(static_cast<aeLong>(program));
            d.select(p[0], p[1], p[2], p[3], p[4], p[5], p[6], p[7], p[8]);
        } else {
            const std::int32_t index = indices[rng() % std::size(indices)];
            const float v = rng() % 3 == 0 ? landmarks[rng() % std::size(landmarks)] : unit(rng);
            z.setParameter(index, v);
            d.set(index, v);
            bank[program][static_cast<std::size_t>(slot(index))] = v;
        }
        ASSERT_TRUE(sameDesign(z, d)) << "call " << call;
    }
}

// Sweep steps one at a time, both shapes, fast and slow, with parameter
// changes between them; the frequency, the sweep state and the coefficients
// after every step equal the formulas'.
TEST(Reference, SweepStepsFollowTheFormulas) {
    const struct {
        float shape, time, range;
    } cases[] = {{0.5f, 0.2f, 0.2f},
                 {0.5f, 0.015f, 1.0f},
                 {0.9f, 0.2f, 0.2f},
                 {0.9f, 0.015f, 0.7f},
                 {0.9f, 1.0f, 0.05f}};
    const float silence = 0.0f;
    float left, right;
    float* inputs[] = {const_cast<float*>(&silence)};
    float* outputs[] = {&left, &right};
    for (const auto& c : cases)
        for (float poles : {0.0f, 1.0f}) {
            ZURProbe z;
            reference::Design d = reference::Design::constructed();
            for (auto [index, value] : {std::pair{1111, poles}, std::pair{3, c.time},
                                        std::pair{4, c.range}, std::pair{5, c.shape}}) {
                z.setParameter(index, value);
                d.set(index, value);
            }
            for (int step = 0; step < 3000; ++step) {
                if (step % 500 == 250) {
                    z.setParameter(1, 0.1f * static_cast<float>(step % 7));
                    d.set(1, 0.1f * static_cast<float>(step % 7));
                }
                z.sweepCountdown = 0;
                z.processReplacing(inputs, outputs, 1);
                d.sweepStep();
                ASSERT_TRUE(sameDesign(z, d)) << "shape " << c.shape << " time " << c.time
                                              << " poles " << poles << " step " << step;
            }
        }
}

}  // namespace
