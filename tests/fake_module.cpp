// Modules that misbehave in one way each, for the host program's error paths.
#include <cstring>

#include "aeffect.h"

#if defined(FAKE_NULL_MAIN) || defined(FAKE_BAD_MAGIC)
ZUR_EXPORT AEffect* ZUR_CALL fakeMain(audioMasterCallback) __asm__("main");

AEffect* ZUR_CALL fakeMain(audioMasterCallback) {
#if defined(FAKE_NULL_MAIN)
    return nullptr;
#else
    static AEffect record;
    std::memset(&record, 0, sizeof record);
    record.magic = 0x12345678;
    return &record;
#endif
}
#else
ZUR_EXPORT int notTheEntry() { return 0; }
#endif
