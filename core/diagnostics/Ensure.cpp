// Ensure reporters, handler slots, EnsureException and its message stream.
#include "core/diagnostics/Ensure.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace Quorvin {
namespace EnsurePrivate {

FatalHandlerFunction FatalHandler = nullptr;
ReportHandlerFunction ReportHandler = nullptr;

void SetFatalHandler(FatalHandlerFunction handler) { FatalHandler = handler; }
void SetReportHandler(ReportHandlerFunction handler) { ReportHandler = handler; }

namespace {

// Formats the optional message into a zero-filled stack buffer and hands the buffer itself on: a
// failing check takes nothing from the heap, so it works however exhausted or damaged the heap is.
// The last byte is never written: the text stays terminated however long the expansion would be.
const char* FormatMessage(char* buffer, size_t capacity, int count, const char* condition,
                          va_list arguments) {
    std::memset(buffer, 0, capacity);
    if (count >= 1) {
        const char* format = va_arg(arguments, const char*);
        // A format that is the condition's own pointer is the "no message" spelling of the check
        // macros; it is compared by identity, never expanded.
        if (format != nullptr && format != condition) std::vsnprintf(buffer, capacity, format, arguments);
    }
    return buffer;
}

}  // namespace

QUORVIN_NO_SANITIZE_NULL void FailFatal(int count, const char* condition, ...) {
    {
        char buffer[FatalMessageCapacity];
        va_list arguments;
        va_start(arguments, condition);
        const char* message = FormatMessage(buffer, sizeof buffer, count, condition, arguments);
        va_end(arguments);
        // Whatever the handler does, the check ends in the fault below: an exception from the
        // handler must not carry the caller on past its broken invariant.
        try {
            if (FatalHandlerFunction handler = FatalHandler) handler(message, condition, "", 0);
        } catch (...) {}
    }

    // A hardware fault, not abort(): the crash reporter's unhandled-exception filter records the
    // state. Both volatiles matter: the pointer keeps the compiler from turning the store into a
    // trap, the target from dropping it as a dead store.
    volatile int32_t* volatile address = nullptr;
    *address = 0;
    std::abort();  // not reached: the fault does not return
}

void ReportCheck(int count, const char* origin, const char* condition, int32_t number, ...) noexcept {
    char buffer[ReportMessageCapacity];
    va_list arguments;
    va_start(arguments, number);
    const char* message = FormatMessage(buffer, sizeof buffer, count, condition, arguments);
    va_end(arguments);
    // A report is advisory: it returns to its caller whatever the handler throws.
    try {
        if (ReportHandlerFunction handler = ReportHandler) handler(message, origin, condition, number);
    } catch (...) {}
}

Stream::Stream(const char* condition, const char* file, int32_t line) {
    try {
        text << "ensure failed : " << condition << '\n'
             << file << '(' << line << ')' << '\n'
             << "context variables:\n";
    } catch (...) {
        // The name as the run-time type information of the reference platform spells it, so the
        // line reads the same whichever compiler built us.
        std::printf("Exception caught in %s", "class Quorvin::EnsurePrivate::Stream");
    }
}

EnsureException& Stream::AddError(const ErrorRecord& error) {
    text << '\t' << "error"
         << " : " << error.message << '\n';
    return *owner;
}

EnsureException& Stream::Reset() {
    text.str(std::string());
    // The stream's own buffer can have been detached through the std::ios base; then the state to
    // restore is bad, and a stream that asks for exceptions on a bad state gets one.
    std::ios& base = text;
    const std::ios::iostate state = base.rdbuf() != nullptr ? std::ios::goodbit : std::ios::badbit;
    if ((state & text.exceptions()) != 0) {
        // The standard wording of the run time the library was first built for, on every compiler.
        struct BadStreamState final : std::ios_base::failure {
            BadStreamState() : std::ios_base::failure("ios_base::badbit set") {}
            const char* what() const noexcept override { return "ios_base::badbit set"; }
        };
        throw BadStreamState();
    }
    text.clear(state);
    return *owner;
}

EnsureException& Link(EnsureException& exception, Stream& stream) {
    exception.stream = &stream;
    stream.owner = &exception;
    return exception;
}

}  // namespace EnsurePrivate

EnsureException::EnsureException(EnsureException&& other) : code(other.code) {
    if (other.stream != nullptr) {
        message = other.stream->text.str();
        other.stream = nullptr;
    } else {
        message = other.message;
    }
}

EnsureException::~EnsureException() = default;

const char* EnsureException::what() const noexcept { return message.c_str(); }

}  // namespace Quorvin
