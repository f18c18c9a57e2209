// A second reading of the effect's filter design, parameter mapping and sweep
// steps, written from their formulas and order of rounding alone: every
// intermediate at double precision, every stored value rounded to float. It
// shares no code with the effect, so a fault in the effect's arithmetic
// cannot cancel out in a comparison with it. Where the formulas leave a
// choice open (the table position clamp of the cotangent, the floor of the
// prototype's peak, the sine lookup at the ends of the table), it takes the
// effect's documented choice.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <limits>

namespace reference {

struct Tables {
    std::array<float, 512> cotangent{}, cosine{};
    Tables() {
        cotangent[0] = std::numeric_limits<float>::infinity();
        for (int i = 1; i < 512; ++i)
            cotangent[i] = static_cast<float>(std::cos(0.003068 * i) / std::sin(0.003068 * i));
        for (int i = 0; i < 512; ++i)
            cosine[i] = static_cast<float>(0.5 * (1.0 - std::cos(0.0122718 * i)));
    }
};

inline const Tables& tables() {
    static const Tables t;
    return t;
}

// Linear interpolation in the table, position held within 1 ... 511.5.
inline double cot(float x) {
    double y = 512.0 * static_cast<double>(x);
    if (!(y >= 1.0)) y = 1.0;
    if (y > 511.5) y = 511.5;
    const int n = static_cast<int>(y);
    const double here = tables().cotangent[static_cast<std::size_t>(n)];
    const double next = n < 511 ? tables().cotangent[static_cast<std::size_t>(n) + 1] : 0.0;
    return here + (y - n) * (next - here);
}

inline std::int32_t truncated(double v) {
    return v >= 2147483647.0    ? 2147483647
           : v <= -2147483648.0 ? (-2147483647 - 1)
                                : static_cast<std::int32_t>(v);
}

// The fields the design, the parameters and the sweep read and write, in the
// effect's names.
struct Design {
    float protoA1 = 0, protoB = 0, protoA2 = 0;
    float sec1Gain = 0, sec1A1 = 0, sec1A2 = 0, sec2Gain = 0, sec2A1 = 0, sec2A2 = 0;
    float fres = 0, curFreq = 0, sinePos = 0, resonance = 0, q = 0, pan = 0, sweepWidth = 0;
    float sweep = 0, sweepTime = 0, fmin = 0, fmax = 0, triangleIncrement = 0, sineIncrement = 0;
    float fresFreq = 0, restFreq = 0, poleSwitch = 0, protoPeak = 0, freqLimit = 0, mix = 0;
    float readBackRange = 0, triangleStep = 0, sineStep = 0;
    std::int32_t lfoMode = 0, twoPole = 0;

    void calcAB() {
        protoB = 3.0f;
        if (twoPole != 0) {
            protoA1 = static_cast<float>(1.0 / (3.0 * resonance + 0.1));
        } else {
            const double d = 1.0 / (10.0 * resonance + 0.35);
            const double m = 4.0 * q + 1.0;
            protoA1 = static_cast<float>(d / m);
            protoA2 = static_cast<float>(d * m);
        }
        const double a = protoA1, b = protoB;
        const double squared = (2.0 * b - a * a) * 0.5 / (b * b);
        protoPeak = squared > 0.03 * 0.03 ? static_cast<float>(std::sqrt(squared)) : 0.03f;
        freqLimit = static_cast<float>(0.85 * protoPeak);
        if (lfoMode == 0) {
            if (fresFreq > freqLimit)
                fresFreq = freqLimit;
            else if (fmax > freqLimit)
                sweepWidth = static_cast<float>(static_cast<double>(freqLimit) - fresFreq);
        }
        if (curFreq > freqLimit) curFreq = freqLimit;
    }

    void calcFil() {
        const double r = static_cast<double>(curFreq) / protoPeak;
        section(cot(static_cast<float>(r)), protoA1, sec1Gain, sec1A1, sec1A2);
        if (twoPole != 0) return;
        section(cot(static_cast<float>((0.1 * q + 0.9) * r)), protoA2, sec2Gain, sec2A1, sec2A2);
    }

    void stepSizes() {
        if (sweepTime < 0.015f) sweepTime = static_cast<float>(0.015);
        triangleIncrement =
            static_cast<float>((static_cast<double>(fmax) - fmin) * 0.00011335 / sweepTime);
        sineIncrement = static_cast<float>(0.028960925 / sweepTime);
    }

    void set(std::int32_t index, float v) {
        if (!std::isfinite(v)) return;
        switch (index) {
            case 0: {
                fres = v;
                const double room =
                    lfoMode != 0 ? static_cast<double>(freqLimit) - sweepWidth : freqLimit;
                fresFreq = static_cast<float>(room * v * v);
                calcAB();
                if (fresFreq > freqLimit) fresFreq = freqLimit;
                if (fresFreq < 0.002) fresFreq = static_cast<float>(0.002);
                curFreq = restFreq = sinePos = fresFreq;
                fmin = fresFreq;
                fmax = static_cast<float>(static_cast<double>(fresFreq) + sweepWidth);
                if (fmax > 0.995) fmax = static_cast<float>(0.995);
                stepSizes();
                calcFil();
                break;
            }
            case 1:
                resonance = v < 0.03 ? static_cast<float>(0.03) : v;
                calcAB();
                calcFil();
                break;
            case 2:
                q = v < 0.05 ? static_cast<float>(0.05) : v;
                calcAB();
                calcFil();
                break;
            case 3:
                sweepTime = v < 0.015 ? static_cast<float>(0.015) : v;
                stepSizes();
                break;
            case 4: {
                readBackRange = v;
                sweepWidth = static_cast<float>((static_cast<double>(freqLimit) - fresFreq) * v);
                const double top = static_cast<double>(fresFreq) + sweepWidth;
                if (top > freqLimit)
                    sweepWidth = static_cast<float>(static_cast<double>(freqLimit) - fresFreq);
                fmin = fresFreq < 0.002 ? static_cast<float>(0.002) : fresFreq;
                fmax = top > freqLimit ? freqLimit : static_cast<float>(top);
                stepSizes();
                break;
            }
            case 5:
                sweep = v;
                lfoMode = truncated(2.9 * v);
                if (lfoMode == 0) {
                    curFreq = restFreq;
                    sinePos = 0.0f;
                }
                calcAB();
                calcFil();
                break;
            case 6: pan = v; break;
            case 7: mix = v; break;
            case 1111:
                poleSwitch = v;
                twoPole = truncated(1.9 * v);
                break;
            default: break;
        }
    }

    // Program selection sends a program's nine values in this order.
    void select(const float fresValue, float resonanceValue, float mixValue, float qValue,
                float poleValue, float panValue, float timeValue, float rangeValue,
                float sweepValue) {
        set(0, fresValue);
        set(1, resonanceValue);
        set(7, mixValue);
        set(2, qValue);
        set(1111, poleValue);
        set(6, panValue);
        set(3, timeValue);
        set(4, rangeValue);
        set(5, sweepValue);
    }

    // The state a new instance has: its own starting values, the tables' first
    // design, then program 0 (whose mix is 0), and the triangle set to start
    // upwards by one step.
    static Design constructed() {
        Design d;
        d.sweep = 0.9f;
        d.lfoMode = 2;
        d.sweepWidth = 0.2f;
        d.fres = 1.0f;
        d.resonance = 0.25f;
        d.q = 0.1f;
        d.pan = 0.5f;
        d.calcAB();
        d.calcFil();
        d.select(0.25f, 0.25f, 0.0f, 0.1f, 0.0f, 0.5f, 0.2f, 0.2f, 0.9f);
        d.triangleStep = d.triangleIncrement;
        return d;
    }

    // One step of the sweep, then the design for the new frequency.
    void sweepStep() {
        if (lfoMode == 1) {
            if (!(fmin < curFreq)) triangleStep = triangleIncrement;
            if (!(fmax > curFreq)) triangleStep = -triangleIncrement;
            curFreq = static_cast<float>(static_cast<double>(curFreq) + triangleStep);
        } else if (lfoMode == 2) {
            if (sinePos <= 1.0f) sineStep = sineIncrement;
            if (sinePos >= 511.0f) sineStep = -sineIncrement;
            const double p = static_cast<double>(sinePos) + sineStep;
            sinePos = static_cast<float>(p);
            const double k = std::floor(p);
            const std::size_t entry = k < 0.0 ? 0 : (k > 511.0 ? 511 : static_cast<std::size_t>(k));
            curFreq = static_cast<float>(fmin + (static_cast<double>(fmax) - fmin) *
                                                    tables().cosine[entry]);
        } else {
            return;
        }
        calcFil();
    }

private:
    static void section(double k, double a, float& gain, float& a1, float& a2) {
        const double b = 3.0;
        const double d = 1.0 + a * k + b * k * k;
        gain = static_cast<float>(4.0 / d);
        a1 = static_cast<float>(2.0 * (1.0 - b * k * k) / d);
        a2 = static_cast<float>((1.0 - a * k + b * k * k) / d);
    }
};

}  // namespace reference
