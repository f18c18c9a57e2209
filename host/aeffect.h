// The plug-in record that the host holds, the host callback, and the named
// constants of the binary interface: magic, opcodes and flag bits.
//
// Every integer the interface exchanges is 32 bits wide, with three exceptions
// that follow the pointer width, as 64-bit hosts lay them out: the reserved
// entries resvd1 and resvd2, and the value argument and answer of both the
// dispatcher and the host callback. On 32-bit targets all of them are 32 bits
// and the record is the classic 144 bytes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform.h"

using aeLong = std::int32_t;     // a 32-bit integer of the interface
using aeIntPtr = std::intptr_t;  // a pointer-width integer of the interface

struct AEffect;

using audioMasterCallback = aeIntPtr(ZUR_CALL*)(AEffect* effect, aeLong opcode, aeLong index,
                                                aeIntPtr value, void* ptr, float opt);
using AEffectDispatcherProc = aeIntPtr(ZUR_CALL*)(AEffect* effect, aeLong opCode, aeLong index,
                                                  aeIntPtr value, void* ptr, float opt);
using AEffectProcessProc = void(ZUR_CALL*)(AEffect* effect, float** inputs, float** outputs,
                                           aeLong sampleFrames);
using AEffectSetParameterProc = void(ZUR_CALL*)(AEffect* effect, aeLong index, float value);
using AEffectGetParameterProc = float(ZUR_CALL*)(AEffect* effect, aeLong index);

// Builds a four-character code, first character in the most significant byte.
constexpr aeLong fourCharCode(char a, char b, char c, char d) {
    return static_cast<aeLong>((static_cast<std::uint32_t>(static_cast<unsigned char>(a)) << 24) |
                               (static_cast<std::uint32_t>(static_cast<unsigned char>(b)) << 16) |
                               (static_cast<std::uint32_t>(static_cast<unsigned char>(c)) << 8) |
                               static_cast<std::uint32_t>(static_cast<unsigned char>(d)));
}

inline constexpr aeLong kEffectMagic = 0x56737450;                         // record magic
inline constexpr aeLong kBaseUniqueId = fourCharCode('N', 'o', 'E', 'f');  // identifier of the base
inline constexpr aeLong kIdentifyAnswer =
    fourCharCode('N', 'v', 'E', 'f');  // answer to effIdentify

// Dispatcher opcodes.
inline constexpr aeLong effOpen = 0;             // open: the instance is about to be used
inline constexpr aeLong effClose = 1;            // close: the instance is destroyed
inline constexpr aeLong effSetProgram = 2;       // select program `value`
inline constexpr aeLong effGetProgram = 3;       // answer the current program
inline constexpr aeLong effSetProgramName = 4;   // rename the current program from `ptr`
inline constexpr aeLong effGetProgramName = 5;   // write the current program's name into `ptr`
inline constexpr aeLong effGetParamLabel = 6;    // write parameter `index`'s unit label into `ptr`
inline constexpr aeLong effGetParamDisplay = 7;  // write parameter `index`'s value text into `ptr`
inline constexpr aeLong effGetParamName = 8;     // write parameter `index`'s name into `ptr`
inline constexpr aeLong effGetVu = 9;            // answer the meter level scaled to 32767
inline constexpr aeLong effSetSampleRate = 10;   // sample rate in `opt`
inline constexpr aeLong effSetBlockSize = 11;    // largest block size in `value`
inline constexpr aeLong effMainsChanged = 12;    // `value` 0: suspend, otherwise resume
inline constexpr aeLong effEditGetRect = 13;     // editor: store its rectangle's address in `ptr`
inline constexpr aeLong effEditOpen = 14;        // editor: open in the parent window `ptr`
inline constexpr aeLong effEditClose = 15;       // editor: close
inline constexpr aeLong effEditIdle = 19;        // editor: idle time
inline constexpr aeLong effIdentify = 22;        // answer kIdentifyAnswer
inline constexpr aeLong kLastOpcode = effIdentify;  // highest opcode the dispatcher knows

// Host callback opcodes.
inline constexpr aeLong audioMasterAutomate = 0;   // parameter `index` changed to `opt`
inline constexpr aeLong audioMasterVersion = 1;    // ask the host's version
inline constexpr aeLong audioMasterCurrentId = 2;  // ask the identifier of the effect being loaded
inline constexpr aeLong audioMasterIdle = 3;       // give the host idle time
inline constexpr aeLong audioMasterPinConnected =
    4;  // ask whether pin `index` is connected (0 = yes)

// Bits of AEffect::flags.
inline constexpr aeLong effFlagsHasEditor = 1;      // never set by this module
inline constexpr aeLong effFlagsHasClip = 2;        // the effect reports clipping
inline constexpr aeLong effFlagsHasVu = 4;          // the effect has a level meter
inline constexpr aeLong effFlagsCanMono = 8;        // the effect can run with a mono output
inline constexpr aeLong effFlagsCanReplacing = 16;  // processReplacing is supported

struct AEffect {
    aeLong magic;                          // kEffectMagic
    AEffectDispatcherProc dispatcher;      // control requests
    AEffectProcessProc process;            // accumulating processing
    AEffectSetParameterProc setParameter;  // set a normalised parameter
    AEffectGetParameterProc getParameter;  // read a normalised parameter
    aeLong numPrograms;
    aeLong numParams;
    aeLong numInputs;
    aeLong numOutputs;
    aeLong flags;  // effFlags* bits
    aeIntPtr resvd1;
    aeIntPtr resvd2;
    aeLong initialDelay;
    aeLong realQualities;
    aeLong offQualities;
    float ioRatio;
    void* object;  // the AudioEffect that holds this record
    void* user;    // the host's; never touched after construction
    aeLong uniqueID;
    aeLong version;
    AEffectProcessProc processReplacing;  // replacing processing
    char future[60];
};

#define ZUR_CHECK_OFFSET(field, at32, at64) \
    static_assert(offsetof(AEffect, field) == (sizeof(void*) == 4 ? (at32) : (at64)), #field)
static_assert(sizeof(void*) == 4 || sizeof(void*) == 8, "32- or 64-bit pointers only");
static_assert(sizeof(AEffect) == (sizeof(void*) == 4 ? 144 : 192), "record size");
ZUR_CHECK_OFFSET(magic, 0, 0);
ZUR_CHECK_OFFSET(dispatcher, 4, 8);
ZUR_CHECK_OFFSET(process, 8, 16);
ZUR_CHECK_OFFSET(setParameter, 12, 24);
ZUR_CHECK_OFFSET(getParameter, 16, 32);
ZUR_CHECK_OFFSET(numPrograms, 20, 40);
ZUR_CHECK_OFFSET(numParams, 24, 44);
ZUR_CHECK_OFFSET(numInputs, 28, 48);
ZUR_CHECK_OFFSET(numOutputs, 32, 52);
ZUR_CHECK_OFFSET(flags, 36, 56);
ZUR_CHECK_OFFSET(resvd1, 40, 64);
ZUR_CHECK_OFFSET(resvd2, 44, 72);
ZUR_CHECK_OFFSET(initialDelay, 48, 80);
ZUR_CHECK_OFFSET(realQualities, 52, 84);
ZUR_CHECK_OFFSET(offQualities, 56, 88);
ZUR_CHECK_OFFSET(ioRatio, 60, 92);
ZUR_CHECK_OFFSET(object, 64, 96);
ZUR_CHECK_OFFSET(user, 68, 104);
ZUR_CHECK_OFFSET(uniqueID, 72, 112);
ZUR_CHECK_OFFSET(version, 76, 116);
ZUR_CHECK_OFFSET(processReplacing, 80, 120);
ZUR_CHECK_OFFSET(future, 84, 128);
#undef ZUR_CHECK_OFFSET
