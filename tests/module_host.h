// A small host for tests: loads the built module as a host does and talks to
// it only through `main`, the record and the host callback.
#pragma once

#include <gtest/gtest.h>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <string>
#include <vector>

#include "aeffect.h"
#include "host_numbers.h"

struct HostRequest {
    AEffect* effect;
    aeLong opcode;
    aeLong index;
    aeIntPtr value;
};

struct TestHost {
    static inline std::vector<HostRequest> requests;
    static inline aeIntPtr versionAnswer = 2400;

    static aeIntPtr ZUR_CALL callback(AEffect* e, aeLong opcode, aeLong index, aeIntPtr value,
                                      void*, float) {
        requests.push_back({e, opcode, index, value});
        return opcode == master::version ? versionAnswer : 0;
    }
};

using MainProc = AEffect*(ZUR_CALL*)(audioMasterCallback);

// Loads the module the way a host on this platform does.
class Module {
public:
#if defined(_WIN32)
    Module() {
        handle = LoadLibraryA(ZUR_MODULE_PATH);
        // Through void*: a function pointer of the loader's generic type.
        if (handle)
            entry =
                reinterpret_cast<MainProc>(reinterpret_cast<void*>(GetProcAddress(handle, "main")));
    }
    ~Module() {
        if (handle) FreeLibrary(handle);
    }
    static std::string error() {
        return "LoadLibrary failed, code " + std::to_string(GetLastError());
    }
#else
    Module() {
        handle = dlopen(ZUR_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
        if (handle) entry = reinterpret_cast<MainProc>(dlsym(handle, "main"));
    }
    ~Module() {
        if (handle) dlclose(handle);
    }
    static std::string error() {
        const char* e = dlerror();
        return e ? e : "no main";
    }
#endif
    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;

    AEffect* create() const { return entry ? entry(TestHost::callback) : nullptr; }
    bool loaded() const { return entry != nullptr; }

private:
#if defined(_WIN32)
    HMODULE handle = nullptr;
#else
    void* handle = nullptr;
#endif
    MainProc entry = nullptr;
};

// One instance, driven through its record.
class Instance {
public:
    explicit Instance(const Module& module) : e(module.create()) {}
    ~Instance() { close(); }
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;

    AEffect* record() const { return e; }
    aeIntPtr dispatch(aeLong op, aeLong index = 0, aeIntPtr value = 0, void* ptr = nullptr,
                      float opt = 0.0f) const {
        return e->dispatcher(e, op, index, value, ptr, opt);
    }
    void set(aeLong index, float value) const { e->setParameter(e, index, value); }
    float get(aeLong index) const { return e->getParameter(e, index); }
    std::string text(aeLong op, aeLong index = 0) const {
        char buffer[64] = "(untouched)";
        dispatch(op, index, 0, buffer);
        return buffer;
    }
    std::string display(aeLong index) const { return text(op::getParamDisplay, index); }
    void replace(float* in, float* left, float* right, aeLong frames) const {
        float* inputs[] = {in};
        float* outputs[] = {left, right};
        e->processReplacing(e, inputs, outputs, frames);
    }
    aeIntPtr close() {
        aeIntPtr answer = 0;
        if (e) answer = dispatch(op::close);
        e = nullptr;
        return answer;
    }

private:
    AEffect* e;
};
