// Parameters: the mapping from the host's normalised values to the working
// values, the values read back, and the names, labels and display texts.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "aeffeditor.h"
#include "numeric.h"
#include "zur.h"

namespace {

constexpr double kMinFreq = 0.002;       // lowest resting frequency
constexpr double kMaxSweepFreq = 0.995;  // ceiling of the sweep's upper bound on Fres
constexpr double kMinResonance = 0.03;
constexpr double kMinQ = 0.05;
constexpr double kMinSweepTime = 0.015;
constexpr double kTriangleRate = 0.00011335;           // per step and unit of sweep width
constexpr double kSineRate = 0.028960925;              // 255.5 table positions times kTriangleRate
constexpr double kShapeReadBack = 0.5263157894736842;  // 10/19

struct ParameterTexts {
    aeLong index;
    const char* name;   // null: the host's buffer is left untouched
    const char* label;  // likewise
};

constexpr ParameterTexts kTexts[] = {
    {0, "Fres", "Hz"},
    {1, "Resonance", "      "},
    {2, "Q        ", "      "},
    {3, "SweepTime", "ms"},
    {4, "SweepRange", "Hz"},
    {5, "SWEEP", "    "},
    {6, "      PAN   ", "l<------------>r"},
    {7, "MIX", "FX<->Clean"},
    {ZUR::kPoleSwitchIndex, " 4<->2pole", " "},
    {1000, nullptr, "bpm     "},
    {1001, "Measure   ", "beat    "},
    {1002, "Delay 1   ", "measures"},
    {1003, "Delay 2   ", "measures"},
    {1004, nullptr, "amount  "},
    {1005, nullptr, "amount  "},
    {1006, nullptr, "L-R     "},
    {1007, nullptr, "L-R     "},
    {1008, nullptr, "amount  "},
    {1009, nullptr, "amount  "},
    {ZUR::kFminIndex, "Fmin", "Hz"},
    {ZUR::kFmaxIndex, "Fmax", "Hz"},
    {ZUR::kFeedbackIndex, "Feedback", nullptr},
};

const ParameterTexts* textsOf(aeLong index) noexcept {
    for (const ParameterTexts& t : kTexts)
        if (t.index == index) return &t;
    return nullptr;
}

void copyText(char* to, const char* from, std::size_t size) noexcept {
    std::snprintf(to, size, "%s", from);
}

// A display multiplier times a field, truncated toward zero.
int scaled(float multiplier, float value) noexcept {
    return truncToInt32(static_cast<double>(multiplier) * value);
}

aeLong sweepShapeOf(float sweep) noexcept { return truncToInt32(2.9 * sweep); }
aeLong poleModeOf(float poleSwitch) noexcept { return truncToInt32(1.9 * poleSwitch); }

}  // namespace

void ZUR::recomputeStepSizes() noexcept {
    if (sweepTime < kMinSweepTime) sweepTime = static_cast<float>(kMinSweepTime);
    triangleIncrement =
        static_cast<float>((static_cast<double>(fmax) - fmin) * kTriangleRate / sweepTime);
    sineIncrement = static_cast<float>(kSineRate / sweepTime);
}

void ZUR::setParameter(aeLong index, float v) noexcept {
    // A value that is not a number, or is infinite, is ignored whole.
    if (!std::isfinite(v)) return;
    const ChangeScope change(*this);
    ZURProgram* p = programs ? &programs[static_cast<std::size_t>(curProgram)] : nullptr;
    auto keep = [p](float ZURProgram::*field, float value) {
        if (p) p->*field = value;
    };

    switch (index) {
        case 0: {
            keep(&ZURProgram::fres, v);
            fres = v;
            const double room = lfoMode != 0 ? static_cast<double>(freqLimit) - sweepWidth
                                             : static_cast<double>(freqLimit);
            fresFreq = static_cast<float>(room * v * v);
            CalcAB();
            if (fresFreq > freqLimit) fresFreq = freqLimit;
            if (fresFreq < kMinFreq) fresFreq = static_cast<float>(kMinFreq);
            curFreq = fresFreq;
            sweepResets = sweepResets + 1u;
            restFreq = fresFreq;
            sinePos = fresFreq;
            fmin = fresFreq;
            fmax = static_cast<float>(static_cast<double>(fresFreq) + sweepWidth);
            if (fmax > kMaxSweepFreq) fmax = static_cast<float>(kMaxSweepFreq);
            recomputeStepSizes();
            CalcFil();
            break;
        }
        case 1:
            keep(&ZURProgram::resonance, v);
            resonance = v < kMinResonance ? static_cast<float>(kMinResonance) : v;
            CalcAB();
            CalcFil();
            break;
        case 2:
            keep(&ZURProgram::q, v);
            q = v < kMinQ ? static_cast<float>(kMinQ) : v;
            CalcAB();
            CalcFil();
            break;
        case 3:
            keep(&ZURProgram::sweepTime, v);
            sweepTime = v < kMinSweepTime ? static_cast<float>(kMinSweepTime) : v;
            recomputeStepSizes();
            break;
        case 4: {
            keep(&ZURProgram::sweepRange, v);
            fGetRange = v;
            sweepWidth = static_cast<float>((static_cast<double>(freqLimit) - fresFreq) * v);
            const double top = static_cast<double>(fresFreq) + sweepWidth;
            if (top > freqLimit)
                sweepWidth = static_cast<float>(static_cast<double>(freqLimit) - fresFreq);
            fmin = fresFreq < kMinFreq ? static_cast<float>(kMinFreq) : fresFreq;
            fmax = top > freqLimit ? static_cast<float>(freqLimit) : static_cast<float>(top);
            recomputeStepSizes();
            break;
        }
        case 5:
            keep(&ZURProgram::sweep, v);
            sweep = v;
            lfoMode = sweepShapeOf(v);
            if (lfoMode == 0) {
                curFreq = restFreq;  // back to the Fres frequency
                sinePos = 0.0f;
                sweepResets = sweepResets + 1u;
            }
            CalcAB();
            CalcFil();
            break;
        case 6:
            keep(&ZURProgram::pan, v);
            pan = v;
            break;
        case 7:
            keep(&ZURProgram::mix, v);
            mix = v;
            break;
        case kPoleSwitchIndex:
            // The coefficients follow at the next filter design.
            keep(&ZURProgram::poleSwitch, v);
            poleSwitch = v;
            twoPole = poleModeOf(v);
            break;
        default: break;
    }
    if (editor) editor->postUpdate();
}

float ZUR::getParameter(aeLong index) noexcept {
    switch (index) {
        case 0: return fres;
        case 1: return resonance;
        case 2: return q;
        case 3: return sweepTime;
        case 4: return fGetRange;
        case 5: {
            const double shape = lfoMode * kShapeReadBack;
            return shape > 0.99 ? 0.99f : static_cast<float>(shape);
        }
        case 6: return pan;
        case 7: return mix;
        case kPoleSwitchIndex: return poleSwitch;
        case kFminIndex: return fmin;
        case kFmaxIndex: return fmax;
        case kFeedbackIndex: return feedback;
        default: return 0.0f;
    }
}

void ZUR::getParameterName(aeLong index, char* text) noexcept {
    const ParameterTexts* t = textsOf(index);
    if (t && t->name) copyText(text, t->name, kNameSize);
}

void ZUR::getParameterLabel(aeLong index, char* label) noexcept {
    const ParameterTexts* t = textsOf(index);
    if (t && t->label) copyText(label, t->label, kLabelSize);
}

void ZUR::getParameterDisplay(aeLong index, char* text) noexcept {
    constexpr std::size_t size = kDisplaySize;
    // The shape, pole mode and bound texts may set a field.
    const ChangeScope change(*this);
    switch (index) {
        case 0: std::snprintf(text, size, " %d ", scaled(22050.0f, fresFreq)); break;
        case 1: std::snprintf(text, size, " %1.1f", static_cast<double>(75.0f) * resonance); break;
        case 2: std::snprintf(text, size, "  %1.1f", 7.9 * q + 3.1); break;
        case 3: std::snprintf(text, size, "%d", scaled(20000.0f, sweepTime)); break;
        case 4: std::snprintf(text, size, "f = %d", scaled(22050.0f, sweepWidth)); break;
        case 5: {
            const aeLong shape = sweepShapeOf(sweep);
            lfoMode = shape;
            static constexpr const char* kShapes[] = {"OFF      ", "Triangle ", "Sin      "};
            if (shape >= 0 && shape <= 2)
                copyText(text, kShapes[shape], size);
            else
                std::snprintf(text, size, "i=%d f=%f", static_cast<int>(shape),
                              static_cast<double>(sweep));
            break;
        }
        case 6: {
            constexpr int kBarLength = 19;
            std::memset(text, '-', kBarLength);
            text[kBarLength] = '\0';
            int marker = scaled(18.0f, pan);
            // A pan outside 0 to 1 puts the marker at the nearer end of the bar.
            if (marker < 0) marker = 0;
            if (marker > kBarLength - 1) marker = kBarLength - 1;
            text[marker] = 'I';
            break;
        }
        case 7: std::snprintf(text, size, " %d %%", scaled(100.0f, mix)); break;
        case kPoleSwitchIndex:
            twoPole = poleModeOf(poleSwitch);
            copyText(text, twoPole == 0 ? "4PoleFilter" : "2PoleFilter", size);
            break;
        case kFminIndex:
            std::snprintf(text, size, "f = %d", scaled(22050.0f, fmin));
            if (fmin > fmax) fmax = static_cast<float>(fmin);
            break;
        case kFmaxIndex:
            std::snprintf(text, size, "f = %d", scaled(22050.0f, fmax));
            if (fmax < fmin) fmax = static_cast<float>(fmin);
            break;
        case kFeedbackIndex: std::snprintf(text, size, " i %d", scaled(100.0f, feedback)); break;
        default: break;  // the host's buffer is left untouched
    }
}
