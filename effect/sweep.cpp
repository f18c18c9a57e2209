// The sweep: one step of the Triangle or Sin shape every 51 frames, each
// followed by the coefficients for the new frequency.
//
// A step and its design are a long chain of dependent operations (table
// lookups, divisions). Computed at the step itself they would hold up the
// filter's recursion, which needs the new coefficients in that very frame; so
// the signal path prepares each step ahead, in two parts some frames apart
// before it falls: first the new sweep values (prepareStep), then the two
// sections, which do not depend on each other (prepareSections). Each part is
// then a short chain that runs beside the recursion. At the step only the
// prepared values are taken. Any change the control thread publishes in
// between voids the preparation, and the step is then computed afresh from
// the current values: either way it is the same arithmetic on the same values.
// While a preparation holds, nothing it used has changed, the filter order
// included, so the current values may be read in its place.
#include "zur.h"

namespace {

constexpr int kLastTableEntry = ZUR::kTableSize - 1;

}  // namespace

ZUR::SweepState ZUR::sweepState() const noexcept {
    return {curFreq, sinePos, triangleStep, sineStep};
}

ZUR::SweepState ZUR::nextSweep(aeLong mode, SweepState s) const noexcept {
    if (mode == 1) {
        const float freq = s.freq;
        if (!(fmin < freq)) s.triangleStep = triangleIncrement;
        if (!(fmax > freq)) s.triangleStep = -triangleIncrement;  // wins when both hold
        s.freq = static_cast<float>(static_cast<double>(freq) + s.triangleStep);
        return s;
    }
    const float pos = s.sinePos;
    if (pos <= 1.0f) s.sineStep = sineIncrement;
    if (pos >= 511.0f) s.sineStep = -sineIncrement;
    const double p = static_cast<double>(pos) + s.sineStep;
    s.sinePos = static_cast<float>(p);
    // k = floor(p), held inside the table: a step larger than one entry can
    // carry p past either end. For p from 0 up to 511 truncation is floor.
    const int k = p > 0.0 ? (p < kLastTableEntry ? static_cast<int>(p) : kLastTableEntry) : 0;
    const double low = fmin;
    s.freq = static_cast<float>(low + (static_cast<double>(fmax) - low) * CosTable[k]);
    return s;
}

// Writes back only what the shape moves.
void ZUR::setSweepState(aeLong mode, const SweepState& s) noexcept {
    if (mode == 1) {
        triangleStep = s.triangleStep;
    } else {
        sinePos = s.sinePos;
        sineStep = s.sineStep;
    }
    curFreq = s.freq;
}

void ZUR::sweepStep(aeLong mode, std::uint32_t seen) noexcept {
    const bool prepared = ahead.parts == 2 && ahead.stamp == seen;
    ahead.parts = 0;
    if (!prepared) {
        setSweepState(mode, nextSweep(mode, sweepState()));
        CalcFil();  // the new coefficients already apply to this frame
        return;
    }
    setSweepState(mode, ahead.sweep);
    storeSection1(ahead.section1);
    if (twoPole == 0) storeSection2(ahead.section2);
}

void ZUR::prepareStep(aeLong mode, std::uint32_t seen) noexcept {
    ahead.sweep = nextSweep(mode, sweepState());
    ahead.ratio = peakRatio(ahead.sweep.freq);
    ahead.stamp = seen;
    ahead.parts = 1;
}

void ZUR::prepareSections(std::uint32_t seen) noexcept {
    if (ahead.parts != 1 || ahead.stamp != seen) return;
    ahead.section1 = designSection(static_cast<float>(ahead.ratio), protoA1);
    if (twoPole == 0) ahead.section2 = designSection(section2Position(ahead.ratio), protoA2);
    ahead.parts = 2;
}
