// Questions and notices that go to the host through its callback, and the
// setters that describe the effect in its record.
#include "audioeffect.h"

aeLong AudioEffect::callHost(aeLong opcode, aeLong index, aeLong value, float opt) noexcept {
    return static_cast<aeLong>(audioMaster(&cEffect, opcode, index, value, nullptr, opt));
}

void AudioEffect::setParameterAutomated(aeLong index, float value) noexcept {
    setParameter(index, value);
    if (audioMaster) callHost(audioMasterAutomate, index, 0, value);
}

aeLong AudioEffect::getMasterVersion() noexcept {
    aeLong version = 1;
    if (audioMaster) {
        version = callHost(audioMasterVersion, 0, 0, 0.0f);
        if (version == 0) version = 1;
    }
    return version;
}

aeLong AudioEffect::getCurrentUniqueId() noexcept {
    return audioMaster ? callHost(audioMasterCurrentId, 0, 0, 0.0f) : 0;
}

void AudioEffect::masterIdle() noexcept {
    if (audioMaster) callHost(audioMasterIdle, 0, 0, 0.0f);
}

// The host answers 0 for a connected pin.
bool AudioEffect::isInputConnected(aeLong input) noexcept {
    return audioMaster ? callHost(audioMasterPinConnected, input, 0, 0.0f) == 0 : true;
}

bool AudioEffect::isOutputConnected(aeLong output) noexcept {
    return audioMaster ? callHost(audioMasterPinConnected, output, 1, 0.0f) == 0 : true;
}

void AudioEffect::setUniqueID(aeLong id) noexcept { cEffect.uniqueID = id; }
void AudioEffect::setNumInputs(aeLong inputs) noexcept { cEffect.numInputs = inputs; }
void AudioEffect::setNumOutputs(aeLong outputs) noexcept { cEffect.numOutputs = outputs; }
void AudioEffect::setInitialDelay(aeLong delay) noexcept { cEffect.initialDelay = delay; }
void AudioEffect::setRealtimeQualities(aeLong q) noexcept { cEffect.realQualities = q; }
void AudioEffect::setOfflineQualities(aeLong q) noexcept { cEffect.offQualities = q; }

void AudioEffect::setFlag(aeLong bit, bool state) noexcept {
    if (state)
        cEffect.flags |= bit;
    else
        cEffect.flags &= ~bit;
}

void AudioEffect::hasVu(bool state) noexcept { setFlag(effFlagsHasVu, state); }
void AudioEffect::hasClip(bool state) noexcept { setFlag(effFlagsHasClip, state); }
void AudioEffect::canMono(bool state) noexcept { setFlag(effFlagsCanMono, state); }
void AudioEffect::canProcessReplacing(bool state) noexcept { setFlag(effFlagsCanReplacing, state); }
