// Moves the design's fields between the effect (through its probe) and the
// second reading, and compares them, every one exactly.
#pragma once

#include <cstdio>
#include <string>

#include "reference_design.h"
#include "zur_probe.h"

// clang-format off
#define ZUR_DESIGN_FIELDS(X)                                                            \
    X(protoA1) X(protoB) X(protoA2) X(sec1Gain) X(sec1A1) X(sec1A2) X(sec2Gain)         \
    X(sec2A1) X(sec2A2) X(fres) X(curFreq) X(sinePos) X(resonance) X(q) X(pan)          \
    X(sweepWidth) X(sweep) X(sweepTime) X(fmin) X(fmax) X(triangleIncrement)            \
    X(sineIncrement) X(fresFreq) X(restFreq) X(poleSwitch) X(protoPeak) X(freqLimit)    \
    X(mix) X(triangleStep) X(sineStep) X(lfoMode) X(twoPole)
// clang-format on

inline reference::Design readDesign(const ZURProbe& z) {
    reference::Design d;
#define ZUR_READ(f) d.f = z.f;
    ZUR_DESIGN_FIELDS(ZUR_READ)
#undef ZUR_READ
    d.readBackRange = z.fGetRange;
    return d;
}

inline void writeDesign(ZURProbe& z, const reference::Design& d) {
#define ZUR_WRITE(f) z.f = d.f;
    ZUR_DESIGN_FIELDS(ZUR_WRITE)
#undef ZUR_WRITE
    z.fGetRange = d.readBackRange;
}

// Every field equal, NaN to NaN; the first one that differs is named.
inline ::testing::AssertionResult sameDesign(const ZURProbe& z, const reference::Design& d) {
    const reference::Design e = readDesign(z);
    std::string differ;
    auto check = [&](const char* name, double effect, double expected) {
        if (differ.empty() && !(effect == expected) &&
            !(effect != effect && expected != expected)) {
            char text[160];
            std::snprintf(text, sizeof text, "%s is %.9g, the formulas give %.9g", name, effect,
                          expected);
            differ = text;
        }
    };
#define ZUR_CHECK(f) check(#f, static_cast<double>(e.f), static_cast<double>(d.f));
    ZUR_DESIGN_FIELDS(ZUR_CHECK)
#undef ZUR_CHECK
    check("fGetRange", e.readBackRange, d.readBackRange);
    if (differ.empty()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << differ;
}
