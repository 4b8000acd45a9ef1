// Compiler-specific spellings, kept in this one place so the rest of the code stays standard C++:
// attributes, pragmas and the target switches of the run-time chosen kernels.
#pragma once

#if defined(__GNUC__) || defined(__clang__)
#define QUORVIN_NOINLINE __attribute__((noinline))
// For the one deliberate store through a null pointer: the fault it raises is the point.
#define QUORVIN_NO_SANITIZE_NULL __attribute__((no_sanitize("null")))
#define QUORVIN_FORCEINLINE inline __attribute__((always_inline))
// Before a loop with a small constant count: unroll it completely. Sanitizer builds go without the
// hint: their instrumentation can keep a nested loop's count from being a constant, and GCC then
// warns that it ignores the hint.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define QUORVIN_UNROLL
#else
#define QUORVIN_UNROLL _Pragma("GCC unroll 64")
#endif
// Orders the dynamic initialisation of a namespace-scope object across translation units: lower
// priorities run first, all of them before unprioritised objects (see core/base/StartupOrder.h).
#define QUORVIN_INIT_PRIORITY(priority) __attribute__((init_priority(priority)))
// Asks for the cache line at an address ahead of its use (for reading or for writing); never
// faults, whatever the address.
#define QUORVIN_PREFETCH_READ(address) __builtin_prefetch((address), 0, 3)
#define QUORVIN_PREFETCH_WRITE(address) __builtin_prefetch((address), 1, 3)
// Makes an integer variable's value opaque to the optimiser at this point, so that it is computed
// here, on every path: for branch-free code whose result the compiler would otherwise compute only
// on the path that needs it, behind a branch that no predictor could learn.
#define QUORVIN_COMPUTE_HERE(variable) __asm__ volatile("" : "+r"(variable))
#elif defined(_MSC_VER)
#include <xmmintrin.h>
#define QUORVIN_NOINLINE __declspec(noinline)
#define QUORVIN_NO_SANITIZE_NULL
#define QUORVIN_FORCEINLINE __forceinline
#define QUORVIN_UNROLL
// MSVC orders initialisers by #pragma init_seg sections, per translation unit, instead; without
// one the start-up objects are constructed in link order.
#define QUORVIN_INIT_PRIORITY(priority)
#define QUORVIN_PREFETCH_READ(address) _mm_prefetch(reinterpret_cast<const char*>(address), _MM_HINT_T0)
#define QUORVIN_PREFETCH_WRITE(address) _mm_prefetch(reinterpret_cast<const char*>(address), _MM_HINT_T0)
#define QUORVIN_COMPUTE_HERE(variable) ((void)(variable))
#else
#define QUORVIN_NOINLINE
#define QUORVIN_NO_SANITIZE_NULL
#define QUORVIN_FORCEINLINE inline
#define QUORVIN_UNROLL
#define QUORVIN_INIT_PRIORITY(priority)
#define QUORVIN_PREFETCH_READ(address) ((void)(address))
#define QUORVIN_PREFETCH_WRITE(address) ((void)(address))
#define QUORVIN_COMPUTE_HERE(variable) ((void)(variable))
#endif

// SSE2 is part of every x86-64 target; code that uses it keeps a portable path beside it, which a
// build selects by defining QUORVIN_HAS_SSE2 as 0. Tests reach every path of a build by forcing each
// kernel in turn, so no build needs to leave SSE2 out for the portable path to be tested.
#if !defined(QUORVIN_HAS_SSE2)
#if defined(__SSE2__) || defined(_M_X64)
#define QUORVIN_HAS_SSE2 1
#else
#define QUORVIN_HAS_SSE2 0
#endif
#endif

// Run-time chosen kernels. Code between QUORVIN_BEGIN_AVX2_REGION and QUORVIN_END_AVX2_REGION may use
// AVX2, BMI1, BMI2 and POPCNT whatever the build's baseline; it must only run after a check that
// the processor and the operating system support them (see core/base/ProcessorFeatures.h).
// Open it after the includes: only the functions defined inside carry the target, so no inline
// function of a shared header is ever compiled for it. MSVC takes the intrinsics without flags (/arch:AVX2
// would apply to a whole file and is therefore not used); its kernels are compiled as written.
// QUORVIN_HAS_AVX2_KERNEL says whether the compiler can build such kernels for this target.
#if !defined(QUORVIN_HAS_AVX2_KERNEL)
#if defined(__x86_64__) || defined(_M_X64)
#define QUORVIN_HAS_AVX2_KERNEL 1
#else
#define QUORVIN_HAS_AVX2_KERNEL 0
#endif
#endif

#if QUORVIN_HAS_AVX2_KERNEL
#if defined(__clang__)
#define QUORVIN_BEGIN_AVX2_REGION \
    _Pragma("clang attribute push(__attribute__((target(\"avx2,bmi,bmi2,popcnt\"))), apply_to = function)")
#define QUORVIN_END_AVX2_REGION _Pragma("clang attribute pop")
#elif defined(__GNUC__)
#define QUORVIN_BEGIN_AVX2_REGION _Pragma("GCC push_options") _Pragma("GCC target(\"avx2,bmi,bmi2,popcnt\")")
#define QUORVIN_END_AVX2_REGION _Pragma("GCC pop_options")
#else
#define QUORVIN_BEGIN_AVX2_REGION
#define QUORVIN_END_AVX2_REGION
#endif
#endif
