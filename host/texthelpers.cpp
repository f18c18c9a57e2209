// Value-to-text helpers: fixed-width display texts of eight characters and a
// zero byte. Digits are truncated, never rounded.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "audioeffect.h"

namespace {

constexpr char kHugeText[] = " Huge!  ";
constexpr char kMinusInfinityText[] = {' ', ' ', ' ', '-', static_cast<char>(0xB0),
                                       ' ', ' ', ' ', '\0'};
constexpr char kNotANumberText[] = "  NaN   ";

void copyText(const char* from, char* text) noexcept { std::memcpy(text, from, 9); }

// The last digit of n, for n >= 0 below 1e9.
char lastDigit(double n) noexcept {
    return static_cast<char>('0' + static_cast<int>(std::trunc(std::fmod(n, 10.0))));
}

}  // namespace

void AudioEffect::dB2string(float value, char* text) noexcept {
    if (value <= 0.0f)
        copyText(kMinusInfinityText, text);
    else
        float2string(static_cast<float>(20.0 * std::log10(static_cast<double>(value))), text);
}

void AudioEffect::Hz2string(float samples, char* text) noexcept {
    if (samples == 0.0f)
        float2string(0.0f, text);
    else
        float2string(
            static_cast<float>(static_cast<double>(getSampleRate()) / static_cast<double>(samples)),
            text);
}

void AudioEffect::ms2string(float samples, char* text) noexcept {
    const float rate = getSampleRate();
    if (rate == 0.0f) {
        copyText(kHugeText, text);  // a time at no sample rate at all
        return;
    }
    float2string(static_cast<float>(static_cast<double>(samples) * 1000.0 / rate), text);
}

void AudioEffect::float2string(float value, char* text) noexcept {
    double v = value;
    if (std::isnan(v)) {
        copyText(kNotANumberText, text);
        return;
    }
    bool negative = false;
    int w = 0;
    if (v < 0.0) {
        v = -v;
        negative = true;
        w = 1;
        if (v > 9999999.0) {
            copyText(kHugeText, text);
            return;
        }
    } else if (v > 99999999.0) {
        copyText(kHugeText, text);
        return;
    }

    // Integer digits, last one first; the first counts together with the point.
    char digits[9];
    int count = 0;
    double n = std::floor(v);
    digits[count++] = lastDigit(n);
    n *= 0.1;
    w += 2;
    while (n >= 1.0 && w < 8) {
        digits[count++] = lastDigit(n);
        n *= 0.1;
        ++w;
    }

    char out[9];
    int pos = 0;
    if (negative) out[pos++] = '-';
    if (n >= 1.0) {
        // The integer part fills all eight characters: write it whole, without the point.
        while (n >= 1.0 && count < 9 - pos) {
            digits[count++] = lastDigit(n);
            n *= 0.1;
        }
        while (count > 0) out[pos++] = digits[--count];
        out[pos] = '\0';
        copyText(out, text);
        return;
    }
    while (count > 0) out[pos++] = digits[--count];
    out[pos++] = '.';
    if (w < 8) {
        const int fractionDigits = 8 - w;
        double m = std::fmod(v, 1.0) * std::pow(10.0, fractionDigits);
        for (int i = fractionDigits - 1; i >= 0; --i) {
            if (m > 0.0) {
                out[pos + i] = lastDigit(m);
                m *= 0.1;
            } else {
                out[pos + i] = '0';
            }
        }
        pos += fractionDigits;
    }
    out[pos] = '\0';
    copyText(out, text);
}

void AudioEffect::long2string(aeLong value, char* text) noexcept {
    // "%7d" fits in eight characters from -9999999 to 99999999.
    if (value >= 100000000 || value < -9999999) {
        copyText(kHugeText, text);
        return;
    }
    char work[16] = {};
    std::snprintf(work, sizeof work, "%7d", static_cast<int>(value));
    work[8] = '\0';
    std::memcpy(text, work, 9);
}
