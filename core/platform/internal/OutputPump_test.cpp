// Tests of the reader loop of captured runs, fed with scripted reads.
#include "core/platform/internal/OutputPump.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace Quorvin::ProcessPrivate {
namespace {

// A scripted source of reads: each entry is one successful read of those bytes (possibly none);
// after the last entry every read fails, as on a broken pipe.
class ScriptedReads {
public:
    explicit ScriptedReads(std::vector<std::string> reads) : reads_(std::move(reads)) {}

    bool operator()(char* buffer, uint32_t capacity, uint32_t& count) {
        ++calls_;
        if (next_ == reads_.size()) return false;
        const std::string& read = reads_[next_++];
        EXPECT_LE(read.size(), capacity);
        read.copy(buffer, read.size());
        count = static_cast<uint32_t>(read.size());
        return true;
    }
    size_t Calls() const { return calls_; }

private:
    std::vector<std::string> reads_;
    size_t next_ = 0;
    size_t calls_ = 0;
};

TEST(OutputPump, DeliversEveryChunkInOrderAndReadsOnPastEmptyReads) {
    const std::string full(ReadChunkSize, 'f');
    ScriptedReads reads({"", "hello", "", "", "abc", std::string(1, '\0'), full, ""});
    std::vector<std::string> chunks;
    std::exception_ptr failure;
    PumpOutput(
        reads, [&](const char* data, uint64_t size) { chunks.emplace_back(data, size); }, failure);
    EXPECT_EQ(chunks, (std::vector<std::string>{"hello", "abc", std::string(1, '\0'), full}));
    EXPECT_EQ(reads.Calls(), 9u);  // every scripted read, then the failing one, and no more
    EXPECT_FALSE(failure);
}

TEST(OutputPump, AnEmptyOrThrowingCallbackStillDrainsTheStream) {
    ScriptedReads forEmpty({"one", "", "two", "three"});
    std::exception_ptr failure;
    PumpOutput(forEmpty, OutputCallback(), failure);
    EXPECT_EQ(forEmpty.Calls(), 5u);
    EXPECT_FALSE(failure);

    ScriptedReads forThrowing({"one", "two", "three", "four"});
    int calls = 0;
    PumpOutput(
        forThrowing,
        [&](const char*, uint64_t) {
            if (++calls == 2) throw std::runtime_error("callback gave up");
        },
        failure);
    EXPECT_EQ(calls, 2);  // not called again after it threw
    EXPECT_EQ(forThrowing.Calls(), 5u);
    ASSERT_TRUE(failure);
    try {
        std::rethrow_exception(failure);
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "callback gave up");
    }
}

}  // namespace
}  // namespace Quorvin::ProcessPrivate
