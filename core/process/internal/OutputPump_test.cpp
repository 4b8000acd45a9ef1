// Tests of the reader loop of captured runs, fed with scripted reads.
#include "core/process/internal/OutputPump.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace Quorvin::ProcessPrivate {
namespace {

// Each entry is one successful read of those bytes (possibly none); after the last every read
// fails, as on a broken pipe.
struct ScriptedReads {
    std::vector<std::string> reads;
    size_t calls = 0;

    bool operator()(char* buffer, uint32_t capacity, uint32_t& count) {
        if (calls++ == reads.size()) return false;
        const std::string& read = reads[calls - 1];
        EXPECT_LE(read.size(), capacity);
        count = static_cast<uint32_t>(read.copy(buffer, read.size()));
        return true;
    }
};

TEST(OutputPump, DeliversEveryChunkInOrderAndReadsOnPastEmptyReads) {
    const std::string full(ReadChunkSize, 'f');
    ScriptedReads reads{{"", "hello", "", "", "abc", std::string(1, '\0'), full, ""}};
    std::vector<std::string> chunks;
    std::exception_ptr failure;
    PumpOutput(
        reads, [&](const char* data, uint64_t size) { chunks.emplace_back(data, size); }, failure);
    EXPECT_EQ(chunks, (std::vector<std::string>{"hello", "abc", std::string(1, '\0'), full}));
    EXPECT_EQ(reads.calls, 9u);  // every scripted read, then the failing one, and no more
    EXPECT_FALSE(failure);
}

TEST(OutputPump, AnEmptyOrThrowingCallbackStillDrainsTheStream) {
    ScriptedReads forEmpty{{"one", "", "two"}};
    std::exception_ptr failure;
    PumpOutput(forEmpty, OutputCallback(), failure);
    EXPECT_EQ(forEmpty.calls, 4u);
    EXPECT_FALSE(failure);

    ScriptedReads forThrowing{{"one", "two", "three", "four"}};
    int calls = 0;
    auto throwing = [&](const char*, uint64_t) {
        if (++calls == 2) throw std::runtime_error("callback gave up");
    };
    PumpOutput(forThrowing, throwing, failure);
    EXPECT_EQ(calls, 2);  // not called again after it threw
    EXPECT_EQ(forThrowing.calls, 5u);
    ASSERT_TRUE(failure);
    EXPECT_THROW(std::rethrow_exception(failure), std::runtime_error);
}

}  // namespace
}  // namespace Quorvin::ProcessPrivate
