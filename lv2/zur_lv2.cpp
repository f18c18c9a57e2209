// The effect as an LV2 plug-in: a thin binding over the same ZUR object the
// module entry creates, mapping LV2's calls onto the effect's operations.
//
// Ports: 0 the input, 1 and 2 the effect's output channels 0 and 1, then one
// control input per parameter (indices 0 to 7) and one for the filter-order
// switch (extended index 1111). Before each block, every control value that
// differs from the one last sent goes to setParameter, in the order program
// selection sends them, so several values changed at once give what a
// program change would give. At instantiation the values last sent are
// program 0's, which the constructor has applied.
//
// run allocates nothing and takes no lock: the real-time rules of the effect
// hold here too.
#include <lv2/core/lv2.h>

#include <bit>
#include <cstdint>
#include <new>

#include "zur.h"

namespace {

constexpr const char* kUri = "urn:zur-effects:zur";
constexpr std::uint32_t kFirstControl = 3;
constexpr std::int32_t kHostVersion = 2400;

// The control ports in the order program selection sends the values, with
// the effect's parameter index and program 0's value.
struct Control {
    std::uint32_t port;
    aeLong index;
    float programZero;
};
constexpr Control kControls[] = {
    {kFirstControl + 0, 0, 0.25f},    // Fres
    {kFirstControl + 1, 1, 0.25f},    // Resonance
    {kFirstControl + 7, 7, 0.0f},     // MIX
    {kFirstControl + 2, 2, 0.1f},     // Q
    {kFirstControl + 8, 1111, 0.0f},  // filter order: 4-pole
    {kFirstControl + 6, 6, 0.5f},     // PAN
    {kFirstControl + 3, 3, 0.2f},     // SweepTime
    {kFirstControl + 4, 4, 0.2f},     // SweepRange
    {kFirstControl + 5, 5, 0.9f},     // SWEEP: Sin
};
constexpr std::uint32_t kPorts = kFirstControl + 9;

// The binding answers the version request, as the host of the module entry
// would; nothing else is asked of it.
aeIntPtr ZUR_CALL hostCallback(AEffect*, aeLong opcode, aeLong, aeIntPtr, void*, float) {
    return opcode == audioMasterVersion ? kHostVersion : 0;
}

struct Plugin {
    ZUR* effect = nullptr;
    const float* ports[kPorts] = {};
    float* outputs[2] = {};
    // The value last sent for each control, as bits: a value that is not a
    // number then equals itself and is sent once (the effect ignores it).
    std::uint32_t sent[std::size(kControls)] = {};
};

LV2_Handle instantiate(const LV2_Descriptor*, double rate, const char*, const LV2_Feature* const*) {
    // Created as the module entry creates an instance.
    oome = false;
    ZUR* effect = new (std::nothrow) ZUR(hostCallback);
    if (!effect) return nullptr;
    Plugin* p = new (std::nothrow) Plugin;
    if (oome || !p) {
        delete effect;
        delete p;
        return nullptr;
    }
    p->effect = effect;
    for (std::size_t i = 0; i < std::size(kControls); ++i)
        p->sent[i] = std::bit_cast<std::uint32_t>(kControls[i].programZero);
    effect->setSampleRate(static_cast<float>(rate));
    effect->open();
    return p;
}

void connectPort(LV2_Handle handle, std::uint32_t port, void* data) {
    Plugin* p = static_cast<Plugin*>(handle);
    if (port >= kPorts) return;
    p->ports[port] = static_cast<const float*>(data);
    if (port == 1 || port == 2) p->outputs[port - 1] = static_cast<float*>(data);
}

void activate(LV2_Handle handle) { static_cast<Plugin*>(handle)->effect->resume(); }

void run(LV2_Handle handle, std::uint32_t frames) {
    Plugin* p = static_cast<Plugin*>(handle);
    for (std::size_t i = 0; i < std::size(kControls); ++i) {
        const float* value = p->ports[kControls[i].port];
        if (!value) continue;
        const auto bits = std::bit_cast<std::uint32_t>(*value);
        if (bits == p->sent[i]) continue;
        p->sent[i] = bits;
        p->effect->setParameter(kControls[i].index, *value);
    }
    float* inputs[] = {const_cast<float*>(p->ports[0])};
    // A block count of the interface is a signed 32-bit number.
    constexpr std::uint32_t kLargest = 1u << 30;
    for (std::uint32_t done = 0; done < frames;) {
        const std::uint32_t n = frames - done < kLargest ? frames - done : kLargest;
        float* in[] = {inputs[0] + done};
        float* out[] = {p->outputs[0] + done, p->outputs[1] + done};
        p->effect->processReplacing(in, out, static_cast<aeLong>(n));
        done += n;
    }
}

void deactivate(LV2_Handle handle) { static_cast<Plugin*>(handle)->effect->suspend(); }

void cleanup(LV2_Handle handle) {
    Plugin* p = static_cast<Plugin*>(handle);
    // As the close request does: close, then destroy.
    AEffect* record = p->effect->getAeffect();
    record->dispatcher(record, effClose, 0, 0, nullptr, 0.0f);
    delete p;
}

const void* extensionData(const char*) { return nullptr; }

constexpr LV2_Descriptor kDescriptor = {kUri, instantiate, connectPort, activate,
                                        run,  deactivate,  cleanup,     extensionData};

}  // namespace

LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(std::uint32_t index) {
    return index == 0 ? &kDescriptor : nullptr;
}
