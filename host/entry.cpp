// The module entry: the host calls `main` with its callback and receives the
// record of a new effect instance. Each call creates one independent instance.
#include <new>

#include "platform.h"
#include "zur.h"

// The module instance handle given by the loader; nothing else reads it.
void* hInstance = nullptr;

// Exported under the plain name `main`; the C++ name differs because a
// function called main is reserved for programs.
ZUR_EXPORT AEffect* ZUR_CALL moduleMain(audioMasterCallback audioMaster) __asm__("main");

AEffect* ZUR_CALL moduleMain(audioMasterCallback audioMaster) {
    if (!audioMaster) return nullptr;  // no host to speak to
    if (audioMaster(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) return nullptr;

    oome = false;  // a failure of an earlier instance does not count against this one
    ZUR* effect = new (std::nothrow) ZUR(audioMaster);
    if (!effect) return nullptr;
    if (oome) {
        delete effect;
        return nullptr;
    }
    return effect->getAeffect();
}

#if defined(_WIN32)
#include <windows.h>

// The loader's entry: remembers the instance handle on every call, whatever
// the reason (load, unload, thread start or end), and answers success.
extern "C" BOOL WINAPI DllEntryPoint(HINSTANCE instance, DWORD, LPVOID) {
    hInstance = instance;
    return 1;
}

// The runtime's start-up code calls DllMain for every loader call once it has
// initialised the module (its tables are built then), so the loader reaches
// DllEntryPoint through it.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    return DllEntryPoint(instance, reason, reserved);
}
#endif
