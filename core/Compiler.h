// Compiler-specific spellings, kept in this one place so the rest of the code stays standard C++.
#pragma once

#if defined(__GNUC__) || defined(__clang__)
#define QUORVIN_NOINLINE __attribute__((noinline))
// For the one deliberate store through a null pointer: the fault it raises is the point.
#define QUORVIN_NO_SANITIZE_NULL __attribute__((no_sanitize("null")))
#define QUORVIN_FORCEINLINE inline __attribute__((always_inline))
// Before a loop with a small constant count: unroll it completely.
#define QUORVIN_UNROLL _Pragma("GCC unroll 64")
// Orders the dynamic initialisation of a namespace-scope object across translation units: lower
// priorities run first, all of them before unprioritised objects (see core/StartupOrder.h).
#define QUORVIN_INIT_PRIORITY(priority) __attribute__((init_priority(priority)))
#elif defined(_MSC_VER)
#define QUORVIN_NOINLINE __declspec(noinline)
#define QUORVIN_NO_SANITIZE_NULL
#define QUORVIN_FORCEINLINE __forceinline
#define QUORVIN_UNROLL
// MSVC orders initialisers by #pragma init_seg sections, per translation unit, instead; without
// one the start-up objects are constructed in link order.
#define QUORVIN_INIT_PRIORITY(priority)
#else
#define QUORVIN_NOINLINE
#define QUORVIN_NO_SANITIZE_NULL
#define QUORVIN_FORCEINLINE inline
#define QUORVIN_UNROLL
#define QUORVIN_INIT_PRIORITY(priority)
#endif

// SSE2 is part of every x86-64 target; code that uses it keeps a portable path beside it, which a
// build selects by defining QUORVIN_HAS_SSE2 as 0 (the sanitizer build does, to test that path).
#if !defined(QUORVIN_HAS_SSE2)
#if defined(__SSE2__) || defined(_M_X64)
#define QUORVIN_HAS_SSE2 1
#else
#define QUORVIN_HAS_SSE2 0
#endif
#endif
