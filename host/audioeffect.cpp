// AudioEffect construction and destruction, the five trampolines of the record,
// and the defaults of the operations that an effect usually overrides.
#include "audioeffect.h"

#include <cstring>

#include "aeffeditor.h"

bool oome = false;

namespace {

AudioEffect* objectOf(AEffect* e) noexcept { return static_cast<AudioEffect*>(e->object); }

aeIntPtr ZUR_CALL dispatchEffectClass(AEffect* e, aeLong opCode, aeLong index, aeIntPtr value,
                                      void* ptr, float opt) {
    AudioEffect* effect = objectOf(e);
    // Inside the module the value keeps its 32-bit meaning.
    const aeLong answer = effect->dispatcher(opCode, index, static_cast<aeLong>(value), ptr, opt);
    if (opCode == effClose) {
        delete effect;  // the record lives inside the object and ends here
        return 1;
    }
    return answer;
}

void ZUR_CALL processClass(AEffect* e, float** inputs, float** outputs, aeLong sampleFrames) {
    objectOf(e)->process(inputs, outputs, sampleFrames);
}

void ZUR_CALL processClassReplacing(AEffect* e, float** inputs, float** outputs,
                                    aeLong sampleFrames) {
    objectOf(e)->processReplacing(inputs, outputs, sampleFrames);
}

void ZUR_CALL setParameterClass(AEffect* e, aeLong index, float value) {
    objectOf(e)->setParameter(index, value);
}

float ZUR_CALL getParameterClass(AEffect* e, aeLong index) {
    return objectOf(e)->getParameter(index);
}

}  // namespace

AudioEffect::AudioEffect(audioMasterCallback audioMaster_, aeLong numPrograms_,
                         aeLong numParams_) noexcept
    : sampleRate(44100.0f),
      editor(nullptr),
      audioMaster(audioMaster_),
      numPrograms(numPrograms_),
      numParams(numParams_),
      curProgram(0),
      blockSize(1024) {
    std::memset(&cEffect, 0, sizeof(cEffect));
    cEffect.magic = kEffectMagic;
    cEffect.dispatcher = dispatchEffectClass;
    cEffect.process = processClass;
    cEffect.setParameter = setParameterClass;
    cEffect.getParameter = getParameterClass;
    cEffect.numPrograms = numPrograms_;
    cEffect.numParams = numParams_;
    cEffect.numInputs = 1;
    cEffect.numOutputs = 2;
    cEffect.flags = 0;
    cEffect.resvd1 = 0;
    cEffect.resvd2 = 0;
    cEffect.initialDelay = 0;
    cEffect.realQualities = 0;
    cEffect.offQualities = 0;
    cEffect.ioRatio = 1.0f;
    cEffect.object = this;
    cEffect.user = nullptr;
    cEffect.uniqueID = kBaseUniqueId;
    cEffect.version = 1;
    cEffect.processReplacing = processClassReplacing;
}

AudioEffect::~AudioEffect() { delete editor; }

void AudioEffect::setParameter(aeLong, float) noexcept {}
float AudioEffect::getParameter(aeLong) noexcept { return 0.0f; }
void AudioEffect::processReplacing(float**, float**, aeLong) noexcept {}
void AudioEffect::open() noexcept {}
void AudioEffect::close() noexcept {}
aeLong AudioEffect::getProgram() noexcept { return curProgram; }
void AudioEffect::setProgram(aeLong program) noexcept { curProgram = program; }
void AudioEffect::setProgramName(char* name) noexcept { *name = 0; }
void AudioEffect::getProgramName(char* name) noexcept { *name = 0; }
void AudioEffect::getParameterLabel(aeLong, char* label) noexcept { *label = 0; }
void AudioEffect::getParameterDisplay(aeLong, char* text) noexcept { *text = 0; }
void AudioEffect::getParameterName(aeLong, char* text) noexcept { *text = 0; }
float AudioEffect::getVu() noexcept { return 0.0f; }
void AudioEffect::setSampleRate(float rate) noexcept { sampleRate = rate; }
void AudioEffect::setBlockSize(aeLong size) noexcept { blockSize = size; }
void AudioEffect::suspend() noexcept {}
void AudioEffect::resume() noexcept {}
float AudioEffect::getSampleRate() noexcept { return sampleRate; }
aeLong AudioEffect::getBlockSize() noexcept { return blockSize; }
