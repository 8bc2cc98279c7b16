// Symbol export and import for the shipped binaries.
//
// Every library of this repository builds with hidden symbols; a library marks
// what it ships with its own macro (KXMM_API for the memory manager), defined
// from the two below so that the shared object and the DLL export exactly the
// same surface.
#pragma once

#if defined(_WIN32)
#define KX_SYMBOL_EXPORT __declspec(dllexport)
#define KX_SYMBOL_IMPORT __declspec(dllimport)
#else
#define KX_SYMBOL_EXPORT __attribute__((visibility("default")))
#define KX_SYMBOL_IMPORT __attribute__((visibility("default")))
#endif
