// The signal path: sweep step, section 1, section 2 (4-pole), limit, mix, pan.
//
// Real-time code: no allocation, no locks, no system calls, a fixed amount of
// work per frame. A block is run as a series of stretches: a stretch ends
// where a sweep step or one of the two parts of its preparation falls, where
// the control thread publishes a change (checked after every frame) and after
// a frame that ran away. Within a stretch the coefficients are fixed, so its
// frames run in a tight loop for the filter order in use, with the state and
// coefficients in registers. The values the parameters drive are taken again
// at the start of every stretch, so a change made between two frames takes
// effect from the next frame.
//
// The four state arrays are rings addressed by a read position r and a write
// position w = r + 1 (mod 512) that advance together: what a frame writes at w
// the next frame reads at r, a delay of exactly one frame.
#include <algorithm>
#include <cmath>

#if defined(__SSE__) || defined(_M_X64)
#include <xmmintrin.h>
#endif

#include "zur.h"

namespace {

constexpr double kInputOffset = 0.0001;  // added to every sample entering the filter
constexpr aeLong kSweepReload = 50;      // a sweep step every 51 frames
// Where, counting down to the next step, its two parts are prepared.
constexpr aeLong kPrepareStepAt = 34;
constexpr aeLong kPrepareSectionsAt = 17;
constexpr int kLastRingSlot = ZUR::kRingSize - 1;
static_assert((ZUR::kRingSize & kLastRingSlot) == 0, "ring positions wrap by masking");

// Limits to -1.0 ... 1.0, without branches: the value limited depends on the
// recursion, so a mispredicted branch on it would stall the recursion itself.
// Compilers turn the plain comparisons into branches when they see constants
// to fold behind them; the processor's min and max instructions cannot be.
// A NaN comes out as -1.0 either way.
float limit(float v) noexcept {
#if defined(__SSE__) || defined(_M_X64)
    // maxss answers its second operand when either is a NaN. Only the lowest
    // lane counts; broadcasting fills the others in one instruction, where
    // clearing them would cost a trip through an integer register.
    const __m128 atLeast = _mm_max_ss(_mm_set1_ps(v), _mm_set1_ps(-1.0f));
    return _mm_cvtss_f32(_mm_min_ss(atLeast, _mm_set1_ps(1.0f)));
#else
    const float atLeast = v > -1.0f ? v : -1.0f;
    return atLeast < 1.0f ? atLeast : 1.0f;
#endif
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

template <bool replacing>
void emit(float& sample, double value) noexcept {
    if constexpr (replacing)
        sample = static_cast<float>(value);
    else
        sample = static_cast<float>(sample + value);
}

}  // namespace

// The values a stretch works with, as doubles where the arithmetic is double.
// Negated and complementary factors are formed once here: -a * y is exactly
// -(a * y), and 1 - pan is the same double in every frame.
struct ZUR::FrameValues {
    aeLong lfoMode;
    bool twoPole;
    double sec1Gain, sec1A1, sec1NegA2;
    double sec2Gain, sec2A1, sec2NegA2;
    double pan, panRest;  // linear pan, 2-pole: pan and 1 - pan
    double mix, dry;      // mix and 1 - mix
    // Balance pan, 4-pole. For every pan value one of the two gains is
    // exactly 1 (pan is always finite: setParameter ignores anything else),
    // and f1 * 1.0 is f1; so one channel takes f1 as it is and only the other
    // is scaled.
    bool fullLeft;      // the left gain is 1, else the right one is
    double scaledGain;  // the other channel's gain

    void take(const View& z) noexcept {
        lfoMode = z.lfoMode;
        twoPole = z.twoPole != 0;
        takeCoefficients(z);
        pan = z.pan;
        panRest = 1.0 - pan;
        mix = z.mix;
        dry = 1.0 - mix;
        const double gainLeft = balanceGain(2.0 * panRest);
        const double gainRight = balanceGain(2.0 * pan);
        fullLeft = gainLeft == 1.0;
        scaledGain = fullLeft ? gainRight : gainLeft;
    }
    void takeCoefficients(const View& z) noexcept {
        sec1Gain = z.section1.gain;
        sec1A1 = z.section1.a1;
        sec1NegA2 = -static_cast<double>(z.section1.a2);
        sec2Gain = z.section2.gain;
        sec2A1 = z.section2.a1;
        sec2NegA2 = -static_cast<double>(z.section2.a2);
    }
};

// Where a stretch reads and writes.
struct ZUR::Stretch {
    const float* in;
    float* out0;
    float* out1;
    float* s1z1;
    float* s1z2;
    float* s2z1;
    float* s2z2;
    int r;         // ring read position, carried from stretch to stretch
    bool ranAway;  // the last frame run was not finite
};

// Runs frames from `begin` up to `end` with fixed values; stops early after a
// frame when the change count is no longer `taken` (a change of the control
// thread is under way or done) or the frame was not finite. Answers where it stopped. The state
// comes from the rings at r, and every frame writes its new state at w, so the rings stay as if
// every frame had read them.
template <bool replacing, bool fourPole>
aeLong ZUR::runStretch(const FrameValues& v, Stretch& s, aeLong begin, aeLong end,
                       std::uint32_t taken) noexcept {
    const float* const in = s.in;
    float* const out0 = s.out0;
    float* const out1 = s.out1;
    float* const full = v.fullLeft ? out0 : out1;
    float* const scaled = v.fullLeft ? out1 : out0;
    float* const s1z1 = s.s1z1;
    float* const s1z2 = s.s1z2;
    float* const s2z1 = s.s2z1;
    float* const s2z2 = s.s2z2;
    const double g1 = v.sec1Gain, a11 = v.sec1A1, negA12 = v.sec1NegA2;
    const double g2 = v.sec2Gain, a21 = v.sec2A1, negA22 = v.sec2NegA2;
    int r = s.r;
    float z1 = s1z1[r];
    float z2 = s1z2[r];
    float q1 = fourPole ? s2z1[r] : 0.0f;
    float q2 = fourPole ? s2z2[r] : 0.0f;

    aeLong n = begin;
    bool finite = true;
    while (n < end) {
        const int w = (r + 1) & kLastRingSlot;
        const double x = in[n];
        const double u = (x + kInputOffset) * g1;
        const float state1 = z1;
        const double y1 = u + state1;
        const float next2 = static_cast<float>(negA12 * y1);
        const float next1 = static_cast<float>(z2 - a11 * y1);
        s1z2[w] = next2;
        s1z1[w] = next1;
        z1 = next1;
        z2 = next2;

        if constexpr (fourPole) {
            // Section 2 is fed from section 1's state, and the output adds
            // section 2's state to section 1's input term.
            const float state2 = q1;
            const double y2 = g2 * static_cast<double>(state1) + state2;
            const float section2Next2 = static_cast<float>(negA22 * y2);
            const float section2Next1 = static_cast<float>(q2 - a21 * y2);
            s2z2[w] = section2Next2;
            s2z1[w] = section2Next1;
            q1 = section2Next1;
            q2 = section2Next2;
            finite = isFinite(y1 + y2);

            double o = u + state2;
            if constexpr (replacing) o = v.dry * o + v.mix * x;
            const float f1 = finite ? limit(static_cast<float>(o)) : 0.0f;
            emit<replacing>(full[n], f1);
            emit<replacing>(scaled[n], f1 * v.scaledGain);
        } else {
            // Linear pan of y1, each channel limited; no mix.
            finite = isFinite(y1);
            const float f1 = limit(static_cast<float>(y1 * v.pan));
            const float f2 = limit(static_cast<float>(v.panRest * y1));
            emit<replacing>(out0[n], finite ? f1 : 0.0f);
            emit<replacing>(out1[n], finite ? f2 : 0.0f);
        }
        r = w;
        ++n;
        if (!finite) [[unlikely]]
            break;
        if (changes.load(std::memory_order_acquire) != taken) break;
    }
    s.r = r;
    s.ranAway = !finite;
    return n;
}

template <bool replacing>
void ZUR::run(float** inputs, float** outputs, aeLong sampleFrames) noexcept {
    if (sampleFrames <= 0) return;
    // A step the last block could not write back, then the values as they
    // stand now (kept as they were while a change is being written).
    if (unwritten) writeBack();
    takeView();
    Stretch s{inputs[0],    outputs[0],   outputs[1],   sec1Z1.get(),
              sec1Z2.get(), sec2Z1.get(), sec2Z2.get(), static_cast<int>(bufPos),
              false};
    aeLong countdown = sweepCountdown;  // only this thread counts it
    FrameValues v;
    v.take(view);

    aeLong n = 0;
    while (n < sampleFrames) {
        if (changes.load(std::memory_order_acquire) != seen && takeView()) v.take(view);
        // Sweep step check: a step when the count stands at 0, then it restarts
        // from 50; with the sweep OFF the count stands still. Here the count
        // includes the frame of the step, so it says how many frames run on
        // the coefficients at hand. The next step is prepared in two parts on
        // the way down.
        aeLong end = sampleFrames;
        const bool sweeping = v.lfoMode == 1 || v.lfoMode == 2;
        if (sweeping) {
            if (countdown == 0) {
                sweepStep(v.lfoMode);
                v.takeCoefficients(view);
                countdown = kSweepReload + 1;
            } else if (countdown == kPrepareStepAt) {
                prepareStep(v.lfoMode);
            } else if (countdown == kPrepareSectionsAt) {
                prepareSections();
            }
            const aeLong next = countdown > kPrepareStepAt       ? kPrepareStepAt
                                : countdown > kPrepareSectionsAt ? kPrepareSectionsAt
                                                                 : 0;
            end = std::min(sampleFrames, n + (countdown - next));
        }
        const aeLong stop = v.twoPole ? runStretch<replacing, false>(v, s, n, end, seen)
                                      : runStretch<replacing, true>(v, s, n, end, seen);
        if (sweeping) countdown -= stop - n;
        n = stop;
        if (s.ranAway) [[unlikely]] {
            // A NaN or infinite input, or a section that ran away: start the
            // filter afresh, as suspend does; that frame was silent.
            clearRings();
        }
    }
    sweepCountdown = countdown;
    bufPos = s.r;
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
