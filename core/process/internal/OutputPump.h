// The loop of a captured run's reader thread, apart from the pipe it reads, so that its rules can
// be tried with any source of reads.
#pragma once

#include <cstdint>
#include <exception>

#include "core/process/Process.h"

namespace Quorvin::ProcessPrivate {

/// Bytes a reader asks for at a time.
inline constexpr uint32_t ReadChunkSize = 128;

/// Reads with `read(buffer, ReadChunkSize, count)`, which returns false once the stream is over,
/// until it does, and hands every chunk of at least one byte to `callback` in order. A successful
/// read of 0 bytes (the writer's empty write) delivers nothing: later data may still come. An
/// empty `callback` is never called. The first exception a call throws goes to `failure`, and the
/// rest of the stream is read but not delivered, so the writer never blocks on a full pipe.
template <class ReadFunction>
void PumpOutput(ReadFunction&& read, const OutputCallback& callback, std::exception_ptr& failure) noexcept {
    char buffer[ReadChunkSize];
    for (;;) {
        uint32_t count = 0;
        if (!read(buffer, ReadChunkSize, count)) return;
        if (count == 0 || !callback || failure) continue;
        try {
            callback(buffer, count);
        } catch (...) {
            failure = std::current_exception();
        }
    }
}

}  // namespace Quorvin::ProcessPrivate
