#include <cmath>
#include <random>
#include <vector>

#include "zur_probe.h"

namespace {

enum class Entry { Accumulate, Replace };

// Runs one block through the effect; outputs start from the given buffers.
void runBlock(ZURProbe& z, Entry entry, const float* input, float* left, float* right, int frames) {
    float* inputs[] = {const_cast<float*>(input)};
    float* outputs[] = {left, right};
    if (entry == Entry::Replace)
        z.processReplacing(inputs, outputs, frames);
    else
        z.process(inputs, outputs, frames);
}

// A fresh effect with the sweep off, cleared rings and the given coefficients.
void prepare(ZURProbe& z, aeLong twoPole, float pan, float mix) {
    z.lfoMode = 0;
    z.twoPole = twoPole;
    z.pan = pan;
    z.mix = mix;
    z.suspend();
    z.bufPos = 0;
}

void setSection1(ZURProbe& z, float gain, float a1, float a2) {
    z.sec1Gain = gain;
    z.sec1A1 = a1;
    z.sec1A2 = a2;
}

void setSection2(ZURProbe& z, float gain, float a1, float a2) {
    z.sec2Gain = gain;
    z.sec2A1 = a1;
    z.sec2A2 = a2;
}

struct WorkedExample {
    const char* what;
    aeLong twoPole;
    Entry entry;
    float pan;
    float mix;
    const char* left[6];
    const char* right[6];  // null: half of left
};

TEST(Processing, WorkedImpulseResponses) {
    const WorkedExample examples[] = {
        {"4-pole accumulate",
         0,
         Entry::Accumulate,
         0.5f,
         0.0f,
         {"0.09997765", "0.000009996765", "0.02767129", "0.0741569", "0.1348042", "0.2017631"},
         {"0.09997765", "0.000009996765", "0.02767129", "0.0741569", "0.1348042", "0.2017631"}},
        {"4-pole replace with mix",
         0,
         Entry::Replace,
         0.25f,
         0.5f,
         {"0.5499888", "0.000004998382", "0.01383564", "0.03707845", "0.06740208", "0.1008815"},
         {nullptr}},
        {"2-pole accumulate",
         1,
         Entry::Accumulate,
         1.0f,
         0.0f,
         {"0.1000402", "0.1843509", "0.2453997", "0.278413", "0.2816948", "0.2566205"},
         {"0.0", "0.0", "0.0", "0.0", "0.0", "0.0"}},
    };
    for (const WorkedExample& ex : examples) {
        ZURProbe z;
        prepare(z, ex.twoPole, ex.pan, ex.mix);
        if (ex.twoPole == 0) {
            setSection1(z, 0.09996765f, -1.855377f, 0.9553450f);
            setSection2(z, 0.08101302f, -1.840698f, 0.9217106f);
        } else {
            setSection1(z, 0.1000302f, -1.842668f, 0.9426984f);
        }
        const float input[6] = {1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f};
        float left[6] = {}, right[6] = {};
        runBlock(z, ex.entry, input, left, right, 6);
        for (int n = 0; n < 6; ++n) {
            EXPECT_TRUE(matchesFigure(left[n], ex.left[n])) << ex.what << " left " << n;
            if (ex.right[0]) {
                EXPECT_TRUE(matchesFigure(right[n], ex.right[n])) << ex.what << " right " << n;
            } else {
                EXPECT_EQ(right[n], 0.5f * left[n]) << ex.what << " right " << n;
            }
        }
    }
}

TEST(Processing, FirstFrameFromClearedRings) {
    for (float x : {0.5f, -0.25f, 0.0f}) {
        ZURProbe z;
        prepare(z, 1, 0.5f, 0.0f);
        float left = 0.0f, right = 0.0f;
        runBlock(z, Entry::Accumulate, &x, &left, &right, 1);
        const float expected = static_cast<float>((x + 0.0001) * z.sec1Gain * 0.5);
        EXPECT_EQ(left, expected);
        EXPECT_EQ(right, expected);

        // 4-pole with all dry: the input itself, with the balance pan.
        ZURProbe dry;
        prepare(dry, 0, 0.25f, 1.0f);
        runBlock(dry, Entry::Replace, &x, &left, &right, 1);
        EXPECT_EQ(left, x);
        EXPECT_EQ(right, 0.5f * x);
    }
}

TEST(Processing, ConstantInputSettlesAtUnitGain) {
    ZURProbe z;
    prepare(z, 1, 1.0f, 0.0f);
    z.CalcAB();
    z.CalcFil();
    std::vector<float> input(20000, 0.3f), left(input.size()), right(input.size());
    runBlock(z, Entry::Replace, input.data(), left.data(), right.data(),
             static_cast<int>(input.size()));
    // The rings hold floats, so the DC gain of 1 holds to float precision of the recursion.
    EXPECT_NEAR(left.back(), 0.3f + 0.0001f, 3e-5);
    EXPECT_EQ(right.back(), 0.0f);
}

TEST(Processing, PanGainsInBothModes) {
    const struct {
        aeLong twoPole;
        float left, right;
    } cases[] = {{0, 1.0f, 0.5f}, {1, 0.25f, 0.75f}};
    for (const auto& c : cases) {
        ZURProbe z;
        prepare(z, c.twoPole, 0.25f, 0.0f);
        setSection1(z, 1.0f, 0.0f, 0.0f);  // y1 = x + 0.0001 and, in 4-pole, o = y1 on frame 0
        const float x = 0.4999f;
        float left = 0.0f, right = 0.0f;
        runBlock(z, Entry::Replace, &x, &left, &right, 1);
        EXPECT_EQ(left, 0.5f * c.left) << c.twoPole;
        EXPECT_EQ(right, 0.5f * c.right) << c.twoPole;
    }
}

TEST(Processing, OutputIsLimitedToFullScale) {
    const struct {
        aeLong twoPole;
        Entry entry;
        float pan;
    } cases[] = {{1, Entry::Replace, 1.0f}, {1, Entry::Accumulate, 1.0f},
                 {0, Entry::Replace, 0.5f}, {0, Entry::Accumulate, 0.5f},
                 {0, Entry::Replace, 3.0f}, {0, Entry::Replace, -2.0f}};
    for (const auto& c : cases)
        for (float x : {2.9999f, -3.0001f, 1e30f, -1e30f}) {
            ZURProbe z;
            prepare(z, c.twoPole, c.pan, 0.0f);
            setSection1(z, 1.0f, 0.0f, 0.0f);
            float left = 0.0f, right = 0.0f;
            runBlock(z, c.entry, &x, &left, &right, 1);
            const float full = x > 0 ? 1.0f : -1.0f;
            EXPECT_LE(std::fabs(left), 1.0f) << x;
            EXPECT_LE(std::fabs(right), 1.0f) << x;
            if (c.pan == 1.0f || c.pan == 0.5f) {
                EXPECT_EQ(left, full) << x;
            }
        }
}

TEST(Processing, EmptyAndNegativeBlocksTouchNothing) {
    for (aeLong frames : {0, -1, -4096}) {
        ZURProbe z;
        z.sweepCountdown = 0;
        z.bufPos = 77;
        const float before = z.curFreq;
        float x = 0.5f, left = 0.25f, right = 0.25f;
        float* inputs[] = {&x};
        float* outputs[] = {&left, &right};
        z.processReplacing(inputs, outputs, frames);
        z.process(inputs, outputs, frames);
        EXPECT_EQ(left, 0.25f);
        EXPECT_EQ(right, 0.25f);
        EXPECT_EQ(z.bufPos, 77);
        EXPECT_EQ(z.sweepCountdown, 0);
        EXPECT_EQ(z.curFreq, before);
    }
}

TEST(Processing, RingWrapsFromTheLastSlot) {
    ZURProbe z;
    prepare(z, 1, 1.0f, 0.0f);
    z.bufPos = 511;
    z.sec1Z1[511] = 0.125f;  // read by the first frame
    const float x[3] = {0.0f, 0.0f, 0.0f};
    float left[3], right[3];
    runBlock(z, Entry::Replace, x, left, right, 3);
    EXPECT_EQ(z.bufPos, 2);
    EXPECT_EQ(left[0], static_cast<float>(0.0001 * z.sec1Gain + 0.125));
    EXPECT_NE(z.sec1Z2[0], 0.0f);  // the first frame wrote slot 0
}

TEST(Processing, InputMayShareMemoryWithAnOutput) {
    for (Entry entry : {Entry::Replace, Entry::Accumulate})
        for (aeLong twoPole : {0, 1}) {
            ZURProbe separate, shared;
            for (ZURProbe* z : {&separate, &shared})
                z->setParameter(ZUR::kPoleSwitchIndex, twoPole ? 1.0f : 0.0f),
                    z->setParameter(5, 0.9f);
            std::mt19937 rng(7);
            std::uniform_real_distribution<float> noise(-0.5f, 0.5f);
            std::vector<float> input(700), left(700, 0.0f), right(700, 0.0f);
            for (float& s : input) s = noise(rng);
            std::vector<float> inPlace = input, otherChannel(700, 0.0f);
            if (entry == Entry::Accumulate) {
                // Accumulating into the input itself adds the output to it.
                std::copy(input.begin(), input.end(), left.begin());
            }
            runBlock(separate, entry, input.data(), left.data(), right.data(), 700);
            runBlock(shared, entry, inPlace.data(), inPlace.data(), otherChannel.data(), 700);
            EXPECT_EQ(inPlace, left);
            EXPECT_EQ(otherChannel, right);
        }
}

// Renders a stream in blocks of the given lengths, cycling through them.
std::vector<float> renderInBlocks(const std::vector<float>& input, const std::vector<int>& blocks,
                                  Entry entry, float sweep, float poles) {
    ZURProbe z;
    z.setParameter(ZUR::kPoleSwitchIndex, poles);
    z.setParameter(5, sweep);
    z.setParameter(7, 0.3f);
    std::vector<float> out(2 * input.size(), 0.0f);
    std::size_t pos = 0;
    for (std::size_t b = 0; pos < input.size(); ++b) {
        const int len =
            std::min<int>(blocks[b % blocks.size()], static_cast<int>(input.size() - pos));
        runBlock(z, entry, input.data() + pos, out.data() + pos, out.data() + input.size() + pos,
                 len);
        pos += static_cast<std::size_t>(len);
    }
    return out;
}

TEST(Processing, SplittingAStreamIntoBlocksChangesNothing) {
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
    std::vector<float> input(20000);
    for (float& s : input) s = noise(rng);
    for (Entry entry : {Entry::Replace, Entry::Accumulate})
        for (float sweep : {0.1f, 0.5f, 0.9f})
            for (float poles : {0.0f, 1.0f}) {
                const auto whole = renderInBlocks(input, {20000}, entry, sweep, poles);
                EXPECT_EQ(renderInBlocks(input, {1, 7, 50, 51, 512, 3}, entry, sweep, poles),
                          whole);
                EXPECT_EQ(renderInBlocks(input, {511, 1, 0, 1024}, entry, sweep, poles), whole);
            }
}

// Processes silent frames one by one and records the frames at which curFreq moved.
std::vector<int> stepFrames(ZURProbe& z, int frames) {
    std::vector<int> steps;
    const float x = 0.0f;
    float left, right;
    for (int n = 0; n < frames; ++n) {
        const aeLong before = z.sweepCountdown;
        runBlock(z, Entry::Replace, &x, &left, &right, 1);
        if (before == 0) steps.push_back(n);
    }
    return steps;
}

TEST(Sweep, FirstStepOnThe101stFrameThenEvery51) {
    ZURProbe z;  // Sin sweep after creation
    const float start = z.sinePos;
    const std::vector<int> expected = {100, 151, 202, 253};
    EXPECT_EQ(stepFrames(z, 254), expected);
    EXPECT_NE(z.sinePos, start);
    EXPECT_EQ(z.sweepCountdown, 50);
}

TEST(Sweep, CountdownAtZeroStepsOnTheFirstFrame) {
    ZURProbe z;
    z.sweepCountdown = 0;
    const std::vector<int> expected = {0, 51, 102};
    EXPECT_EQ(stepFrames(z, 103), expected);
}

TEST(Sweep, OffLeavesFrequencyAndCountdownAlone) {
    ZURProbe z;
    z.setParameter(5, 0.0f);
    const float freq = z.curFreq;
    EXPECT_TRUE(stepFrames(z, 500).empty());
    EXPECT_EQ(z.sweepCountdown, 100);
    EXPECT_EQ(z.curFreq, freq);
}

// A SWEEP value whose shape is neither Triangle nor Sin (below about -0.3448,
// or from about 1.0345) moves nothing and counts nothing.
TEST(Sweep, AShapeOtherThanTriangleOrSinLeavesTheSweepStill) {
    for (float v : {-0.5f, -3.0f, 1.04f, 5.0f}) {
        ZURProbe z;
        z.setParameter(5, v);
        ASSERT_TRUE(z.lfoMode < 0 || z.lfoMode > 2) << v;
        const float freq = z.curFreq, pos = z.sinePos;
        EXPECT_TRUE(stepFrames(z, 500).empty()) << v;
        EXPECT_EQ(z.sweepCountdown, 100) << v;
        EXPECT_EQ(z.curFreq, freq) << v;
        EXPECT_EQ(z.sinePos, pos) << v;
    }
}

// The sine turns when its position has reached an end, not only past it.
TEST(Sweep, SineTurnsExactlyAtTheEnds) {
    const struct {
        float pos, step, next;
    } rows[] = {
        {511.0f, 0.5f, 510.5f},  // at the top: turns down
        {1.0f, -0.5f, 1.5f},     // at the bottom: turns up
        {std::nextafter(511.0f, 0.0f), 0.5f, std::nextafter(511.0f, 0.0f) + 0.5f},
        {std::nextafter(1.0f, 2.0f), -0.5f, std::nextafter(1.0f, 2.0f) - 0.5f},
    };
    for (const auto& row : rows) {
        ZURProbe z;
        z.lfoMode = 2;
        z.sineIncrement = 0.5f;
        z.sinePos = row.pos;
        z.sineStep = row.step;
        z.sweepCountdown = 0;
        stepFrames(z, 1);
        EXPECT_EQ(z.sinePos, row.next) << row.pos;
    }
}

TEST(Sweep, TriangleTurnsOnlyAtOrPastABound) {
    ZURProbe z;
    z.lfoMode = 1;
    z.triangleIncrement = 0.01f;
    z.fmin = 0.2f;
    z.fmax = 0.2f;
    z.curFreq = 0.2f;
    z.sweepCountdown = 0;
    stepFrames(z, 1);
    const float down = static_cast<float>(static_cast<double>(0.2f) - 0.01f);
    EXPECT_EQ(z.curFreq, down);  // both tests hold: the downward step wins
    z.sweepCountdown = 0;
    stepFrames(z, 1);
    EXPECT_EQ(z.curFreq, static_cast<float>(static_cast<double>(down) + 0.01f));

    // Strictly between the bounds the step keeps its direction.
    z.fmin = 0.1f;
    z.fmax = 0.3f;
    z.curFreq = 0.25f;
    z.triangleStep = -0.01f;
    z.sweepCountdown = 0;
    stepFrames(z, 1);
    EXPECT_EQ(z.curFreq, static_cast<float>(static_cast<double>(0.25f) - 0.01f));
}

TEST(Sweep, TriangleCyclesBetweenTheBounds) {
    ZURProbe z;
    z.setParameter(5, 0.5f);  // Triangle
    const float low = z.fmin, high = z.fmax, step = z.triangleIncrement;
    float lowest = z.curFreq, highest = z.curFreq;
    const float x = 0.0f;
    float left, right;
    for (int n = 0; n < 3000000; ++n) {
        runBlock(z, Entry::Replace, &x, &left, &right, 1);
        lowest = std::min<float>(lowest, z.curFreq);
        highest = std::max<float>(highest, z.curFreq);
    }
    EXPECT_GE(lowest, low - 1.01f * step);
    EXPECT_LE(highest, high + 1.01f * step);
    EXPECT_LT(highest, z.freqLimit);
    EXPECT_LT(lowest, low + step);
    EXPECT_GT(highest, high - step);
}

TEST(Sweep, FirstTriangleStepAfterCreationMovesOneIncrement) {
    ZURProbe z;
    z.setParameter(5, 0.5f);
    const float start = z.curFreq;
    z.sweepCountdown = 0;
    stepFrames(z, 1);
    EXPECT_EQ(z.curFreq, static_cast<float>(static_cast<double>(start) + z.triangleIncrement));
    EXPECT_LE(z.curFreq, z.freqLimit);
}

// Switched from Sin to Triangle with the frequency between the bounds, the
// triangle's first step goes up by one step of the sweep in force, as if it
// had started there: the frequency stays within one step of the bounds.
TEST(Sweep, SwitchingFromSinToTriangleBetweenTheBoundsStepsByOneIncrement) {
    ZURProbe z;  // Sin
    stepFrames(z, 4000);
    ASSERT_GT(z.curFreq, z.fmin);
    ASSERT_LT(z.curFreq, z.fmax);
    z.setParameter(5, 0.5f);
    const float before = z.curFreq, step = z.triangleIncrement;
    z.sweepCountdown = 0;
    stepFrames(z, 1);
    EXPECT_EQ(z.curFreq, static_cast<float>(static_cast<double>(before) + step));
    for (int n = 0; n < 200000; ++n) {
        stepFrames(z, 1);
        ASSERT_LE(z.curFreq, z.fmax + step) << n;
        ASSERT_GE(z.curFreq, z.fmin - step) << n;
    }
}

TEST(Sweep, SineTurnsAtTheTopOfTheTable) {
    ZURProbe z;
    z.lfoMode = 2;
    z.fmin = 0.0f;
    z.fmax = 1.0f;
    z.sinePos = 510.7f;
    z.sineStep = 0.5f;
    z.sineIncrement = 0.5f;
    z.sweepCountdown = 0;
    stepFrames(z, 1);
    const float top = static_cast<float>(static_cast<double>(510.7f) + 0.5f);
    EXPECT_EQ(z.sinePos, top);
    EXPECT_EQ(z.curFreq, ZURProbe::CosTable[511]);
    z.sweepCountdown = 0;
    stepFrames(z, 1);
    EXPECT_EQ(z.sinePos, static_cast<float>(static_cast<double>(top) - 0.5f));
    EXPECT_EQ(z.curFreq, ZURProbe::CosTable[510]);
}

TEST(Sweep, LargeSineStepsStayInsideTheTable) {
    ZURProbe z;
    z.setParameter(3, 0.0f);  // fastest sweep: the step is about 1.93 positions
    ASSERT_GT(z.sineIncrement, 1.0f);
    const float x = 0.0f;
    float left, right;
    for (int n = 0; n < 200000; ++n) {
        runBlock(z, Entry::Replace, &x, &left, &right, 1);
        ASSERT_GE(z.curFreq, z.fmin);
        ASSERT_LE(z.curFreq, z.fmax);
    }
}

TEST(Meter, AlwaysReadsZero) {
    ZURProbe z;
    EXPECT_EQ(z.getVu(), 0.0f);
    EXPECT_EQ(z.getVu(), 0.0f);
    z.vu = 0.5f;
    EXPECT_EQ(z.getVu(), 0.5f);
    EXPECT_EQ(z.vu, 0.0f);
}

TEST(Suspend, ClearsTheRingsAndNothingElse) {
    ZURProbe z;
    z.fillRings(0.75f);
    z.bufPos = 300;
    z.sweepCountdown = 12;
    z.sinePos = 40.0f;
    z.curFreq = 0.3f;
    z.suspend();
    for (float* ring : {z.sec1Z1.get(), z.sec1Z2.get(), z.sec2Z1.get(), z.sec2Z2.get()})
        for (int i = 0; i < ZUR::kRingSize; ++i) ASSERT_EQ(ring[i], 0.0f);
    EXPECT_EQ(z.bufPos, 300);
    EXPECT_EQ(z.sweepCountdown, 12);
    EXPECT_EQ(z.sinePos, 40.0f);
    EXPECT_EQ(z.curFreq, 0.3f);
}

TEST(Poles, SectionTwoResumesFromItsRingsAfterTwoPoleMode) {
    ZURProbe z;
    z.setParameter(ZUR::kPoleSwitchIndex, 1.0f);
    z.setParameter(5, 0.9f);
    z.sec2Z1[z.bufPos] = 0.5f;
    const float x[10] = {0.1f};
    float left[10], right[10];
    runBlock(z, Entry::Replace, x, left, right, 10);
    EXPECT_EQ(z.sec2Z1[0], 0.5f);  // untouched while 2-pole
}

}  // namespace
