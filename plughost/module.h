// Loading a module and driving one instance of it through its record, as a
// studio host does; running the work that touches a module in a child
// process, so that a module that crashes cannot take the host down; and the
// signals that interrupt that work. Knows nothing of any particular effect.
#pragma once

#include <csignal>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "aeffect.h"

// A problem with the user's files or with the module, reported as one line;
// the exit status is 1.
struct HostError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The module could not be loaded as a module of this interface.
struct NotAModule : HostError {
    using HostError::HostError;
};

// The user stopped the work with a signal (Ctrl-C, a closed terminal, kill).
struct Interrupted : std::runtime_error {
    explicit Interrupted(int s) : std::runtime_error("interrupted"), signal(s) {}
    int signal;
};

// The loaded module file; unloaded when destroyed.
class LoadedModule {
public:
    explicit LoadedModule(const std::string& path);
    ~LoadedModule();
    LoadedModule(const LoadedModule&) = delete;
    LoadedModule& operator=(const LoadedModule&) = delete;

    // Calls `main` with the host callback; throws NotAModule when it answers
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
    // True when the module writes a name for the index: an extended index it
    // answers although it does not announce it.
    bool namesParameter(aeLong index) const;

    void configure(float sampleRate, aeLong blockSize) const;
    // Mains on before the first block, off after the last.
    void setMains(bool on) const { dispatch(effMainsChanged, 0, on ? 1 : 0); }
    void process(float** inputs, float** outputs, aeLong frames, bool replacing) const;

private:
    std::string text(aeLong op, aeLong index) const;
    AEffect* effect;
};

// Checks the channel counts a module announces before buffers are made for them.
void checkChannelCounts(const Plugin& plugin);

// The names of the set capability bits, e.g. "HasVu CanReplacing".
std::vector<std::string> flagNames(aeLong flags);

// A four-character code as text, with unprintable bytes shown as '.'.
std::string fourCharText(aeLong code);

// How work run in a child process ended.
struct ChildOutcome {
    int status = 0;         // the child's exit status, when it exited
    int signal = 0;         // the signal that ended it, 0 when it exited
    bool timedOut = false;  // it did not finish in time and was killed
    std::string report;     // what the work wrote into its report
    bool crashed() const { return signal != 0 && !timedOut; }
};

// Runs `work` in a child process and waits for it. The work answers the
// child's exit status and may fill `report`, which comes back to the caller.
// Signals that interrupt the host are passed on to the child, which handles
// them as interruptions; the child writes nothing through the pipe it
// inherits from a reader that has gone (an error, not a signal). Should the
// host die first, the child gets `orphanSignal`: SIGKILL where nothing is
// left to clean up, SIGTERM where the child removes what it was writing.
// With a time limit, a child that has not finished by then is killed.
ChildOutcome runInChild(const std::function<int(std::string& report)>& work,
                        int orphanSignal = SIGKILL, double timeLimitSeconds = 0.0);

// "the module crashed (signal 11, Segmentation fault)"
std::string crashText(int signal);

// From here on SIGINT, SIGTERM and SIGHUP set a flag instead of ending the
// process; checkInterrupted() throws Interrupted once one has arrived.
void catchInterruptions();
void checkInterrupted();
// The exit status after an interruption by `signal`: 128 + its number.
int interruptedStatus(int signal);
