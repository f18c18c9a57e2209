#include <cmath>

#include "zur_probe.h"

namespace {

TEST(Construction, WorkingValuesAfterProgramZero) {
    ZURProbe z;
    EXPECT_TRUE(matchesFigure(z.fresFreq, "0.0180108"));
    EXPECT_EQ(z.curFreq, z.fresFreq);
    EXPECT_EQ(z.restFreq, z.fresFreq);
    EXPECT_EQ(z.fmin, z.fresFreq);
    EXPECT_EQ(z.sinePos, z.fresFreq);
    EXPECT_TRUE(matchesFigure(z.sweepWidth, "0.0940323"));
    EXPECT_TRUE(matchesFigure(z.fmax, "0.112043"));
    EXPECT_TRUE(matchesFigure(z.freqLimit, "0.488172"));
    EXPECT_EQ(z.sweepTime, 0.2f);
    EXPECT_TRUE(matchesFigure(z.sineIncrement, "0.144805"));
    EXPECT_TRUE(matchesFigure(z.triangleIncrement, "0.0000532928"));
    EXPECT_EQ(z.lfoMode, 2);
    EXPECT_EQ(z.twoPole, 0);
    EXPECT_EQ(z.sweepCountdown, 100);
    EXPECT_EQ(z.bufPos, 0);
    EXPECT_EQ(z.sineStep, 0.0f);
    EXPECT_EQ(z.vu, 0.0f);
    EXPECT_EQ(z.feedback, 0.0f);
    EXPECT_EQ(z.mix, 0.0f);
    for (float* ring : {z.sec1Z1.get(), z.sec1Z2.get(), z.sec2Z1.get(), z.sec2Z2.get()})
        for (int i = 0; i < ZUR::kRingSize; ++i) ASSERT_EQ(ring[i], 0.0f);
}

TEST(Construction, EveryProgramStartsWithTheSameDefaults) {
    ZURProbe z;
    for (int i = 0; i < ZUR::kNumPrograms; ++i) {
        const ZURProgram& p = z.programs[static_cast<std::size_t>(i)];
        EXPECT_EQ(p.fres, 0.25f);
        EXPECT_EQ(p.resonance, 0.25f);
        EXPECT_EQ(p.q, 0.1f);
        EXPECT_EQ(p.pan, 0.5f);
        EXPECT_EQ(p.sweepRange, 0.2f);
        EXPECT_EQ(p.sweepTime, 0.2f);
        EXPECT_EQ(p.poleSwitch, 0.0f);
        EXPECT_EQ(p.sweep, 0.9f);
        EXPECT_EQ(p.mix, 0.0f);
        EXPECT_STREQ(p.name, "ZUR Tidewander 1.03");
    }
}

TEST(Programs, ReselectingStartsFromTheStateTheLastSelectionLeft) {
    ZURProbe z;
    z.setProgram(0);
    EXPECT_TRUE(matchesFigure(z.fresFreq, "0.0246337"));
    EXPECT_TRUE(matchesFigure(z.sweepWidth, "0.0927077"));
}

TEST(Programs, SelectionEqualsSendingTheValuesInOrder) {
    ZURProbe selected, sent;
    ZURProgram& p = selected.programs[4];
    p.fres = 0.6f;
    p.resonance = 0.7f;
    p.mix = 0.2f;
    p.q = 0.9f;
    p.poleSwitch = 1.0f;
    p.pan = 0.1f;
    p.sweepTime = 0.5f;
    p.sweepRange = 0.8f;
    p.sweep = 0.4f;
    selected.setProgram(4);
    const std::pair<aeLong, float> order[] = {
        {0, 0.6f}, {1, 0.7f}, {7, 0.2f}, {2, 0.9f}, {ZUR::kPoleSwitchIndex, 1.0f},
        {6, 0.1f}, {3, 0.5f}, {4, 0.8f}, {5, 0.4f}};
    for (auto [index, value] : order) sent.setParameter(index, value);
    EXPECT_EQ(selected.fresFreq, sent.fresFreq);
    EXPECT_EQ(selected.fmin, sent.fmin);
    EXPECT_EQ(selected.fmax, sent.fmax);
    EXPECT_EQ(selected.sweepWidth, sent.sweepWidth);
    EXPECT_EQ(selected.triangleIncrement, sent.triangleIncrement);
    EXPECT_EQ(selected.sineIncrement, sent.sineIncrement);
    EXPECT_EQ(selected.twoPole, 1);
    EXPECT_EQ(selected.lfoMode, 1);
    EXPECT_EQ(selected.sec1Gain, sent.sec1Gain);
    EXPECT_EQ(selected.sec1A1, sent.sec1A1);
    EXPECT_EQ(selected.freqLimit, sent.freqLimit);
}

TEST(Programs, OutOfRangeSelectionChangesNothing) {
    ZURProbe z;
    for (aeLong program : {-1, 16, 1000}) {
        z.setProgram(program);
        EXPECT_EQ(z.getProgram(), 0) << program;
    }
}

TEST(Parameters, FloorsAndCeilingsOfTheWorkingValues) {
    ZURProbe z;
    z.setParameter(1, 0.0f);
    EXPECT_EQ(z.resonance, 0.03f);
    EXPECT_EQ(z.programs[0].resonance, 0.0f);
    z.setParameter(2, -5.0f);
    EXPECT_EQ(z.q, 0.05f);
    z.setParameter(3, 0.0f);
    EXPECT_EQ(z.sweepTime, 0.015f);

    // Whatever Fres is, the resting frequency stays between 0.002 and the ceiling.
    for (float fres : {-10.0f, 0.0f, 0.5f, 1.0f, 3.0f, 1e6f}) {
        ZURProbe f;
        f.setParameter(0, fres);
        EXPECT_GE(f.fresFreq, 0.002f) << fres;
        EXPECT_LE(f.fresFreq, f.freqLimit) << fres;
        EXPECT_LE(f.fmax, 0.995f) << fres;
    }
    // Whatever SweepRange is, the sweep's top stays at or below the ceiling.
    for (float range : {-3.0f, 0.0f, 0.5f, 1.0f, 7.0f}) {
        ZURProbe r;
        r.setParameter(4, range);
        EXPECT_LE(r.fmax, r.freqLimit) << range;
        EXPECT_GE(r.fmin, 0.002f) << range;
    }
}

TEST(Parameters, SweepOffReturnsToTheRestingFrequency) {
    ZURProbe z;
    z.curFreq = 0.3f;
    z.sinePos = 200.0f;
    z.setParameter(5, 0.2f);
    EXPECT_EQ(z.lfoMode, 0);
    EXPECT_EQ(z.curFreq, z.restFreq);
    EXPECT_EQ(z.sinePos, 0.0f);
}

TEST(Parameters, PoleSwitchTakesEffectAtTheNextFilterDesign) {
    ZURProbe z;
    const float gain = z.sec1Gain;
    z.setParameter(ZUR::kPoleSwitchIndex, 0.6f);
    EXPECT_EQ(z.twoPole, 1);
    EXPECT_EQ(z.sec1Gain, gain);
    z.setParameter(1, 0.25f);
    EXPECT_NE(z.sec1Gain, gain);
    z.setParameter(ZUR::kPoleSwitchIndex, 0.5f);
    EXPECT_EQ(z.twoPole, 0);
}

TEST(Parameters, SweepRangeReadsBackWhatWasSetOnThisInstance) {
    ZURProbe a, b;
    EXPECT_EQ(a.getParameter(4), 0.2f);  // program 0's, applied at construction
    a.setParameter(4, 0.375f);
    EXPECT_EQ(b.getParameter(4), 0.2f);
    b.setParameter(4, 0.125f);
    EXPECT_EQ(a.getParameter(4), 0.375f);
    EXPECT_EQ(b.getParameter(4), 0.125f);
    ZURProbe c;
    EXPECT_EQ(a.getParameter(4), 0.375f);
    EXPECT_EQ(c.getParameter(4), 0.2f);
}

TEST(Parameters, ReadOnlyBoundsDisplayAndRepairTheirOrder) {
    ZURProbe z;
    z.fmin = 0.3f;
    z.fmax = 0.2f;
    char text[ZUR::kDisplaySize];
    z.getParameterDisplay(ZUR::kFminIndex, text);
    EXPECT_STREQ(text, "f = 6615");
    EXPECT_EQ(z.fmax, 0.3f);
    z.fmax = 0.1f;
    z.getParameterDisplay(ZUR::kFmaxIndex, text);
    EXPECT_STREQ(text, "f = 2205");
    EXPECT_EQ(z.fmax, 0.3f);
}

TEST(Parameters, TextsStayInsideTheirBuffersWhateverTheFieldsHold) {
    const float extremes[] = {0.0f, -1.0f, 1e30f, -1e30f, 1e9f, INFINITY, -INFINITY, NAN, 2.5f};
    const aeLong indices[] = {0, 1, 2, 3, 4, 5, 6, 7, 1000, 1001, 1111, 2000, 2001, 3100, -1};
    for (float v : extremes) {
        ZURProbe z;
        z.fresFreq = z.resonance = z.sweepTime = z.sweepWidth = z.sweep = z.poleSwitch = v;
        z.q = v;
        z.pan = v;
        z.mix = v;
        z.fmin = v;
        z.fmax = v;
        z.feedback = v;
        for (aeLong index : indices) {
            char buffer[64];
            std::memset(buffer, 'x', sizeof buffer);
            z.getParameterDisplay(index, buffer);
            EXPECT_EQ(buffer[ZUR::kDisplaySize], 'x') << index << " " << v;
            if (buffer[0] != 'x') {
                EXPECT_LT(strnlen(buffer, sizeof buffer), std::size_t{ZUR::kDisplaySize}) << index;
            }
            std::memset(buffer, 'x', sizeof buffer);
            z.getParameterName(index, buffer);
            EXPECT_EQ(buffer[ZUR::kNameSize], 'x') << index;
            std::memset(buffer, 'x', sizeof buffer);
            z.getParameterLabel(index, buffer);
            EXPECT_EQ(buffer[ZUR::kLabelSize], 'x') << index;
        }
    }
}

}  // namespace
