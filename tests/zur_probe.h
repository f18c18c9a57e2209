// Opens the effect's fields and filter design to unit tests, and a few helpers
// for comparing against published figures.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "zur.h"

struct ZURProbe : ZUR {
    ZURProbe() : ZUR(nullptr) {}

    using ZUR::CalcAB;
    using ZUR::CalcFil;
    using ZUR::CosTable;
    using ZUR::cot;
    using ZUR::CotTable;
    using ZUR::fGetRange;

    using ZUR::bufPos;
    using ZUR::curFreq;
    using ZUR::feedback;
    using ZUR::fmax;
    using ZUR::fmin;
    using ZUR::freqLimit;
    using ZUR::fres;
    using ZUR::fresFreq;
    using ZUR::lfoMode;
    using ZUR::mix;
    using ZUR::pan;
    using ZUR::poleSwitch;
    using ZUR::programs;
    using ZUR::protoA1;
    using ZUR::protoA2;
    using ZUR::protoB;
    using ZUR::protoPeak;
    using ZUR::q;
    using ZUR::resonance;
    using ZUR::restFreq;
    using ZUR::sec1A1;
    using ZUR::sec1A2;
    using ZUR::sec1Gain;
    using ZUR::sec1Z1;
    using ZUR::sec1Z2;
    using ZUR::sec2A1;
    using ZUR::sec2A2;
    using ZUR::sec2Gain;
    using ZUR::sec2Z1;
    using ZUR::sec2Z2;
    using ZUR::sineIncrement;
    using ZUR::sinePos;
    using ZUR::sineStep;
    using ZUR::sweep;
    using ZUR::sweepCountdown;
    using ZUR::sweepTime;
    using ZUR::sweepWidth;
    using ZUR::triangleIncrement;
    using ZUR::triangleStep;
    using ZUR::twoPole;
    using ZUR::vu;

    // Sets all four rings to one value.
    void fillRings(float value) {
        for (float* ring : {sec1Z1.get(), sec1Z2.get(), sec2Z1.get(), sec2Z2.get()})
            for (int i = 0; i < kRingSize; ++i) ring[i] = value;
    }
};

// True when `actual` rounds to the decimal figure `expected`, read with as many
// significant digits as it is written with.
inline ::testing::AssertionResult matchesFigure(double actual, const char* expected) {
    int digits = 0;
    bool leading = true;
    for (const char* c = expected; *c && *c != 'e'; ++c) {
        if (*c < '0' || *c > '9') continue;
        if (*c != '0') leading = false;
        if (!leading) ++digits;
    }
    const double value = std::strtod(expected, nullptr);
    if (value == 0.0) {
        if (actual == 0.0) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << actual << " is not " << expected;
    }
    const double unit = std::pow(10.0, std::floor(std::log10(std::fabs(value))) - digits + 1);
    if (std::fabs(actual - value) <= 0.5 * unit * (1.0 + 1e-9))
        return ::testing::AssertionSuccess();
    char shown[64];
    std::snprintf(shown, sizeof shown, "%.*g", digits + 2, actual);
    return ::testing::AssertionFailure() << shown << " does not round to " << expected;
}

// A second-order recursion y = g*u - a1*y[-1] - a2*y[-2] has both poles inside
// the unit circle.
inline bool isStable(double a1, double a2) {
    return std::fabs(a2) < 1.0 && std::fabs(a1) < 1.0 + a2;
}
