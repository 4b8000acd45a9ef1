// The delivery rules of captured output, apart from the pipes they read, so that they can be tried
// with any source of reads: the reader loop of the Windows backend, and the one step both backends
// take per chunk.
#pragma once

#include <cstdint>
#include <exception>

#include "core/process/Process.h"

namespace Quorvin::ProcessPrivate {

/// Bytes a Windows reader thread asks for at a time.
inline constexpr uint32_t ReadChunkSize = 128;

/// Hands `size` bytes to `callback` unless there are none, the callback is empty or it has already
/// thrown (`failure` is set). The first exception a call throws goes to `failure`, so that the
/// caller reads on without delivering and the writer never blocks on a full pipe.
inline void DeliverOutput(const OutputCallback& callback, const char* data, uint64_t size,
                          std::exception_ptr& failure) noexcept {
    if (size == 0 || !callback || failure) return;
    try {
        callback(data, size);
    } catch (...) {
        failure = std::current_exception();
    }
}

/// Reads with `read(buffer, ReadChunkSize, count)`, which returns false once the stream is over,
/// until it does, and hands every chunk to DeliverOutput in order. A successful read of 0 bytes
/// (the writer's empty write) delivers nothing: later data may still come.
template <class ReadFunction>
void PumpOutput(ReadFunction&& read, const OutputCallback& callback, std::exception_ptr& failure) noexcept {
    char buffer[ReadChunkSize];
    for (;;) {
        uint32_t count = 0;
        if (!read(buffer, ReadChunkSize, count)) return;
        DeliverOutput(callback, buffer, count, failure);
    }
}

}  // namespace Quorvin::ProcessPrivate
