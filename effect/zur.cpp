// ZUR state and construction, and the program bank: selection and names.
#include "zur.h"

#include <cstring>
#include <new>

namespace {

constexpr char kDefaultProgramName[] = "ZUR Tidewander 1.03";
constexpr aeLong kUniqueId = fourCharCode('Q', 'K', 'V', '1');
constexpr aeLong kFirstSweepCountdown = 100;

// Copies at most size - 1 characters of a zero-terminated text and terminates it.
void copyBounded(char* to, const char* from, std::size_t size) noexcept {
    std::size_t n = 0;
    while (n + 1 < size && from[n] != '\0') {
        to[n] = from[n];
        ++n;
    }
    to[n] = '\0';
}

}  // namespace

ZURProgram::ZURProgram() noexcept
    : fres(0.25f),
      resonance(0.25f),
      q(0.1f),
      pan(0.5f),
      sweepRange(0.2f),
      sweepTime(0.2f),
      poleSwitch(0.0f),  // 4-pole
      sweep(0.9f),       // Sin
      mix(0.0f) {        // fully filtered
    if (sweepTime < 0.015f) sweepTime = 0.015f;
    copyBounded(name, kDefaultProgramName, sizeof name);
}

ZUR::ZUR(audioMasterCallback master) noexcept : AudioEffect(master, kNumPrograms, kNumParams) {
    canProcessReplacing(true);

    sec1Z2.reset(new (std::nothrow) float[kRingSize]);
    sec1Z1.reset(new (std::nothrow) float[kRingSize]);
    sec2Z2.reset(new (std::nothrow) float[kRingSize]);
    sec2Z1.reset(new (std::nothrow) float[kRingSize]);
    programs.reset(new (std::nothrow) ZURProgram[static_cast<std::size_t>(numPrograms)]);
    if (!sec1Z2 || !sec1Z1 || !sec2Z2 || !sec2Z1 || !programs) oome = true;

    vu = 0.0f;
    twoPole = 0;
    poleSwitch = 0.0f;
    sweep = 0.9f;
    lfoMode = 2;
    sweepWidth = 0.2f;
    fres = 1.0f;
    feedback = 0.0f;
    resonance = 0.25f;
    q = 0.1f;
    pan = 0.5f;

    CalcAB();
    CalcFil();
    if (programs) setProgram(0);

    setNumInputs(1);
    setNumOutputs(2);
    hasVu(true);
    setUniqueID(kUniqueId);

    sweepCountdown = kFirstSweepCountdown;
    // The triangle starts upwards, by one step of the sweep just set up.
    triangleStep = triangleIncrement;
    suspend();
    takeView();
}

ZUR::~ZUR() = default;  // rings first, then the bank, then the base

void ZUR::setProgram(aeLong program) noexcept {
    if (!programs || program < 0 || program >= numPrograms) return;
    const ChangeScope change(*this);  // the nine values reach the audio thread together
    curProgram = program;
    const ZURProgram& p = programs[static_cast<std::size_t>(program)];
    // The order matters: Fres derives its bounds from the state still in force,
    // and SWEEP comes last so its filter design sees every new value.
    setParameter(0, p.fres);
    setParameter(1, p.resonance);
    setParameter(7, p.mix);
    setParameter(2, p.q);
    setParameter(kPoleSwitchIndex, p.poleSwitch);
    setParameter(6, p.pan);
    setParameter(3, p.sweepTime);
    setParameter(4, p.sweepRange);
    setParameter(5, p.sweep);
}

void ZUR::setProgramName(char* name) noexcept {
    if (programs)
        copyBounded(programs[static_cast<std::size_t>(curProgram)].name, name, kProgramNameSize);
}

void ZUR::getProgramName(char* name) noexcept {
    if (programs)
        copyBounded(name, programs[static_cast<std::size_t>(curProgram)].name, kProgramNameSize);
    else
        *name = '\0';
}
