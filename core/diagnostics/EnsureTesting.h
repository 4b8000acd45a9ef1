// Test helpers for code that ends in a failed fatal ensure check.
#pragma once

#include <csignal>

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

}  // namespace Quorvin::Testing
