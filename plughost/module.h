// Loading a module and driving one instance of it through its record, as a
// studio host does. Knows nothing of any particular effect.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "aeffect.h"

// A problem with the user's input or with the module, reported as one line.
struct HostError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The loaded module file; unloaded when destroyed.
class LoadedModule {
public:
    explicit LoadedModule(const std::string& path);
    ~LoadedModule();
    LoadedModule(const LoadedModule&) = delete;
    LoadedModule& operator=(const LoadedModule&) = delete;

    // Calls `main` with the host callback; throws HostError when it answers
    // null or a record that is not one.
    AEffect* createInstance() const;
    const std::string& path() const { return path_; }

private:
    using MainProc = AEffect*(ZUR_CALL*)(audioMasterCallback);
    std::string path_;
    void* handle = nullptr;
    MainProc entry = nullptr;
};

// One instance, open from construction until destruction.
class Plugin {
public:
    explicit Plugin(const LoadedModule& module);
    ~Plugin();
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;

    const AEffect& record() const { return *effect; }
    aeLong inputs() const { return effect->numInputs; }
    aeLong outputs() const { return effect->numOutputs; }
    bool canReplace() const { return (effect->flags & effFlagsCanReplacing) != 0; }

    aeIntPtr dispatch(aeLong op, aeLong index = 0, aeIntPtr value = 0, void* ptr = nullptr,
                      float opt = 0.0f) const;
    void setParameter(aeLong index, float value) const;
    float getParameter(aeLong index) const;
    std::string parameterName(aeLong index) const { return text(effGetParamName, index); }
    std::string parameterLabel(aeLong index) const { return text(effGetParamLabel, index); }
    std::string parameterDisplay(aeLong index) const { return text(effGetParamDisplay, index); }
    std::string programName() const { return text(effGetProgramName, 0); }

    void configure(float sampleRate, aeLong blockSize) const;
    // Mains on before the first block, off after the last.
    void setMains(bool on) const { dispatch(effMainsChanged, 0, on ? 1 : 0); }
    void process(float** inputs, float** outputs, aeLong frames, bool replacing) const;

private:
    std::string text(aeLong op, aeLong index) const;
    AEffect* effect;
};

// The names of the set capability bits, e.g. "HasVu CanReplacing".
std::vector<std::string> flagNames(aeLong flags);

// A four-character code as text, with unprintable bytes shown as '.'.
std::string fourCharText(aeLong code);
