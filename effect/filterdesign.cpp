// Filter design: the cosine and cotangent tables, the interpolated cotangent,
// and the coefficients of the one or two resonant sections.
//
// Each section is y[n] = g*u[n] - a1*y[n-1] - a2*y[n-2], the bilinear transform
// of the analog prototype 1/(B*s^2 + A*s + 1) with its numerator replaced by
// its value at DC, so g = 1 + a1 + a2 and the gain at DC is exactly 1.
// Intermediates are doubles; every stored value is rounded to float.
#include <cmath>
#include <limits>

#include "zur.h"

namespace {

// Table positions `cot` interpolates between: 1 keeps clear of the infinite
// entry 0, and 511.5 keeps the result well above zero, so both poles of every
// section stay inside the unit circle.
constexpr double kMinCotPosition = 1.0;
constexpr double kMaxCotPosition = 511.5;

// Where the 2-pole prototype has (almost) no resonance peak, its peak frequency
// is held at this floor so the frequency ceiling stays positive and finite.
constexpr double kMinProtoPeak = 0.03;

std::array<float, ZUR::kTableSize> buildCotTable() {
    std::array<float, ZUR::kTableSize> table{};
    table[0] = std::numeric_limits<float>::infinity();  // cos 0 / sin 0
    for (int i = 1; i < ZUR::kTableSize; ++i) {
        const double a = 0.003068 * i;
        table[i] = static_cast<float>(std::cos(a) / std::sin(a));
    }
    return table;
}

std::array<float, ZUR::kTableSize> buildCosTable() {
    std::array<float, ZUR::kTableSize> table{};
    for (int i = 0; i < ZUR::kTableSize; ++i)
        table[i] = static_cast<float>(0.5 * (1.0 - std::cos(0.0122718 * i)));
    return table;
}

}  // namespace

// Filled once when the module is loaded, before any instance exists; their
// contents never change, so all instances and threads may read them freely.
const std::array<float, ZUR::kTableSize> ZUR::CotTable = buildCotTable();
const std::array<float, ZUR::kTableSize> ZUR::CosTable = buildCosTable();

double ZUR::cot(float x) noexcept {
    double y = 512.0 * static_cast<double>(x);
    if (!(y >= kMinCotPosition))  // NaN included
        y = kMinCotPosition;
    else if (y > kMaxCotPosition)
        y = kMaxCotPosition;
    const int n = static_cast<int>(y);
    const double here = CotTable[n];
    const double next = n + 1 < kTableSize ? CotTable[n + 1] : 0.0;  // cot of a quarter turn
    return here + (y - n) * (next - here);
}

void ZUR::CalcAB() noexcept {
    protoB = 3.0f;
    if (twoPole != 0) {
        protoA1 = static_cast<float>(1.0 / (3.0 * resonance + 0.1));
    } else {
        const double d = 1.0 / (10.0 * resonance + 0.35);
        const double m = 4.0 * q + 1.0;
        protoA1 = static_cast<float>(d / m);
        protoA2 = static_cast<float>(d * m);
    }

    const double b = protoB;
    const double a1 = protoA1;
    const double peakSquared = (2.0 * b - a1 * a1) * 0.5 / (b * b);
    protoPeak = static_cast<float>(
        peakSquared > kMinProtoPeak * kMinProtoPeak ? std::sqrt(peakSquared) : kMinProtoPeak);
    freqLimit = static_cast<float>(0.85 * protoPeak);

    if (lfoMode == 0) {
        if (fresFreq > freqLimit)
            fresFreq = freqLimit;
        else if (fmax > freqLimit)
            sweepWidth = static_cast<float>(static_cast<double>(freqLimit) - fresFreq);
    }
    if (curFreq > freqLimit) curFreq = freqLimit;
    designCaps = designCaps + 1u;  // the audio thread applies the same cap to its own sweep
}

ZUR::SectionCoefficients ZUR::designSection(float x, double a, double b) noexcept {
    const double k = cot(x);
    const double d = 1.0 + a * k + b * k * k;
    return {static_cast<float>(4.0 / d), static_cast<float>(2.0 * (1.0 - b * k * k) / d),
            static_cast<float>((1.0 - a * k + b * k * k) / d)};
}

double ZUR::peakRatio(float freq, float peak) noexcept { return static_cast<double>(freq) / peak; }

float ZUR::section2Position(double ratio, float q) noexcept {
    return static_cast<float>((0.1 * q + 0.9) * ratio);
}

void ZUR::storeSection1(const SectionCoefficients& c) noexcept {
    sec1Gain = c.gain;
    sec1A1 = c.a1;
    sec1A2 = c.a2;
}

void ZUR::storeSection2(const SectionCoefficients& c) noexcept {
    sec2Gain = c.gain;
    sec2A1 = c.a1;
    sec2A2 = c.a2;
}

void ZUR::CalcFil() noexcept {
    const double r = peakRatio(curFreq, protoPeak);
    storeSection1(designSection(static_cast<float>(r), protoA1, protoB));
    if (twoPole != 0) return;
    storeSection2(designSection(section2Position(r, q), protoA2, protoB));
}
