// The signal path: sweep step, section 1, section 2 (4-pole), limit, mix, pan.
//
// Real-time code: no allocation, no locks, no system calls, a fixed amount of
// work per frame. Every parameter-driven value is read afresh in each frame,
// so a change made between two frames takes effect from the next frame.
//
// The four state arrays are rings addressed by a read position r and a write
// position w = r + 1 (mod 512) that advance together: what a frame writes at w
// the next frame reads at r, a delay of exactly one frame.
#include <algorithm>
#include <cmath>

#include "zur.h"

namespace {

constexpr double kInputOffset = 0.0001;  // added to every sample entering the filter
constexpr aeLong kSweepReload = 50;      // a sweep step every 51 frames
constexpr int kLastRingSlot = ZUR::kRingSize - 1;

float limit(float v) noexcept { return v > 1.0f ? 1.0f : (v < -1.0f ? -1.0f : v); }

// One channel's gain of the balance pan: at most 1.0, and never negative, so a
// pan value outside 0 to 1 cannot lift the limited value beyond full scale.
double balanceGain(double gain) noexcept { return gain > 1.0 ? 1.0 : (gain > 0.0 ? gain : 0.0); }

int nextSlot(int slot) noexcept { return slot == kLastRingSlot ? 0 : slot + 1; }

template <bool replacing>
void emit(float& sample, double value) noexcept {
    if constexpr (replacing)
        sample = static_cast<float>(value);
    else
        sample = static_cast<float>(sample + value);
}

}  // namespace

void ZUR::triangleSweepStep() noexcept {
    const float freq = curFreq;
    if (!(fmin < freq)) triangleStep = triangleIncrement;
    if (!(fmax > freq)) triangleStep = -triangleIncrement;  // wins when both hold
    curFreq = static_cast<float>(static_cast<double>(freq) + triangleStep);
}

void ZUR::sineSweepStep() noexcept {
    const float pos = sinePos;
    if (pos <= 1.0f) sineStep = sineIncrement;
    if (pos >= 511.0f) sineStep = -sineIncrement;
    const double p = static_cast<double>(pos) + sineStep;
    sinePos = static_cast<float>(p);
    // A step larger than one entry can carry p past either end of the table.
    const double entry = std::floor(p);
    const int k =
        entry > 0.0 ? (entry < kLastRingSlot ? static_cast<int>(entry) : kLastRingSlot) : 0;
    const double low = fmin;
    curFreq = static_cast<float>(low + (static_cast<double>(fmax) - low) * CosTable[k]);
}

void ZUR::sweepStep() noexcept {
    const aeLong mode = lfoMode;
    if (mode != 1 && mode != 2) return;
    const aeLong countdown = sweepCountdown;
    sweepCountdown = countdown - 1;
    if (countdown != 0) return;
    if (mode == 1)
        triangleSweepStep();
    else
        sineSweepStep();
    sweepCountdown = kSweepReload;
    CalcFil();  // the new coefficients already apply to this frame
}

template <bool replacing>
void ZUR::run(float** inputs, float** outputs, aeLong sampleFrames) noexcept {
    const float* in = inputs[0];
    float* out0 = outputs[0];
    float* out1 = outputs[1];
    float* s1z1 = sec1Z1.get();
    float* s1z2 = sec1Z2.get();
    float* s2z1 = sec2Z1.get();
    float* s2z2 = sec2Z2.get();

    int r = bufPos;
    int w = nextSlot(r);
    for (aeLong n = 0; n < sampleFrames; ++n) {
        sweepStep();

        const double x = in[n];
        const double u = (x + kInputOffset) * sec1Gain;
        const float state1 = s1z1[r];
        const double y1 = u + state1;
        s1z2[w] = static_cast<float>(-sec1A2 * y1);
        s1z1[w] = static_cast<float>(s1z2[r] - sec1A1 * y1);

        const double position = pan;
        if (twoPole != 0) {
            // Linear pan of y1, each channel limited; no mix.
            const float f1 = limit(static_cast<float>(y1 * position));
            const float f2 = limit(static_cast<float>((1.0 - position) * y1));
            emit<replacing>(out0[n], f1);
            emit<replacing>(out1[n], f2);
        } else {
            // Section 2 is fed from section 1's state, and the output adds
            // section 2's state to section 1's input term.
            const float state2 = s2z1[r];
            const double y2 = sec2Gain * static_cast<double>(state1) + state2;
            s2z2[w] = static_cast<float>(-sec2A2 * y2);
            s2z1[w] = static_cast<float>(s2z2[r] - sec2A1 * y2);
            double o = u + state2;
            if constexpr (replacing) {
                const double dry = mix;
                o = (1.0 - dry) * o + dry * x;
            }
            const float f1 = limit(static_cast<float>(o));
            // Balance pan: 0.5 gives both channels the full value.
            const double gainLeft = balanceGain(2.0 * (1.0 - position));
            const double gainRight = balanceGain(2.0 * position);
            emit<replacing>(out0[n], f1 * gainLeft);
            emit<replacing>(out1[n], f1 * gainRight);
        }

        r = w;
        w = nextSlot(w);
    }
    bufPos = r;
}

void ZUR::process(float** inputs, float** outputs, aeLong sampleFrames) noexcept {
    run<false>(inputs, outputs, sampleFrames);
}

void ZUR::processReplacing(float** inputs, float** outputs, aeLong sampleFrames) noexcept {
    run<true>(inputs, outputs, sampleFrames);
}

float ZUR::getVu() noexcept {
    const float level = vu;
    vu = 0.0f;
    return level;
}

void ZUR::suspend() noexcept {
    for (float* ring : {sec1Z2.get(), sec1Z1.get(), sec2Z2.get(), sec2Z1.get()})
        if (ring) std::fill_n(ring, kRingSize, 0.0f);
}
