// Everything that differs between the platforms a module is built for: the
// calling convention of the host-facing functions and how the entry is exported.
#pragma once

#if defined(_WIN32)
#define ZUR_CALL __cdecl
#define ZUR_EXPORT extern "C" __declspec(dllexport)
#else
#define ZUR_CALL
#define ZUR_EXPORT extern "C" __attribute__((visibility("default")))
#endif
