// A minimal effect for testing the base class: it records the calls the base
// makes on it and counts its destructions.
#pragma once

#include <string>
#include <vector>

#include "aeffeditor.h"
#include "audioeffect.h"
#include "host_numbers.h"

struct Call {
    std::string name;
    aeLong index = 0;
    float value = 0.0f;
    bool operator==(const Call&) const = default;
};

class RecordingEffect : public AudioEffect {
public:
    explicit RecordingEffect(audioMasterCallback master = nullptr, int* destroyedCount = nullptr)
        : AudioEffect(master, 16, 8), destroyed(destroyedCount) {}
    ~RecordingEffect() override {
        if (destroyed) ++*destroyed;
    }

    void process(float**, float**, aeLong frames) noexcept override { log("process", frames); }
    void processReplacing(float**, float**, aeLong frames) noexcept override {
        log("processReplacing", frames);
    }
    void setParameter(aeLong index, float value) noexcept override {
        log("setParameter", index, value);
    }
    float getParameter(aeLong index) noexcept override {
        log("getParameter", index);
        return 0.125f * static_cast<float>(index);
    }
    void open() noexcept override { log("open"); }
    void close() noexcept override { log("close"); }
    void setProgram(aeLong program) noexcept override {
        log("setProgram", program);
        AudioEffect::setProgram(program);
    }
    void suspend() noexcept override { log("suspend"); }
    void resume() noexcept override { log("resume"); }
    float getVu() noexcept override {
        log("getVu");
        return vuAnswer;
    }
    void setProgramName(char*) noexcept override { log("setProgramName"); }
    void getProgramName(char* name) noexcept override {
        log("getProgramName");
        AudioEffect::getProgramName(name);
    }
    void getParameterLabel(aeLong index, char* label) noexcept override {
        log("getParameterLabel", index);
        AudioEffect::getParameterLabel(index, label);
    }
    void getParameterDisplay(aeLong index, char* text) noexcept override {
        log("getParameterDisplay", index);
        AudioEffect::getParameterDisplay(index, text);
    }
    void getParameterName(aeLong index, char* text) noexcept override {
        log("getParameterName", index);
        AudioEffect::getParameterName(index, text);
    }

    void attachEditor(AEffEditor* e) { editor = e; }
    AEffect& record() { return cEffect; }
    aeLong currentProgram() const { return curProgram; }

    std::vector<Call> calls;
    float vuAnswer = 0.0f;

private:
    void log(const char* name, aeLong index = 0, float value = 0.0f) {
        calls.push_back({name, index, value});
    }
    int* destroyed;
};

// The five record entries, called as a host calls them.
inline aeIntPtr dispatch(AEffect& e, aeLong op, aeLong index = 0, aeIntPtr value = 0,
                         void* ptr = nullptr, float opt = 0.0f) {
    return e.dispatcher(&e, op, index, value, ptr, opt);
}
