// Modules for the host program's tests, each built with one FAKE_* switch:
// modules that misbehave in one way each, and a plain stereo pass-through.
#include <csignal>
#include <cstring>

#include "aeffect.h"

#if defined(FAKE_NO_MAIN)
ZUR_EXPORT int notTheEntry() { return 0; }
#else

namespace {

#if defined(FAKE_CRASH_IN_PROCESS) || defined(FAKE_HANG_IN_PROCESS) || defined(FAKE_STEREO_THROUGH)
// A record of 2 inputs and 2 outputs whose processing copies (replacing) or
// adds (accumulating) each input to its output; the crashing kind ends the
// process on its third block, the hanging kind never returns from one.
AEffect record;

aeIntPtr ZUR_CALL dispatch(AEffect*, aeLong, aeLong, aeIntPtr, void*, float) { return 0; }
void ZUR_CALL setParameter(AEffect*, aeLong, float) {}
float ZUR_CALL getParameter(AEffect*, aeLong) { return 0.0f; }

template <bool replacing>
void ZUR_CALL through(AEffect*, float** in, float** out, aeLong frames) {
#if defined(FAKE_CRASH_IN_PROCESS)
    static int blocks = 0;
    if (++blocks == 3) std::raise(SIGSEGV);
#elif defined(FAKE_HANG_IN_PROCESS)
    for (volatile bool forever = true; forever;) {
    }
#endif
    for (int c = 0; c < 2; ++c)
        for (aeLong n = 0; n < frames; ++n) out[c][n] = (replacing ? 0.0f : out[c][n]) + in[c][n];
}

AEffect* makeRecord() {
    std::memset(&record, 0, sizeof record);
    record.magic = kEffectMagic;
    record.dispatcher = dispatch;
    record.process = through<false>;
    record.processReplacing = through<true>;
    record.setParameter = setParameter;
    record.getParameter = getParameter;
    record.numInputs = 2;
    record.numOutputs = 2;
    record.flags = effFlagsCanReplacing;
    record.uniqueID = fourCharCode('T', 'h', 'r', 'u');
    record.version = 1;
    return &record;
}
#endif

}  // namespace

ZUR_EXPORT AEffect* ZUR_CALL fakeMain(audioMasterCallback) __asm__("main");

AEffect* ZUR_CALL fakeMain(audioMasterCallback) {
#if defined(FAKE_NULL_MAIN)
    return nullptr;
#elif defined(FAKE_BAD_MAGIC)
    static AEffect bad;
    std::memset(&bad, 0, sizeof bad);
    bad.magic = 0x12345678;
    return &bad;
#elif defined(FAKE_FOREIGN_MAIN)
    // An entry of some other kind, answering a number where a host expects
    // a record: reading the record ends the process.
    return reinterpret_cast<AEffect*>(static_cast<aeIntPtr>(42));
#else
    return makeRecord();
#endif
}
#endif
