// The signal path: sweep step, section 1, section 2 (4-pole), limit, mix, pan.
//
// Real-time code: no allocation, no locks, no system calls, a fixed amount of
// work per frame. The values the parameters drive are held in a snapshot that
// is taken again whenever the control thread has published a change (checked
// in every frame) and after every sweep step, so a change made between two
// frames takes effect from the next frame.
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

// Limits to -1.0 ... 1.0. Written in the shape of the processor's min and max
// instructions, so it compiles without branches (clipped noise would make a
// branch unpredictable); a NaN comes out as -1.0.
float limit(float v) noexcept {
    const float atLeast = v > -1.0f ? v : -1.0f;
    return atLeast < 1.0f ? atLeast : 1.0f;
}

// One channel's gain of the balance pan: at most 1.0, and never negative, so a
// pan value outside 0 to 1 cannot lift the limited value beyond full scale.
double balanceGain(double gain) noexcept {
    const double atLeast = gain > 0.0 ? gain : 0.0;
    return atLeast < 1.0 ? atLeast : 1.0;
}

// True when the value is finite: its difference with itself is 0 for a
// finite value and NaN for an infinite one or a NaN. A state that overflows
// to infinity when it is rounded to float shows in the next frame's value.
bool isFinite(double a) noexcept { return a - a == 0.0; }

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
    // k = floor(p), held inside the table: a step larger than one entry can
    // carry p past either end. For p from 0 up to 511 truncation is floor.
    const int k = p > 0.0 ? (p < kLastRingSlot ? static_cast<int>(p) : kLastRingSlot) : 0;
    const double low = fmin;
    curFreq = static_cast<float>(low + (static_cast<double>(fmax) - low) * CosTable[k]);
}

void ZUR::sweepStep(aeLong mode) noexcept {
    if (mode == 1)
        triangleSweepStep();
    else
        sineSweepStep();
    CalcFil();  // the new coefficients already apply to this frame
}

// The values one frame works with, as doubles where the arithmetic is double.
struct ZUR::FrameValues {
    aeLong lfoMode;
    bool twoPole;
    double sec1Gain, sec1A1, sec1A2;
    double sec2Gain, sec2A1, sec2A2;
    double pan, mix;
    double gainLeft, gainRight;  // balance pan, 4-pole

    void take(const ZUR& z) noexcept {
        lfoMode = z.lfoMode;
        twoPole = z.twoPole != 0;
        takeCoefficients(z);
        pan = z.pan;
        mix = z.mix;
        gainLeft = balanceGain(2.0 * (1.0 - pan));
        gainRight = balanceGain(2.0 * pan);
    }
    void takeCoefficients(const ZUR& z) noexcept {
        sec1Gain = z.sec1Gain;
        sec1A1 = z.sec1A1;
        sec1A2 = z.sec1A2;
        sec2Gain = z.sec2Gain;
        sec2A1 = z.sec2A1;
        sec2A2 = z.sec2A2;
    }
};

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
    // What a frame reads at r is what the frame before wrote at w, so the
    // state is carried in locals and written to the rings as it goes: the
    // rings end up exactly as if every frame had read them. Section 2 reloads
    // from its rings after a 2-pole frame, which leaves them unwritten.
    float z1 = s1z1[r];
    float z2 = s1z2[r];
    float q1 = 0.0f;
    float q2 = 0.0f;
    bool section2Carried = false;
    aeLong countdown = sweepCountdown;  // only this thread counts it

    std::uint32_t seen = changes.load(std::memory_order_acquire);
    FrameValues v;
    v.take(*this);
    for (aeLong n = 0; n < sampleFrames; ++n) {
        const std::uint32_t now = changes.load(std::memory_order_acquire);
        if (now != seen) {
            seen = now;
            v.take(*this);
        }
        // Sweep step check: a step when the count stands at 0, then it restarts
        // from 50; with the sweep OFF the count stands still.
        if (v.lfoMode == 1 || v.lfoMode == 2) {
            if (countdown == 0) {
                sweepStep(v.lfoMode);
                v.takeCoefficients(*this);
                countdown = kSweepReload;
            } else {
                --countdown;
            }
        }

        const double x = in[n];
        const double u = (x + kInputOffset) * v.sec1Gain;
        const float state1 = z1;
        const double y1 = u + state1;
        const float next2 = static_cast<float>(-v.sec1A2 * y1);
        const float next1 = static_cast<float>(z2 - v.sec1A1 * y1);
        s1z2[w] = next2;
        s1z1[w] = next1;
        z1 = next1;
        z2 = next2;

        bool finite = isFinite(y1);
        if (v.twoPole) {
            section2Carried = false;
            // Linear pan of y1, each channel limited; no mix.
            const float f1 = limit(static_cast<float>(y1 * v.pan));
            const float f2 = limit(static_cast<float>((1.0 - v.pan) * y1));
            emit<replacing>(out0[n], finite ? f1 : 0.0f);
            emit<replacing>(out1[n], finite ? f2 : 0.0f);
        } else {
            if (!section2Carried) {
                q1 = s2z1[r];
                q2 = s2z2[r];
                section2Carried = true;
            }
            // Section 2 is fed from section 1's state, and the output adds
            // section 2's state to section 1's input term.
            const float state2 = q1;
            const double y2 = v.sec2Gain * static_cast<double>(state1) + state2;
            const float section2Next2 = static_cast<float>(-v.sec2A2 * y2);
            const float section2Next1 = static_cast<float>(q2 - v.sec2A1 * y2);
            s2z2[w] = section2Next2;
            s2z1[w] = section2Next1;
            q1 = section2Next1;
            q2 = section2Next2;
            finite = isFinite(y1 + y2);

            double o = u + state2;
            if constexpr (replacing) o = (1.0 - v.mix) * o + v.mix * x;
            const float f1 = finite ? limit(static_cast<float>(o)) : 0.0f;
            emit<replacing>(out0[n], f1 * v.gainLeft);
            emit<replacing>(out1[n], f1 * v.gainRight);
        }
        if (!finite) [[unlikely]] {
            // A NaN or infinite input, or a section that ran away: start the
            // filter afresh, as suspend does; this frame was silent.
            clearRings();
            z1 = z2 = q1 = q2 = 0.0f;
        }

        r = w;
        w = nextSlot(w);
    }
    sweepCountdown = countdown;
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

void ZUR::suspend() noexcept { clearRings(); }

void ZUR::clearRings() noexcept {
    for (float* ring : {sec1Z2.get(), sec1Z1.get(), sec2Z2.get(), sec2Z1.get()})
        if (ring) std::fill_n(ring, kRingSize, 0.0f);
}
