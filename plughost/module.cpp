#include "module.h"

#include <dlfcn.h>

#include <cstdio>

namespace {

constexpr aeIntPtr kHostVersion = 2400;

aeIntPtr ZUR_CALL hostCallback(AEffect*, aeLong opcode, aeLong, aeIntPtr, void*, float) {
    switch (opcode) {
        case audioMasterVersion: return kHostVersion;
        case audioMasterPinConnected: return 0;  // every pin is connected
        default: return 0;  // automation notices, idle, identifiers: nothing to do
    }
}

}  // namespace

LoadedModule::LoadedModule(const std::string& path) : path_(path) {
    // A bare file name would make the loader search its library path.
    const std::string where = path.find('/') == std::string::npos ? "./" + path : path;
    handle = dlopen(where.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) throw HostError("cannot load module '" + path + "': " + dlerror());
    entry = reinterpret_cast<MainProc>(dlsym(handle, "main"));
    if (!entry) {
        dlclose(handle);
        throw HostError("module '" + path + "' has no 'main' entry");
    }
}

LoadedModule::~LoadedModule() { dlclose(handle); }

AEffect* LoadedModule::createInstance() const {
    AEffect* effect = entry(hostCallback);
    if (!effect)
        throw HostError("module '" + path_ + "' created no instance ('main' answered null)");
    if (effect->magic != kEffectMagic) {
        char magic[16];
        std::snprintf(magic, sizeof magic, "0x%08X", static_cast<unsigned>(effect->magic));
        throw HostError("module '" + path_ + "' answered a record with the wrong magic " + magic);
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
    char buffer[256] = {};
    dispatch(op, index, 0, buffer);
    buffer[sizeof buffer - 1] = '\0';
    return buffer;
}

void Plugin::configure(float sampleRate, aeLong blockSize) const {
    dispatch(effSetSampleRate, 0, 0, nullptr, sampleRate);
    dispatch(effSetBlockSize, 0, blockSize);
}

void Plugin::process(float** in, float** out, aeLong frames, bool replacing) const {
    (replacing ? effect->processReplacing : effect->process)(effect, in, out, frames);
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
