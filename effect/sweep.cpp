// The sweep: one step of the Triangle or Sin shape every 51 frames, each
// followed by the coefficients for the new frequency; and how the audio
// thread exchanges the values it works with with the control thread.
//
// A step and its design are a long chain of dependent operations (table
// lookups, divisions). Computed at the step itself they would hold up the
// filter's recursion, which needs the new coefficients in that very frame; so
// the signal path prepares each step ahead, in two parts some frames apart
// before it falls: first the new sweep values (prepareStep), then the two
// sections, which do not depend on each other (prepareSections). Each part is
// then a short chain that runs beside the recursion. At the step only the
// prepared values are taken. A new view voids the preparation, and the step
// is then computed afresh from the view: either way it is the same arithmetic
// on the same values.
#include <thread>

#include "zur.h"

namespace {

constexpr int kLastTableEntry = ZUR::kTableSize - 1;

}  // namespace

ZUR::SweepState ZUR::nextSweep(aeLong mode, const View& v) noexcept {
    SweepState s = v.sweep;
    if (mode == 1) {
        const float freq = s.freq;
        if (!(v.fmin < freq)) s.triangleStep = v.triangleIncrement;
        if (!(v.fmax > freq)) s.triangleStep = -v.triangleIncrement;  // wins when both hold
        s.freq = static_cast<float>(static_cast<double>(freq) + s.triangleStep);
        return s;
    }
    const float pos = s.sinePos;
    if (pos <= 1.0f) s.sineStep = v.sineIncrement;
    if (pos >= 511.0f) s.sineStep = -v.sineIncrement;
    const double p = static_cast<double>(pos) + s.sineStep;
    s.sinePos = static_cast<float>(p);
    // k = floor(p), held inside the table: a step larger than one entry can
    // carry p past either end. For p from 0 up to 511 truncation is floor.
    const int k = p > 0.0 ? (p < kLastTableEntry ? static_cast<int>(p) : kLastTableEntry) : 0;
    const double low = v.fmin;
    s.freq = static_cast<float>(low + (static_cast<double>(v.fmax) - low) * CosTable[k]);
    return s;
}

void ZUR::design(View& v) noexcept {
    const double r = peakRatio(v.sweep.freq, v.protoPeak);
    v.section1 = designSection(static_cast<float>(r), v.protoA1, v.protoB);
    if (v.twoPole == 0) v.section2 = designSection(section2Position(r, v.q), v.protoA2, v.protoB);
}

void ZUR::sweepStep(aeLong mode) noexcept {
    const bool prepared = ahead.parts == 2 && ahead.stamp == viewGeneration;
    ahead.parts = 0;
    if (prepared) {
        view.sweep = ahead.sweep;
        view.section1 = ahead.section1;
        if (view.twoPole == 0) view.section2 = ahead.section2;
    } else {
        view.sweep = nextSweep(mode, view);
        design(view);  // the new coefficients already apply to this frame
    }
    writeBack();
}

void ZUR::prepareStep(aeLong mode) noexcept {
    ahead.sweep = nextSweep(mode, view);
    ahead.ratio = peakRatio(ahead.sweep.freq, view.protoPeak);
    ahead.stamp = viewGeneration;
    ahead.parts = 1;
}

void ZUR::prepareSections() noexcept {
    if (ahead.parts != 1 || ahead.stamp != viewGeneration) return;
    ahead.section1 = designSection(static_cast<float>(ahead.ratio), view.protoA1, view.protoB);
    if (view.twoPole == 0)
        ahead.section2 =
            designSection(section2Position(ahead.ratio, view.q), view.protoA2, view.protoB);
    ahead.parts = 2;
}

bool ZUR::takeView() noexcept {
    const std::uint32_t count = changes.load(std::memory_order_acquire);
    if (count & 1u) return false;  // a change is being written
    View fresh;
    fresh.sweep = {curFreq, sinePos, triangleStep, sineStep};
    fresh.fmin = fmin;
    fresh.fmax = fmax;
    fresh.triangleIncrement = triangleIncrement;
    fresh.sineIncrement = sineIncrement;
    fresh.protoA1 = protoA1;
    fresh.protoA2 = protoA2;
    fresh.protoB = protoB;
    fresh.protoPeak = protoPeak;
    fresh.q = q;
    fresh.freqLimit = freqLimit;
    fresh.lfoMode = lfoMode;
    fresh.twoPole = twoPole;
    fresh.pan = pan;
    fresh.mix = mix;
    fresh.section1 = {sec1Gain, sec1A1, sec1A2};
    fresh.section2 = {sec2Gain, sec2A1, sec2A2};
    const std::uint32_t resets = sweepResets, caps = designCaps;
    // Nothing was written while the values were read, or they are not taken.
    std::atomic_thread_fence(std::memory_order_acquire);
    if (changes.load(std::memory_order_relaxed) != count) return false;

    if (unwritten) {
        // A step of this thread that the shared values do not hold yet came
        // before the change: the change applies on top of it.
        if (resets == resetsSeen) {
            fresh.sweep.freq = view.sweep.freq;
            fresh.sweep.sinePos = view.sweep.sinePos;
        }
        fresh.sweep.triangleStep = view.sweep.triangleStep;
        fresh.sweep.sineStep = view.sweep.sineStep;
        if (caps != capsSeen && fresh.sweep.freq > fresh.freqLimit)
            fresh.sweep.freq = fresh.freqLimit;
        design(fresh);
    }
    if (!(fresh == view)) ++viewGeneration;
    view = fresh;
    seen = count;
    resetsSeen = resets;
    capsSeen = caps;
    if (unwritten) writeBack();
    return true;
}

void ZUR::writeBack() noexcept {
    std::uint32_t expected = seen;
    if (!changes.compare_exchange_strong(expected, seen + 1, std::memory_order_acq_rel,
                                         std::memory_order_relaxed)) {
        unwritten = true;  // a change came first: written after it
        return;
    }
    std::atomic_thread_fence(std::memory_order_release);
    curFreq = view.sweep.freq;
    sinePos = view.sweep.sinePos;
    triangleStep = view.sweep.triangleStep;
    sineStep = view.sweep.sineStep;
    storeSection1(view.section1);
    if (view.twoPole == 0) storeSection2(view.section2);
    seen += 2;
    changes.store(seen, std::memory_order_release);
    unwritten = false;
}

void ZUR::beginChange() noexcept {
    if (changeDepth++ > 0) return;
    for (int attempt = 0;; ++attempt) {
        std::uint32_t count = changes.load(std::memory_order_relaxed);
        if ((count & 1u) == 0 &&
            changes.compare_exchange_weak(count, count + 1, std::memory_order_acq_rel,
                                          std::memory_order_relaxed))
            break;
        // The audio thread is writing back a step: a handful of stores.
        if (attempt > 64) std::this_thread::yield();
    }
    std::atomic_thread_fence(std::memory_order_release);
}

void ZUR::endChange() noexcept {
    if (--changeDepth > 0) return;
    changes.fetch_add(1, std::memory_order_release);
}
