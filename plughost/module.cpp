#include "module.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>

namespace {

constexpr aeIntPtr kHostVersion = 2400;
constexpr aeLong kMostChannels = 64;
constexpr std::size_t kTextBuffer = 256;

aeIntPtr ZUR_CALL hostCallback(AEffect*, aeLong opcode, aeLong, aeIntPtr, void*, float) {
    switch (opcode) {
        case audioMasterVersion: return kHostVersion;
        case audioMasterPinConnected: return 0;  // every pin is connected
        default: return 0;  // automation notices, idle, identifiers: nothing to do
    }
}

// The signal that interrupted the work, 0 while none has; and the child the
// host is waiting for, which gets every interrupting signal passed on.
std::atomic<int> interruption{0};
std::atomic<pid_t> waitingFor{0};
static_assert(std::atomic<int>::is_always_lock_free && std::atomic<pid_t>::is_always_lock_free);

void onInterrupt(int signal) {
    interruption = signal;
    const pid_t child = waitingFor;
    if (child > 0) kill(child, signal);
}

bool writeAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Reads until the writer closes the pipe, or until the time limit (when
// there is one) has passed.
std::string readAll(int fd, double limitSeconds, bool& timedOut) {
    using Clock = std::chrono::steady_clock;
    const auto end = Clock::now() + std::chrono::duration<double>(limitSeconds);
    std::string text;
    char buffer[4096];
    for (;;) {
        if (limitSeconds > 0.0) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
            pollfd p{fd, POLLIN, 0};
            const int ready = left.count() > 0 ? poll(&p, 1, static_cast<int>(left.count())) : 0;
            if (ready < 0 && errno == EINTR) continue;
            if (ready == 0) {
                timedOut = true;
                return text;
            }
        }
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return text;
        text.append(buffer, static_cast<std::size_t>(n));
    }
}

}  // namespace

LoadedModule::LoadedModule(const std::string& path) : path_(path) {
    struct stat info {};
    if (stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
        throw NotAModule("cannot load module '" + path + "': it is a folder");
    // A bare file name would make the loader search its library path.
    const std::string where = path.find('/') == std::string::npos ? "./" + path : path;
    handle = dlopen(where.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) throw NotAModule("cannot load module '" + path + "': " + dlerror());
    entry = reinterpret_cast<MainProc>(dlsym(handle, "main"));
    if (!entry) {
        dlclose(handle);
        throw NotAModule("module '" + path + "' has no 'main' entry");
    }
}

LoadedModule::~LoadedModule() { dlclose(handle); }

AEffect* LoadedModule::createInstance() const {
    AEffect* effect = entry(hostCallback);
    if (!effect)
        throw NotAModule("module '" + path_ + "' created no instance ('main' answered null)");
    if (effect->magic != kEffectMagic) {
        char magic[16];
        std::snprintf(magic, sizeof magic, "0x%08X", static_cast<unsigned>(effect->magic));
        throw NotAModule("module '" + path_ + "' answered a record with the wrong magic " + magic);
    }
    return effect;
}

Plugin::Plugin(const LoadedModule& module) : effect(module.createInstance()) { dispatch(effOpen); }

Plugin::~Plugin() { dispatch(effClose); }

aeIntPtr Plugin::dispatch(aeLong op, aeLong index, aeIntPtr value, void* ptr, float opt) const {
    return effect->dispatcher(effect, op, index, value, ptr, opt);
}

void Plugin::setParameter(aeLong index, float value) const {
    effect->setParameter(effect, index, value);
}

float Plugin::getParameter(aeLong index) const { return effect->getParameter(effect, index); }

std::string Plugin::text(aeLong op, aeLong index) const {
    char buffer[kTextBuffer] = {};
    dispatch(op, index, 0, buffer);
    buffer[sizeof buffer - 1] = '\0';
    return buffer;
}

bool Plugin::namesParameter(aeLong index) const {
    char buffer[kTextBuffer] = {};
    dispatch(effGetParamName, index, 0, buffer);
    return buffer[0] != '\0';
}

void Plugin::configure(float sampleRate, aeLong blockSize) const {
    dispatch(effSetSampleRate, 0, 0, nullptr, sampleRate);
    dispatch(effSetBlockSize, 0, blockSize);
}

void Plugin::process(float** in, float** out, aeLong frames, bool replacing) const {
    (replacing ? effect->processReplacing : effect->process)(effect, in, out, frames);
}

void checkChannelCounts(const Plugin& plugin) {
    if (plugin.inputs() < 0 || plugin.inputs() > kMostChannels || plugin.outputs() < 1 ||
        plugin.outputs() > kMostChannels)
        throw HostError("the module announces " + std::to_string(plugin.inputs()) +
                        " input(s) and " + std::to_string(plugin.outputs()) +
                        " output(s); this host takes 0 to 64 inputs and 1 to 64 outputs");
}

std::vector<std::string> flagNames(aeLong flags) {
    const struct {
        aeLong bit;
        const char* name;
    } known[] = {{effFlagsHasEditor, "HasEditor"},
                 {effFlagsHasClip, "HasClip"},
                 {effFlagsHasVu, "HasVu"},
                 {effFlagsCanMono, "CanMono"},
                 {effFlagsCanReplacing, "CanReplacing"}};
    std::vector<std::string> names;
    aeLong rest = flags;
    for (const auto& k : known)
        if (flags & k.bit) {
            names.push_back(k.name);
            rest &= ~k.bit;
        }
    for (int bit = 0; bit < 32; ++bit)
        if (rest & static_cast<aeLong>(1u << bit)) names.push_back("bit" + std::to_string(bit));
    return names;
}

std::string fourCharText(aeLong code) {
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const auto c =
            static_cast<unsigned char>((static_cast<std::uint32_t>(code) >> shift) & 0xFF);
        text += (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : '.';
    }
    return text;
}

ChildOutcome runInChild(const std::function<int(std::string& report)>& work, int orphanSignal,
                        double timeLimitSeconds) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        throw HostError(std::string("cannot start a child process: ") + std::strerror(errno));
    // Nothing buffered may be written twice, by both processes.
    std::fflush(nullptr);
    std::cout.flush();
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid < 0) {
        close(fds[0]);
        close(fds[1]);
        throw HostError(std::string("cannot start a child process: ") + std::strerror(errno));
    }
    if (pid == 0) {
        close(fds[0]);
        waitingFor = 0;
        prctl(PR_SET_PDEATHSIG, orphanSignal);
        if (getppid() != parent) raise(orphanSignal);
        // A reader that goes away makes writing fail with an error, reported
        // as such, instead of ending the child silently.
        std::signal(SIGPIPE, SIG_IGN);
        std::string report;
        int status = 1;
        try {
            status = work(report);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "plughost: error: %s\n", e.what());
        }
        writeAll(fds[1], report);
        std::cout.flush();
        std::fflush(nullptr);
        _exit(status);
    }
    close(fds[1]);
    waitingFor = pid;
    // A signal that came between the fork and now was noted but not passed on.
    if (const int signal = interruption.load()) kill(pid, signal);
    ChildOutcome outcome;
    outcome.report = readAll(fds[0], timeLimitSeconds, outcome.timedOut);
    if (outcome.timedOut) kill(pid, SIGKILL);
    close(fds[0]);
    int raw = 0;
    while (waitpid(pid, &raw, 0) < 0 && errno == EINTR) {
    }
    waitingFor = 0;
    if (WIFSIGNALED(raw))
        outcome.signal = WTERMSIG(raw);
    else
        outcome.status = WEXITSTATUS(raw);
    return outcome;
}

std::string crashText(int signal) {
    return "the module crashed (signal " + std::to_string(signal) + ", " + strsignal(signal) + ")";
}

void catchInterruptions() {
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
}

void checkInterrupted() {
    if (const int signal = interruption.load()) throw Interrupted(signal);
}

int interruptedStatus(int signal) { return 128 + signal; }
