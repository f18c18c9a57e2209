// AudioEffect: the base class of an effect. It embeds the record the host
// holds, turns each call on the record into a virtual operation, and offers a
// default for every one of them.
//
// Contract with the host, as this class sees it:
// - The host creates an instance through the module entry and holds it by its
//   record; effClose through the dispatcher destroys it, and the record with it.
// - Control requests (dispatcher, setParameter, getParameter) may come from one
//   thread while process/processReplacing run on another. The host stops audio
//   before it suspends, resumes or closes an instance.
// - The base class imposes no order on the requests and checks nothing beyond
//   what the individual operations say.
// - Nothing the host can reach throws.
#pragma once

#include "aeffect.h"

class AEffEditor;

// Set by an effect's constructor when it could not complete its object; the
// module entry discards such an object instead of handing it to the host.
extern bool oome;

class AudioEffect {
public:
    AudioEffect(audioMasterCallback audioMaster, aeLong numPrograms, aeLong numParams) noexcept;
    AudioEffect(const AudioEffect&) = delete;
    AudioEffect& operator=(const AudioEffect&) = delete;
    virtual ~AudioEffect();

    // The record handed to the host.
    AEffect* getAeffect() noexcept { return &cEffect; }

    // Slot order below is part of the class's layout.
    virtual void setParameter(aeLong index, float value) noexcept;
    virtual float getParameter(aeLong index) noexcept;
    // Sets the parameter through setParameter, then tells the host it changed.
    virtual void setParameterAutomated(aeLong index, float value) noexcept;

    // Adds sampleFrames frames of output to the output channels.
    virtual void process(float** inputs, float** outputs, aeLong sampleFrames) noexcept = 0;
    // Writes sampleFrames frames of output into the output channels.
    virtual void processReplacing(float** inputs, float** outputs, aeLong sampleFrames) noexcept;

    // Decodes a control request and calls the matching operation.
    virtual aeLong dispatcher(aeLong opCode, aeLong index, aeLong value, void* ptr,
                              float opt) noexcept;

    virtual void open() noexcept;
    virtual void close() noexcept;
    virtual aeLong getProgram() noexcept;
    virtual void setProgram(aeLong program) noexcept;
    virtual void setProgramName(char* name) noexcept;
    virtual void getProgramName(char* name) noexcept;
    virtual void getParameterLabel(aeLong index, char* label) noexcept;
    virtual void getParameterDisplay(aeLong index, char* text) noexcept;
    virtual void getParameterName(aeLong index, char* text) noexcept;
    virtual float getVu() noexcept;
    virtual void setSampleRate(float sampleRate) noexcept;
    virtual void setBlockSize(aeLong blockSize) noexcept;
    virtual void suspend() noexcept;
    virtual void resume() noexcept;

    // Record setters: each writes one entry of the record, unchecked.
    virtual void setUniqueID(aeLong id) noexcept;
    virtual void setNumInputs(aeLong inputs) noexcept;
    virtual void setNumOutputs(aeLong outputs) noexcept;
    // Capability setters: true sets the flag bit, false clears it.
    virtual void hasVu(bool state) noexcept;
    virtual void hasClip(bool state) noexcept;
    virtual void canMono(bool state) noexcept;
    virtual void canProcessReplacing(bool state) noexcept;
    virtual void setRealtimeQualities(aeLong qualities) noexcept;
    virtual void setOfflineQualities(aeLong qualities) noexcept;
    virtual void setInitialDelay(aeLong delay) noexcept;

    virtual float getSampleRate() noexcept;
    virtual aeLong getBlockSize() noexcept;

    // Host queries: each asks through the callback, with a fixed answer when
    // there is no callback.
    virtual aeLong getMasterVersion() noexcept;
    virtual aeLong getCurrentUniqueId() noexcept;
    virtual void masterIdle() noexcept;
    virtual bool isInputConnected(aeLong input) noexcept;
    virtual bool isOutputConnected(aeLong output) noexcept;

    // Display texts of eight characters and a zero byte; `text` holds at least 9 bytes.
    virtual void dB2string(float value, char* text) noexcept;
    virtual void Hz2string(float samples, char* text) noexcept;
    virtual void ms2string(float samples, char* text) noexcept;
    virtual void float2string(float value, char* text) noexcept;
    virtual void long2string(aeLong value, char* text) noexcept;

protected:
    float sampleRate;
    AEffEditor* editor;  // owned; null when the effect has no editor
    audioMasterCallback audioMaster;
    aeLong numPrograms;
    aeLong numParams;
    aeLong curProgram;
    aeLong blockSize;
    AEffect cEffect;

private:
    // One request through the host callback, its answer read as 32 bits.
    aeLong callHost(aeLong opcode, aeLong index, aeLong value, float opt) noexcept;
    void setFlag(aeLong bit, bool state) noexcept;
};
