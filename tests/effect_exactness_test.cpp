// The signal path against a plain reading of its algorithm: rings and fields
// read afresh in every frame, no state carried in locals, the sweep and its
// filter design from the second reading of the formulas. Both must give the
// same samples to the last bit, and leave the same state behind.
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "reference_probe.h"

namespace {

float plainLimit(float v) { return v > 1.0f ? 1.0f : (v < -1.0f ? -1.0f : v); }

// The sweep step and the new coefficients come from the second reading of
// the formulas, so the signal path is compared with nothing of its own.
void plainSweepStep(ZURProbe& z) {
    const aeLong mode = z.lfoMode;
    if (mode != 1 && mode != 2) return;
    const aeLong t = z.sweepCountdown;
    z.sweepCountdown = t - 1;
    if (t != 0) return;
    reference::Design d = readDesign(z);
    d.sweepStep();
    writeDesign(z, d);
    z.sweepCountdown = 50;
}

template <bool replacing>
void plainBlock(ZURProbe& z, const float* in, float* out0, float* out1, int frames) {
    auto emit = [](float& sample, double value) {
        sample = replacing ? static_cast<float>(value) : static_cast<float>(sample + value);
    };
    int r = z.bufPos;
    int w = r == 511 ? 0 : r + 1;
    for (int n = 0; n < frames; ++n) {
        plainSweepStep(z);
        const double x = in[n];
        const double u = (x + 0.0001) * z.sec1Gain;
        const double y1 = u + z.sec1Z1[r];
        z.sec1Z2[w] = static_cast<float>(-z.sec1A2 * y1);
        z.sec1Z1[w] = static_cast<float>(z.sec1Z2[r] - z.sec1A1 * y1);
        if (z.twoPole != 0) {
            emit(out0[n], plainLimit(static_cast<float>(y1 * z.pan)));
            emit(out1[n], plainLimit(static_cast<float>((1.0 - z.pan) * y1)));
        } else {
            const double v = z.sec2Gain * static_cast<double>(z.sec1Z1[r]);
            const double y2 = v + z.sec2Z1[r];
            z.sec2Z2[w] = static_cast<float>(-z.sec2A2 * y2);
            z.sec2Z1[w] = static_cast<float>(z.sec2Z2[r] - z.sec2A1 * y2);
            double o = u + z.sec2Z1[r];
            if (replacing) o = (1.0 - z.mix) * o + z.mix * x;
            const float f1 = plainLimit(static_cast<float>(o));
            emit(out0[n], f1 * std::min(2.0 * (1.0 - z.pan), 1.0));
            emit(out1[n], f1 * std::min(2.0 * z.pan, 1.0));
        }
        r = w;
        w = w == 511 ? 0 : w + 1;
    }
    z.bufPos = r;
}

bool sameState(ZURProbe& a, ZURProbe& b) {
    const std::size_t bytes = ZUR::kRingSize * sizeof(float);
    return a.bufPos == b.bufPos && a.sweepCountdown == b.sweepCountdown && a.curFreq == b.curFreq &&
           a.sinePos == b.sinePos && a.sineStep == b.sineStep && a.triangleStep == b.triangleStep &&
           a.sec1Gain == b.sec1Gain && a.sec2A2 == b.sec2A2 &&
           std::memcmp(a.sec1Z1.get(), b.sec1Z1.get(), bytes) == 0 &&
           std::memcmp(a.sec1Z2.get(), b.sec1Z2.get(), bytes) == 0 &&
           std::memcmp(a.sec2Z1.get(), b.sec2Z1.get(), bytes) == 0 &&
           std::memcmp(a.sec2Z2.get(), b.sec2Z2.get(), bytes) == 0;
}

template <bool replacing>
void compareOnRandomStream(unsigned seed, std::int64_t totalFrames) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f), sample(-0.9f, 0.9f);
    std::uniform_int_distribution<int> blockLength(0, 1500), coin(0, 3);
    ZURProbe fast, plain;
    std::vector<float> in, fast0, fast1, plain0, plain1;
    std::int64_t done = 0;
    for (int block = 0; done < totalFrames; ++block) {
        // Parameter changes between blocks, the same for both; the sweep stays on.
        if (coin(rng) == 0) {
            const aeLong indices[] = {0, 1, 2, 3, 4, 6, 7, ZUR::kPoleSwitchIndex, 5};
            const aeLong index = indices[std::uniform_int_distribution<int>(0, 8)(rng)];
            const float value = index == 5 ? 0.35f + 0.65f * unit(rng) : unit(rng);
            fast.setParameter(index, value);
            plain.setParameter(index, value);
        }
        if (block % 97 == 96) {
            const auto program =
                static_cast<aeLong>(std::uniform_int_distribution<int>(0, 15)(rng));
            fast.setProgram(program);
            plain.setProgram(program);
        }
        const int frames = blockLength(rng);
        in.resize(static_cast<std::size_t>(frames));
        for (float& s : in) s = sample(rng);
        fast0.assign(in.size(), 0.25f);
        fast1.assign(in.size(), -0.25f);
        plain0 = fast0;
        plain1 = fast1;
        float* inputs[] = {in.data()};
        float* outputs[] = {fast0.data(), fast1.data()};
        if (replacing)
            fast.processReplacing(inputs, outputs, frames);
        else
            fast.process(inputs, outputs, frames);
        plainBlock<replacing>(plain, in.data(), plain0.data(), plain1.data(), frames);
        ASSERT_EQ(fast0, plain0) << "block " << block;
        ASSERT_EQ(fast1, plain1) << "block " << block;
        ASSERT_TRUE(sameState(fast, plain)) << "block " << block;
        done += frames;
    }
}

TEST(Exactness, ReplacingMatchesThePlainReadingOnALongStream) {
    compareOnRandomStream<true>(1, 3000000);
}

TEST(Exactness, AccumulatingMatchesThePlainReadingOnALongStream) {
    compareOnRandomStream<false>(2, 3000000);
}

}  // namespace
