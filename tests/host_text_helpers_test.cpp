#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <string>

#include "recording_effect.h"

namespace {

const std::string kHuge = " Huge!  ";
const std::string kMinusInfinity = std::string("   -") + static_cast<char>(0xB0) + "   ";

enum class Helper { Float, Decibel, Hertz, Milliseconds };

struct TextCase {
    Helper helper;
    float value;
    const char* expected;
};

std::string render(Helper helper, float value, float sampleRate = 44100.0f) {
    RecordingEffect effect;
    effect.setSampleRate(sampleRate);
    char text[32];
    std::memset(text, 'x', sizeof text);
    switch (helper) {
        case Helper::Float: effect.float2string(value, text); break;
        case Helper::Decibel: effect.dB2string(value, text); break;
        case Helper::Hertz: effect.Hz2string(value, text); break;
        case Helper::Milliseconds: effect.ms2string(value, text); break;
    }
    EXPECT_EQ(text[9], 'x') << "wrote past the ninth byte";
    return std::string(text, strnlen(text, 9));
}

TEST(TextHelpers, EightCharacterTexts) {
    const TextCase cases[] = {
        {Helper::Float, 0.0f, "0.000000"},
        {Helper::Float, -0.0f, "0.000000"},
        {Helper::Float, 1.5f, "1.500000"},
        {Helper::Float, -1.5f, "-1.50000"},
        {Helper::Float, 0.25f, "0.250000"},
        {Helper::Float, 12.5f, "12.50000"},
        {Helper::Float, 100.0f, "100.0000"},
        {Helper::Float, 44100.0f, "44100.00"},
        {Helper::Float, 1234567.0f, "1234567."},
        {Helper::Float, -123456.0f, "-123456."},
        {Helper::Float, 0.7f, "0.699999"},
        {Helper::Float, 0.0000001f, "0.000000"},
        {Helper::Float, 100000000.0f, " Huge!  "},
        {Helper::Float, -10000000.0f, " Huge!  "},
        // Integer parts that fill all eight characters are written whole, without a point.
        {Helper::Float, 12345678.0f, "12345678"},
        {Helper::Float, 10000000.0f, "10000000"},
        {Helper::Float, -1234567.0f, "-1234567"},
        {Helper::Float, -9999999.0f, "-9999999"},
        {Helper::Float, INFINITY, " Huge!  "},
        {Helper::Float, -INFINITY, " Huge!  "},
        {Helper::Float, NAN, "  NaN   "},
        {Helper::Decibel, 1.0f, "0.000000"},
        {Helper::Decibel, 10.0f, "20.00000"},
        {Helper::Decibel, 0.5f, "-6.02059"},
        {Helper::Decibel, 2.0f, "6.020599"},
        {Helper::Decibel, INFINITY, " Huge!  "},
        {Helper::Decibel, NAN, "  NaN   "},
        {Helper::Hertz, 100.0f, "441.0000"},
        {Helper::Hertz, 44100.0f, "1.000000"},
        {Helper::Hertz, 0.0f, "0.000000"},
        {Helper::Hertz, -0.0f, "0.000000"},
        {Helper::Hertz, 1e-40f, " Huge!  "},
        {Helper::Milliseconds, 44100.0f, "1000.000"},
        {Helper::Milliseconds, 441.0f, "10.00000"},
    };
    for (const TextCase& c : cases) {
        const std::string text = render(c.helper, c.value);
        EXPECT_EQ(text, c.expected)
            << "helper " << static_cast<int>(c.helper) << " value " << c.value;
        EXPECT_EQ(text.size(), 8u) << c.expected;
    }
}

TEST(TextHelpers, DecibelsOfZeroOrBelowAreMinusInfinity) {
    for (float level : {0.0f, -0.0f, -1.0f, -INFINITY})
        EXPECT_EQ(render(Helper::Decibel, level), kMinusInfinity) << level;
}

TEST(TextHelpers, MillisecondsAtZeroSampleRateIsTheOverflowText) {
    EXPECT_EQ(render(Helper::Milliseconds, 441.0f, 0.0f), kHuge);
    EXPECT_EQ(render(Helper::Milliseconds, 0.0f, 0.0f), kHuge);
}

TEST(TextHelpers, ConvertersUseOverriddenSampleRateAndFloatText) {
    struct Overridden : RecordingEffect {
        float getSampleRate() noexcept override { return 1000.0f; }
        void float2string(float value, char* text) noexcept override {
            std::snprintf(text, 16, "<%g>", static_cast<double>(value));
        }
    } effect;
    char text[16];
    effect.Hz2string(4.0f, text);
    EXPECT_STREQ(text, "<250>");
    effect.ms2string(500.0f, text);
    EXPECT_STREQ(text, "<500>");
    effect.dB2string(10.0f, text);
    EXPECT_STREQ(text, "<20>");
}

TEST(TextHelpers, Integers) {
    const struct {
        aeLong value;
        const char* expected;
    } cases[] = {
        {0, "      0"},          {42, "     42"},        {-5, "     -5"},
        {1234567, "1234567"},    {12345678, "12345678"}, {99999999, "99999999"},
        {100000000, " Huge!  "}, {INT_MAX, " Huge!  "},  {-9999999, "-9999999"},
        {-10000000, " Huge!  "}, {INT_MIN, " Huge!  "},
    };
    for (const auto& c : cases) {
        RecordingEffect effect;
        char text[32];
        std::memset(text, 'x', sizeof text);
        effect.long2string(c.value, text);
        EXPECT_STREQ(text, c.expected) << c.value;
    }
}

}  // namespace
