// Compiler-specific spellings, kept in this one place so the rest of the code stays standard C++.
#pragma once

#if defined(__GNUC__) || defined(__clang__)
#define QUORVIN_NOINLINE __attribute__((noinline))
#define QUORVIN_FORCEINLINE inline __attribute__((always_inline))
#define QUORVIN_PRINTF_FORMAT(formatIndex, firstArgument) \
    __attribute__((format(printf, formatIndex, firstArgument)))
#elif defined(_MSC_VER)
#define QUORVIN_NOINLINE __declspec(noinline)
#define QUORVIN_FORCEINLINE __forceinline
#define QUORVIN_PRINTF_FORMAT(formatIndex, firstArgument)
#else
#define QUORVIN_NOINLINE
#define QUORVIN_FORCEINLINE inline
#define QUORVIN_PRINTF_FORMAT(formatIndex, firstArgument)
#endif
