// ZUR: a mono-in, stereo-out swept resonant filter, 2-pole or 4-pole.
//
// Frequencies are normalised (1.0 is half the sample rate) and time is counted
// in sample frames; nothing here reads the sample rate.
//
// Threads: the host may send parameter and program changes and text requests
// on one thread while process/processReplacing run on another. Every field
// both sides touch is a Relaxed value, free of data races, and each side
// writes those fields only while it holds the change count odd: the control
// thread takes it for each change (waiting, if it must, for the few stores
// of an audio write-back), the audio thread only ever tries to take it and
// never waits. The audio thread works on a copy of its own, the view, taken
// whenever the count shows a finished change and checked against the count,
// so it never mixes old and new values and a change between two frames takes
// effect from the next frame. It writes each sweep step back from the view;
// a step it could not write before a change is kept under the change (unless
// the change reset the sweep), as if the change had come after it. The rings,
// the sweep counter, the view and the step prepared ahead belong to the audio
// thread; suspend (which clears the rings), resume and close are only sent
// while audio is stopped.
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
        bool operator==(const SectionCoefficients&) const = default;
    };
    // The pieces of CalcFil: the pole frequency relative to the prototype's
    // peak, section 2's table position, and one section's coefficients from
    // its table position and prototype terms.
    static double peakRatio(float freq, float peak) noexcept;
    static float section2Position(double ratio, float q) noexcept;
    static SectionCoefficients designSection(float x, double a, double b) noexcept;
    void storeSection1(const SectionCoefficients& c) noexcept;
    void storeSection2(const SectionCoefficients& c) noexcept;

    // Parameter helpers.
    void recomputeStepSizes() noexcept;

    // A change of the control thread: the values it writes are taken by the
    // audio thread only once it is complete. Changes nest (a program
    // selection sends nine values); the outermost one counts.
    void beginChange() noexcept;
    void endChange() noexcept;
    struct ChangeScope {
        explicit ChangeScope(ZUR& z) noexcept : zur(z) { zur.beginChange(); }
        ~ChangeScope() { zur.endChange(); }
        ChangeScope(const ChangeScope&) = delete;
        ChangeScope& operator=(const ChangeScope&) = delete;
        ZUR& zur;
    };

    // The values a sweep step moves.
    struct SweepState {
        float freq, sinePos, triangleStep, sineStep;
        bool operator==(const SweepState&) const = default;
    };
    // What the audio thread works with: its own copy of the shared values,
    // the sweep as it has moved it, and the coefficients for it.
    struct View {
        SweepState sweep;
        float fmin, fmax, triangleIncrement, sineIncrement;
        float protoA1, protoA2, protoB, protoPeak, q, freqLimit;
        aeLong lfoMode, twoPole;
        float pan, mix;
        SectionCoefficients section1, section2;
        bool operator==(const View&) const = default;
    };
    // Takes the shared values into the view unless a change is being written;
    // answers whether it did.
    bool takeView() noexcept;
    // Writes the view's sweep and coefficients back when no change is being
    // written or has come since the view was taken; otherwise leaves it for later.
    void writeBack() noexcept;
    // The coefficients of both sections for the view's frequency.
    static void design(View& v) noexcept;

    // Signal path.
    // Rare (after a non-finite state) and kept out of the loop around it.
    [[gnu::noinline, gnu::cold]] void clearRings() noexcept;
    struct FrameValues;
    struct Stretch;
    template <bool replacing>
    void run(float** inputs, float** outputs, aeLong sampleFrames) noexcept;
    template <bool replacing, bool fourPole>
    aeLong runStretch(const FrameValues& v, Stretch& s, aeLong begin, aeLong end,
                      std::uint32_t taken) noexcept;

    // Sweep: one step of the shape `mode` (1 Triangle, 2 Sin) from the view's
    // values, and the step itself with its new coefficients.
    static SweepState nextSweep(aeLong mode, const View& v) noexcept;
    // Takes the step the lookahead prepared when the view has not changed
    // since, and computes it afresh otherwise.
    void sweepStep(aeLong mode) noexcept;
    // The next step's sweep values, then its coefficients, prepared some
    // frames before the step falls so that they are not computed while the
    // filter's recursion waits for them.
    void prepareStep(aeLong mode) noexcept;
    void prepareSections() noexcept;
    struct StepAhead {
        SweepState sweep;
        double ratio;
        SectionCoefficients section1, section2;
        std::uint32_t stamp;  // the view generation the preparation saw
        int parts = 0;        // 0 nothing prepared, 1 the sweep values, 2 complete
    };
    StepAhead ahead;

    // Owned by the audio thread.
    View view{};
    std::uint32_t seen = 0;                      // the change count the view was taken at
    std::uint32_t viewGeneration = 0;            // counts the view's changes by takeView
    std::uint32_t resetsSeen = 0, capsSeen = 0;  // the counts below, as the view saw them
    bool unwritten = false;                      // the view holds a step not written back yet
    // Owned by the control thread.
    int changeDepth = 0;

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
    Relaxed<float> freqLimit;
    Relaxed<float> mix;
    Relaxed<aeLong> lfoMode;
    Relaxed<aeLong> twoPole;
    // The SweepRange value last set on this instance, as the host reads it
    // back. Each instance keeps its own: a host saves every instance's values
    // by reading them back and restores them by sending them again.
    Relaxed<float> fGetRange;

    // Counts writes of the shared values: odd while one is under way.
    std::atomic<std::uint32_t> changes{0};
    // Counted by the control thread: changes that put the sweep back to a
    // frequency (Fres, SWEEP OFF), and designs that capped the frequency.
    Relaxed<std::uint32_t> sweepResets;
    Relaxed<std::uint32_t> designCaps;

    // Shared by all instances, and constant: instances share nothing a host
    // can observe.
    static const std::array<float, kTableSize> CosTable;
    static const std::array<float, kTableSize> CotTable;
};
