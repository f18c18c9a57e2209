// ZUR: a mono-in, stereo-out swept resonant filter, 2-pole or 4-pole.
//
// Frequencies are normalised (1.0 is half the sample rate) and time is counted
// in sample frames; nothing here reads the sample rate.
//
// Threads: the host may send parameter and program changes and text requests
// on one thread while process/processReplacing run on another. Every field
// that both sides touch is a Relaxed value, free of data races. The control
// side publishes each change through a counter (publishChanges); the audio
// side checks it in every frame and then takes the new values, so a change
// between two frames takes effect from the next frame. The rings, the sweep
// counters and the step prepared ahead belong to the audio thread; suspend
// (which clears the rings), resume and close are only sent while audio is
// stopped.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>

#include "audioeffect.h"
#include "relaxed.h"

// One program: the last value the host sent for each parameter while the
// program was current, exactly as sent, and its name.
struct ZURProgram {
    ZURProgram() noexcept;

    float fres;
    float resonance;
    float q;
    float pan;
    float sweepRange;
    float sweepTime;
    float poleSwitch;
    float sweep;
    float mix;
    char name[24];
};

class ZUR : public AudioEffect {
public:
    static constexpr aeLong kNumPrograms = 16;
    static constexpr aeLong kNumParams = 8;
    static constexpr int kRingSize = 512;
    static constexpr int kTableSize = 512;
    // Buffer sizes the host provides for texts, zero byte included.
    static constexpr int kNameSize = 13;
    static constexpr int kLabelSize = 17;
    static constexpr int kDisplaySize = 20;
    static constexpr int kProgramNameSize = 24;

    // Extended parameter indices the host is not told about.
    static constexpr aeLong kPoleSwitchIndex = 1111;
    static constexpr aeLong kFminIndex = 2000;
    static constexpr aeLong kFmaxIndex = 2001;
    static constexpr aeLong kFeedbackIndex = 3100;

    // Sets `oome` instead of throwing when memory runs out; such an object
    // must be destroyed without being used.
    explicit ZUR(audioMasterCallback audioMaster) noexcept;
    ~ZUR() override;

    // Parameters.
    void setParameter(aeLong index, float value) noexcept override;
    float getParameter(aeLong index) noexcept override;
    void getParameterLabel(aeLong index, char* label) noexcept override;
    void getParameterDisplay(aeLong index, char* text) noexcept override;
    void getParameterName(aeLong index, char* text) noexcept override;

    // Audio. A block may use the same memory for its input and an output channel.
    void process(float** inputs, float** outputs, aeLong sampleFrames) noexcept override;
    void processReplacing(float** inputs, float** outputs, aeLong sampleFrames) noexcept override;
    float getVu() noexcept override;
    void suspend() noexcept override;

    // Programs.
    void setProgram(aeLong program) noexcept override;
    void setProgramName(char* name) noexcept override;
    void getProgramName(char* name) noexcept override;

protected:
    // Filter design.
    void CalcAB() noexcept;
    void CalcFil() noexcept;
    // The cotangent comes back unrounded: it is an intermediate of the design.
    static double cot(float x) noexcept;
    // One section's coefficients, as stored.
    struct SectionCoefficients {
        float gain, a1, a2;
    };
    // The pieces of CalcFil: the pole frequency relative to the prototype's
    // peak, section 2's table position, one section's coefficients from its
    // table position and first-order prototype term, and their storing.
    double peakRatio(float freq) const noexcept;
    float section2Position(double ratio) const noexcept;
    SectionCoefficients designSection(float x, double a) const noexcept;
    void storeSection1(const SectionCoefficients& c) noexcept;
    void storeSection2(const SectionCoefficients& c) noexcept;

    // Parameter helpers.
    void recomputeStepSizes() noexcept;

    // Tells the audio thread that parameter-driven values changed; called by
    // every operation of the control thread that writes them.
    void publishChanges() noexcept { changes.fetch_add(1, std::memory_order_release); }

    // Signal path.
    // Rare (after a non-finite state) and kept out of the loop around it.
    [[gnu::noinline, gnu::cold]] void clearRings() noexcept;
    struct FrameValues;
    struct Stretch;
    template <bool replacing>
    void run(float** inputs, float** outputs, aeLong sampleFrames) noexcept;
    template <bool replacing, bool fourPole>
    aeLong runStretch(const FrameValues& v, Stretch& s, aeLong begin, aeLong end,
                      std::uint32_t seen) noexcept;

    // Sweep: the values a step moves, one step of the shape `mode` (1 Triangle,
    // 2 Sin) from given values, and the step itself with its new coefficients.
    struct SweepState {
        float freq, sinePos, triangleStep, sineStep;
    };
    SweepState sweepState() const noexcept;
    SweepState nextSweep(aeLong mode, SweepState s) const noexcept;
    void setSweepState(aeLong mode, const SweepState& s) noexcept;
    // Takes the step the lookahead prepared when nothing has changed since,
    // and computes it afresh otherwise.
    void sweepStep(aeLong mode, std::uint32_t seen) noexcept;
    // The next step's sweep values, then its coefficients, prepared some
    // frames before the step falls so that they are not computed while the
    // filter's recursion waits for them.
    void prepareStep(aeLong mode, std::uint32_t seen) noexcept;
    void prepareSections(std::uint32_t seen) noexcept;
    struct StepAhead {
        SweepState sweep;
        double ratio;
        SectionCoefficients section1, section2;
        std::uint32_t stamp;  // the change count the preparation saw
        int parts = 0;        // 0 nothing prepared, 1 the sweep values, 2 complete
    };
    StepAhead ahead;

    std::unique_ptr<ZURProgram[]> programs;
    aeLong sweepCountdown = 0;
    float triangleStep = 0.0f;
    float sineStep = 0.0f;
    float restFreq = 0.0f;
    std::unique_ptr<float[]> sec1Z2;
    std::unique_ptr<float[]> sec1Z1;
    std::unique_ptr<float[]> sec2Z2;
    std::unique_ptr<float[]> sec2Z1;
    float vu = 0.0f;
    aeLong bufPos = 0;
    Relaxed<float> protoA1;
    Relaxed<float> protoB{3.0f};
    Relaxed<float> protoA2;
    Relaxed<float> sec1Gain;
    Relaxed<float> sec1A1;
    Relaxed<float> sec1A2;
    Relaxed<float> sec2Gain;
    Relaxed<float> sec2A1;
    Relaxed<float> sec2A2;
    float fres = 0.0f;
    Relaxed<float> curFreq;
    Relaxed<float> sinePos;
    float resonance = 0.0f;
    Relaxed<float> q;
    Relaxed<float> pan;
    float sweepWidth = 0.0f;
    float sweep = 0.0f;
    float sweepTime = 0.0f;
    Relaxed<float> fmin;
    Relaxed<float> fmax;
    Relaxed<float> triangleIncrement;
    Relaxed<float> sineIncrement;
    float fresFreq = 0.0f;
    float feedback = 0.0f;
    float poleSwitch = 0.0f;
    Relaxed<float> protoPeak;
    float freqLimit = 0.0f;
    Relaxed<float> mix;
    Relaxed<aeLong> lfoMode;
    Relaxed<aeLong> twoPole;
    // The SweepRange value last set on this instance, as the host reads it
    // back. Each instance keeps its own: a host saves every instance's values
    // by reading them back and restores them by sending them again.
    Relaxed<float> fGetRange;

    std::atomic<std::uint32_t> changes{0};  // counts published changes

    // Shared by all instances, and constant: instances share nothing a host
    // can observe.
    static const std::array<float, kTableSize> CosTable;
    static const std::array<float, kTableSize> CotTable;
};
