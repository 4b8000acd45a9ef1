// Test helpers for code that ends in a failed fatal ensure check.
#pragma once

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>

#include "core/diagnostics/Ensure.h"

#if !defined(_WIN32)
#include <sys/wait.h>
#endif

namespace Quorvin::Testing {

/// Death-test predicate: the child ended through the access fault of a failed fatal check
/// (exception code 0xC0000005 on Windows, SIGSEGV or SIGBUS elsewhere).
inline bool DiedOfAccessViolation(int status) {
#if defined(_WIN32)
    return static_cast<unsigned>(status) == 0xC0000005u;
#else
    return WIFSIGNALED(status) && (WTERMSIG(status) == SIGSEGV || WTERMSIG(status) == SIGBUS);
#endif
}

/// A fatal handler that writes "[failed: <condition>]" to standard error, for a death test to match.
inline void PrintFailedCondition(const char*, const char* condition, const char*, int32_t) {
    std::fprintf(stderr, "[failed: %s]\n", condition);
    std::fflush(stderr);
}

/// Installs a fatal handler for the life of the object and puts the previous one back afterwards.
class ScopedFatalHandler {
public:
    explicit ScopedFatalHandler(EnsurePrivate::FatalHandlerFunction handler)
        : previous_(EnsurePrivate::FatalHandler) {
        EnsurePrivate::SetFatalHandler(handler);
    }
    ~ScopedFatalHandler() { EnsurePrivate::SetFatalHandler(previous_); }
    ScopedFatalHandler(const ScopedFatalHandler&) = delete;
    ScopedFatalHandler& operator=(const ScopedFatalHandler&) = delete;

private:
    EnsurePrivate::FatalHandlerFunction previous_;
};

}  // namespace Quorvin::Testing

/// Expects `statement` to fail a fatal ensure check whose condition text matches `conditionRegex`
/// (a death-test regular expression), ending the child process with the access fault.
#define QUORVIN_EXPECT_ENSURE_FAILURE(statement, conditionRegex)           \
    EXPECT_EXIT(                                                           \
        {                                                                  \
            ::Quorvin::Testing::ScopedFatalHandler quorvinPrintingHandler( \
                &::Quorvin::Testing::PrintFailedCondition);                \
            statement;                                                     \
        },                                                                 \
        ::Quorvin::Testing::DiedOfAccessViolation, "\\[failed: " conditionRegex "\\]")
