#include <cmath>
#include <limits>

#include "zur_probe.h"

namespace {

TEST(FilterTables, HoldThePublishedEntries) {
    EXPECT_EQ(ZURProbe::CotTable[0], std::numeric_limits<float>::infinity());
    const struct {
        int index;
        const char* cot;
    } cotEntries[] = {
        {1, "325.94421"}, {2, "162.97058"}, {256, "0.99998033"}, {511, "0.0030483361"}};
    for (const auto& e : cotEntries)
        EXPECT_TRUE(matchesFigure(ZURProbe::CotTable[e.index], e.cot)) << "cot entry " << e.index;
    const struct {
        int index;
        const char* cos;
    } cosEntries[] = {{0, "0.0"}, {128, "0.49999705"}, {256, "1.0"}, {511, "0.000037794"}};
    for (const auto& e : cosEntries)
        EXPECT_TRUE(matchesFigure(ZURProbe::CosTable[e.index], e.cos)) << "cos entry " << e.index;
    EXPECT_EQ(ZURProbe::CosTable[256], 1.0f);
}

TEST(Cotangent, InterpolatesTheTable) {
    const struct {
        float x;
        const char* expected;
    } cases[] = {
        {0.5f, "0.99998033"}, {1.0f / 512, "325.94421"}, {0.25f, "2.4141800"},
        {0.1f, "6.3140552"},  {0.999f, "0.0015607"},     {0.003f, "238.5903"},
    };
    for (const auto& c : cases) EXPECT_TRUE(matchesFigure(ZURProbe::cot(c.x), c.expected)) << c.x;
    EXPECT_EQ(ZURProbe::cot(0.5f), ZURProbe::CotTable[256]);
}

TEST(Cotangent, StaysInsideTheTableAndPositiveOutsideItsDomain) {
    const float nearOne = std::nextafter(1.0f, 0.0f);
    const float cases[] = {0.0f,    -0.0f,  -1.0f, 1.0f / 1024, 1.0f,      nearOne, 1.5f,
                           1000.0f, -1e30f, 1e30f, INFINITY,    -INFINITY, NAN};
    const double lowest = ZURProbe::cot(1.0f / 512);
    for (float x : cases) {
        const double k = ZURProbe::cot(x);
        EXPECT_TRUE(std::isfinite(k)) << x;
        EXPECT_GT(k, 1e-3) << x;
        EXPECT_LE(k, lowest) << x;
    }
    EXPECT_EQ(ZURProbe::cot(-1.0f), lowest);
    EXPECT_EQ(ZURProbe::cot(NAN), lowest);
    EXPECT_EQ(ZURProbe::cot(2.0f), ZURProbe::cot(1.0f));
}

struct PrototypeCase {
    aeLong twoPole;
    float resonance;
    float q;
    const char* protoA1;
    const char* protoA2;  // null: left as it was
    const char* protoPeak;
    const char* freqLimit;
};

TEST(CalcAB, PrototypeOverTheParameterRange) {
    const PrototypeCase cases[] = {
        {0, 0.03f, 0.05f, "1.282051", "1.846154", "0.4919544", "0.4181612"},
        {0, 1.0f, 0.05f, "0.0805153", "0.115942", "0.5770383", "0.4904825"},
        // The ceiling stored here is the float 0.48686057.
        {0, 0.03f, 1.0f, "0.3076923", "7.692308", "0.5727772", "0.4868606"},
        {0, 1.0f, 1.0f, "0.01932367", "0.4830918", "0.5773323", "0.4907325"},
        {0, 0.25f, 0.1f, "0.2506266", "0.4912281", "0.5743202", "0.4881722"},
        {1, 1.0f, 0.1f, "0.3225806", nullptr, "0.5723219", "0.4864736"},
        {1, 0.103f, 0.1f, "2.444988", nullptr, "0.03498792", "0.02973973"},
    };
    for (const PrototypeCase& c : cases) {
        ZURProbe z;
        z.twoPole = c.twoPole;
        z.resonance = c.resonance;
        z.q = c.q;
        z.protoB = -7.0f;
        z.protoA2 = 123.0f;
        z.CalcAB();
        const std::string row = std::to_string(c.resonance) + "/" + std::to_string(c.q);
        EXPECT_EQ(z.protoB, 3.0f) << row;
        EXPECT_TRUE(matchesFigure(z.protoA1, c.protoA1)) << row;
        if (c.protoA2) {
            EXPECT_TRUE(matchesFigure(z.protoA2, c.protoA2)) << row;
        } else {
            EXPECT_EQ(z.protoA2, 123.0f) << row;
        }
        EXPECT_TRUE(matchesFigure(z.protoPeak, c.protoPeak)) << row;
        EXPECT_TRUE(matchesFigure(z.freqLimit, c.freqLimit)) << row;
    }
}

TEST(CalcAB, TwoPoleWithoutResonancePeakKeepsAPositiveCeilingAndStableSections) {
    for (float res = 0.03f; res < 0.11f; res += 0.0005f) {
        ZURProbe z;
        z.twoPole = 1;
        z.resonance = res;
        z.CalcAB();
        EXPECT_TRUE(std::isfinite(z.protoPeak) && z.protoPeak > 0.0f) << res;
        EXPECT_GT(z.freqLimit, 0.0f) << res;
        for (float f : {0.002f, 0.05f, 0.3f, 0.9f}) {
            z.curFreq = f;
            z.CalcFil();
            EXPECT_TRUE(isStable(z.sec1A1, z.sec1A2)) << res << " at " << f;
            EXPECT_TRUE(std::isfinite(z.sec1Gain)) << res << " at " << f;
        }
    }
}

TEST(CalcAB, SweepOffLowersTheRestingFrequencyOrTheSweepWidth) {
    ZURProbe z;  // resonance 0.25, q 0.1, 4-pole: freqLimit 0.4881722
    z.lfoMode = 0;
    z.fresFreq = 0.7f;
    z.sweepWidth = 0.05f;
    z.fmax = 0.9f;
    z.curFreq = 0.1f;
    z.CalcAB();
    EXPECT_TRUE(matchesFigure(z.fresFreq, "0.4881722"));
    EXPECT_EQ(z.sweepWidth, 0.05f);

    z.fresFreq = 0.3f;
    z.fmax = 0.6f;
    z.CalcAB();
    EXPECT_EQ(z.fresFreq, 0.3f);
    EXPECT_TRUE(matchesFigure(z.sweepWidth, "0.1881722"));
    EXPECT_EQ(z.fmax, 0.6f);
}

TEST(CalcAB, SweepOnLowersOnlyTheCurrentFrequency) {
    ZURProbe z;
    z.lfoMode = 2;
    z.fresFreq = 0.7f;
    z.sweepWidth = 0.3f;
    z.fmax = 0.9f;
    z.curFreq = 0.9f;
    z.CalcAB();
    EXPECT_EQ(z.fresFreq, 0.7f);
    EXPECT_EQ(z.sweepWidth, 0.3f);
    EXPECT_EQ(z.fmax, 0.9f);
    EXPECT_EQ(z.curFreq, z.freqLimit);
    // A value equal to the ceiling is left alone.
    z.curFreq = z.freqLimit;
    z.CalcAB();
    EXPECT_EQ(z.curFreq, z.freqLimit);
}

struct Coefficients {
    const char* gain;
    const char* a1;
    const char* a2;
};

void expectSection(float gain, float a1, float a2, const Coefficients& c, const char* which) {
    EXPECT_TRUE(matchesFigure(gain, c.gain)) << which;
    EXPECT_TRUE(matchesFigure(a1, c.a1)) << which;
    EXPECT_TRUE(matchesFigure(a2, c.a2)) << which;
}

TEST(CalcFil, WorkedExamples) {
    ZURProbe z;  // values at construction: 4-pole, resonance 0.25, q 0.1
    z.curFreq = 0.1f;
    z.CalcAB();
    z.CalcFil();
    expectSection(z.sec1Gain, z.sec1A1, z.sec1A2, {"0.09996765", "-1.855377", "0.9553450"},
                  "4-pole 1");
    expectSection(z.sec2Gain, z.sec2A1, z.sec2A2, {"0.08101302", "-1.840698", "0.9217106"},
                  "4-pole 2");

    z.curFreq = 0.9f;
    z.CalcAB();
    EXPECT_TRUE(matchesFigure(z.curFreq, "0.4881722"));
    z.CalcFil();
    expectSection(z.sec1Gain, z.sec1A1, z.sec1A2, {"3.243977", "1.341566", "0.9024118"}, "ceiling");

    ZURProbe two;
    two.twoPole = 1;
    two.resonance = 1.0f;
    two.curFreq = 0.1f;
    two.sec2Gain = 5.0f;
    two.sec2A1 = 6.0f;
    two.sec2A2 = 7.0f;
    two.CalcAB();
    two.CalcFil();
    expectSection(two.sec1Gain, two.sec1A1, two.sec1A2, {"0.1000302", "-1.842668", "0.9426984"},
                  "2-pole");
    EXPECT_EQ(two.sec2Gain, 5.0f);
    EXPECT_EQ(two.sec2A1, 6.0f);
    EXPECT_EQ(two.sec2A2, 7.0f);
}

TEST(CalcFil, UnitGainAtDcAndStableOverTheWholeDomain) {
    for (aeLong mode : {0, 1})
        for (float res : {0.03f, 0.1f, 0.25f, 0.5f, 1.0f})
            for (float q : {0.05f, 0.5f, 1.0f})
                for (float f : {0.0f, 0.002f, 0.01f, 0.1f, 0.3f, 0.48f, 0.995f, 2.0f}) {
                    ZURProbe z;
                    z.twoPole = mode;
                    z.resonance = res;
                    z.q = q;
                    z.CalcAB();
                    z.curFreq = f;
                    z.CalcFil();
                    const std::string row = std::to_string(mode) + " " + std::to_string(res) + " " +
                                            std::to_string(q) + " " + std::to_string(f);
                    EXPECT_NEAR(z.sec1Gain, 1.0f + z.sec1A1 + z.sec1A2,
                                4e-6 * std::fabs(z.sec1Gain) + 1e-6)
                        << row;
                    EXPECT_TRUE(isStable(z.sec1A1, z.sec1A2)) << row;
                    if (mode == 0) {
                        EXPECT_NEAR(z.sec2Gain, 1.0f + z.sec2A1 + z.sec2A2,
                                    4e-6 * std::fabs(z.sec2Gain) + 1e-6)
                            << row;
                        EXPECT_TRUE(isStable(z.sec2A1, z.sec2A2)) << row;
                    }
                }
}

}  // namespace
