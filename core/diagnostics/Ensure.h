// Ensure checks: the core library's assertions for internal invariants, their fatal and non-fatal
// reporters with installable handlers, and EnsureException with its message stream.
//
// A check guards a programming error, never input. A failed fatal check formats its optional
// message, hands it to the installed fatal handler and then ends the process with an access fault,
// so that the process's crash reporting records the state; it neither returns nor throws.
//
// Thread-safety: the handler slots are plain variables. Install handlers during start-up, before
// other threads report.
#pragma once

#include <cstdint>
#include <exception>
#include <sstream>
#include <string>

#include "core/base/Compiler.h"

namespace Quorvin {

namespace EnsurePrivate {
class Stream;

/// Receives a failed fatal check: message (never null, "" when the check had none), condition
/// text, location text ("" from FailFatal) and a number (0 from FailFatal).
using FatalHandlerFunction = void (*)(const char* message, const char* condition, const char* location,
                                      int32_t number);
/// Receives a non-fatal report: message (never null), origin, condition and the caller's number.
using ReportHandlerFunction = void (*)(const char* message, const char* origin, const char* condition,
                                       int32_t number);

/// The installed handlers; null (none) at process start.
extern FatalHandlerFunction FatalHandler;
extern ReportHandlerFunction ReportHandler;

/// Installs the fatal handler; null empties the slot.
void SetFatalHandler(FatalHandlerFunction handler);
/// Installs the report handler; null empties the slot.
void SetReportHandler(ReportHandlerFunction handler);

/// Size of the fatal reporter's stack buffer; a message is cut to one character less.
inline constexpr size_t FatalMessageCapacity = 0x32000;
/// Size of the non-fatal reporter's stack buffer; a message is cut to one character less.
inline constexpr size_t ReportMessageCapacity = 1024;

/// Reports a failed invariant and ends the process with an access fault; never returns and never
/// throws. `count` is the number of message arguments after `condition`: 0 for none, else the first
/// is a printf-style format and the rest its arguments. A format that is the very pointer
/// `condition` is not expanded. The fatal handler, when set, receives (message, condition, "", 0);
/// the message lives in a stack buffer, so a failing check takes nothing from the heap and works
/// however exhausted the heap is. An exception thrown by the handler is swallowed; the fault
/// follows all the same. Needs about 200 KiB of free stack.
[[noreturn]] QUORVIN_NOINLINE void FailFatal(int count, const char* condition, ...);

/// Formats a non-fatal report like FailFatal (at most 1,023 characters, no heap) and hands it to
/// the report handler with (message, origin, condition, number); returns normally and never throws
/// (an exception from the handler is swallowed). Without a handler nothing visible happens.
QUORVIN_NOINLINE void ReportCheck(int count, const char* origin, const char* condition, int32_t number,
                                  ...) noexcept;

/// An error to be listed among a failure's context variables. Only `message` is read.
struct ErrorRecord {
    const void* source = nullptr;  ///< where the error came from; not read
    const char* message = "";      ///< the error's NUL-terminated text
};
}  // namespace EnsurePrivate

/// The exception of a failed ensure check. Its message is either its own text or, until the first
/// move, the text of a linked EnsurePrivate::Stream: moving a linked exception takes over the
/// stream's current text and cuts the link, so the moved-to exception no longer depends on the
/// stream's lifetime.
class EnsureException : public std::exception {
public:
    /// Empty message, no stream, code 0.
    EnsureException() = default;
    /// Takes the linked stream's current text (cutting the link) or copies the message; copies code.
    EnsureException(EnsureException&& other);
    ~EnsureException() override;

    /// The message; never null, "" when empty.
    const char* what() const noexcept override;

    EnsurePrivate::Stream* stream = nullptr;  ///< non-owning; null when no stream is linked
    std::string message;                      ///< the text what() returns
    int32_t code = 0;                         ///< carried unchanged through moves
};

namespace EnsurePrivate {

/// Collects the multi-line text of a failed check:
///
///     ensure failed : CONDITION
///     FILE(LINE)
///     context variables:
///
/// followed by one tab-indented line per context entry.
class Stream {
public:
    /// Writes the three header lines. An exception while writing is swallowed after printing
    /// "Exception caught in <type name>" to standard output; construction then completes with the
    /// text written so far.
    Stream(const char* condition, const char* file, int32_t line);

    /// Appends "\terror : <message>\n"; returns the owning exception (Link must have run).
    EnsureException& AddError(const ErrorRecord& error);
    /// Empties the collected text and clears the stream state; returns the owning exception. When
    /// the stream's buffer has been detached the state becomes bad instead, and if the stream's
    /// exception mask asks for it, std::ios_base::failure with the text "ios_base::badbit set" is
    /// thrown.
    EnsureException& Reset();

    EnsureException* owner = nullptr;  ///< non-owning; set by Link
    std::ostringstream text;           ///< the failure text collected so far
};

/// Links an exception and a stream both ways; returns the exception.
EnsureException& Link(EnsureException& exception, Stream& stream);

}  // namespace EnsurePrivate
}  // namespace Quorvin

/// Fatal check without a message: QUORVIN_ENSURE(ptr == nullptr).
#define QUORVIN_ENSURE(condition)                                             \
    do {                                                                      \
        if (!(condition)) ::Quorvin::EnsurePrivate::FailFatal(0, #condition); \
    } while (false)
